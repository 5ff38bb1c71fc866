#include "main/Driver.h"

#include <iostream>

#include "base/Fatal.h"
#include "main/CommandLine.h"
#include "main/RunExperiment.h"
#include "study/GlobalVariables.h"
#include "study/test_execution_rate_G_SetStudySetStudy.h"

namespace {

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
  const Status status = commandline(argc, argv, settings);
  if (!status.ok) FatalError(std::cerr, status.message);

  // The study does not check the experiment number, so it is checked here,
  // before anything is listed.
  const Status in_range =
      CheckExperimentNumber(settings.experiment, kNumExperiments);
  if (!in_range.ok) FatalError(in_range);

  settings.run.record.program = "gen";
  const Status run = RunExperiment(*GenerateStudy(), settings, [] {
    // The compiled-in study always builds its model.
    return Status::Error("Error: the model could not be built\n");
  });
  DestructStudy();
  if (!run.ok) FatalError(run);
  return CheckedStandardOutput();
}
