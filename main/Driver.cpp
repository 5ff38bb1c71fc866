#include "main/Driver.h"

#include <iostream>
#include <optional>
#include <string>

#include "framework/Fatal.h"
#include "generator/StateSpaceGen.h"
#include "main/CommandLine.h"
#include "reward/PVModel.h"
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

  int file_type = 1;
  std::optional<std::string> trace_file_name;
  const CommandLineStatus status =
      commandline(argc, argv, file_type, trace_file_name);
  if (!status.ok) FatalError(std::cerr, status.message);

  // The study does not check the experiment number, so it is checked here,
  // before anything is listed.
  if (ExpNum < 0 || ExpNum >= kNumExperiments) {
    FatalError(std::cerr, "Error: experiment " + std::to_string(ExpNum) +
                              " is outside 0.." +
                              std::to_string(kNumExperiments - 1) + "\n");
  }

  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(ExpNum);
  study->PrintGlobalValues(ExpNum);
  if (OverrideString) {
    study->overrideGVs(OverrideString->c_str());
    std::cout << "Overriding global variables in ssg\n" << std::flush;
  }

  PVModel* model = study->GetPVModel(false);
  {
    StateSpaceGen generator(
        model, gExperimentPath.c_str(), gExperimentName.c_str(), flagAbsorb,
        hash_value, db_host ? db_host->c_str() : nullptr,
        db_entity ? db_entity->c_str() : nullptr,
        trace_file_name ? trace_file_name->c_str() : nullptr);
    generator.FileType = static_cast<short>(file_type);
    std::cout << "SSG: SetTraceLevel: " << TempTraceLevel << '\n' << std::flush;
    generator.TraceLevel = TempTraceLevel;
    generator.InitializeTrace();
    generator.GenStateSpace();

    // The generator outlives the study, which owns the model.
    DestructStudy();
    db_host.reset();
    db_entity.reset();
  }
  return CheckedStandardOutput();
}
