#include "main/RunExperiment.h"

#include <iostream>
#include <string>

#include "main/RunRecord.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"

int CheckedStandardOutput() {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "Error: standard output could not be written\n" << std::flush;
    return 1;
  }
  return 0;
}

Status CheckExperimentNumber(int experiment, int count) {
  if (experiment >= 0 && experiment < count) return Status::Ok();
  return Status::Error("Error: experiment " + std::to_string(experiment) +
                       " is outside 0.." + std::to_string(count - 1) + "\n");
}

Status RunExperiment(BaseStudyClass& study, const CommandLineSettings& settings,
                     const std::function<Status()>& no_model) {
  study.SetGVs(settings.experiment);
  study.PrintGlobalValues(settings.experiment);
  if (settings.overrides) {
    const Status overridden = study.overrideGVs(settings.overrides->c_str());
    if (!overridden.ok) return overridden;
    std::cout << "Overriding global variables in ssg\n" << std::flush;
  }
  PVModel* model = study.GetPVModel(false);
  if (model == nullptr) return no_model();
  // The run is recorded with the values in force now, after the overrides.
  RunSettings run_settings = settings.run;
  DescribeRun(study, settings.experiment, &run_settings.record);
  // The study owns the model; it is released only after the run.
  const Status run = RunGeneration(*model, run_settings);
  study.CurrentPVModel.reset();
  return run;
}
