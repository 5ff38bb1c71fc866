#include "main/Driver.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "base/Fatal.h"
#include "main/CommandLine.h"
#include "model/RWDPVModel.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"
#include "study/GlobalVariables.h"
#include "study/test_execution_rate_G_SetStudySetStudy.h"

namespace {

// The exit code once everything has been printed: 1 when standard output
// was lost, since the controlling process reads the progress and the
// summary from it.
int CheckedStandardOutput() {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "Error: standard output could not be written\n" << std::flush;
    return 1;
  }
  return 0;
}

constexpr int kNumExperiments =
    test_execution_rate_G_SetStudySetStudy::kNumExperiments;

void PrintUsage() {
  // One line made of three pieces; the double spaces are part of the text.
  std::cout << "usage:  gen -Pexperimentfilepath -Nexperimentname -hhash_value"
            << " -Bexperimentnumber -Ffiletype -edb_entity -sdb_macserver "
            << " -ltrace_level[0-4] -tTraceFilename" << '\n'
            << std::flush;
  std::cout << "Example:  gen -P. -Nexp1 -B0\n" << std::flush;
}

}  // namespace

int RunMain(int argc, char** argv) {
  if (argc < 4) {
    PrintUsage();
    return CheckedStandardOutput();
  }

  CommandLineSettings settings;
  const CommandLineStatus status = commandline(argc, argv, settings);
  if (!status.ok) FatalError(std::cerr, status.message);

  // The study does not check the experiment number, so it is checked here,
  // before anything is listed.
  if (settings.experiment < 0 || settings.experiment >= kNumExperiments) {
    FatalError(std::cerr, "Error: experiment " +
                              std::to_string(settings.experiment) +
                              " is outside 0.." +
                              std::to_string(kNumExperiments - 1) + "\n");
  }

  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(settings.experiment);
  study->PrintGlobalValues(settings.experiment);
  if (settings.overrides) {
    const Status overridden = study->overrideGVs(settings.overrides->c_str());
    if (!overridden.ok) FatalError(overridden);
    std::cout << "Overriding global variables in ssg\n" << std::flush;
  }

  // The study owns the model; it is destroyed only after the run.
  const Status run = RunGeneration(*study->GetPVModel(false), settings.run, [] {
    return std::unique_ptr<PVModel>(std::make_unique<RWDPVModel>(false));
  });
  DestructStudy();
  if (!run.ok) FatalError(run);
  return CheckedStandardOutput();
}
