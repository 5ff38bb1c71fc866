#ifndef GEN_MAIN_RUNEXPERIMENT_H_
#define GEN_MAIN_RUNEXPERIMENT_H_

#include <functional>

#include "base/Status.h"
#include "main/CommandLine.h"
#include "study/BaseStudyClass.h"

// The exit code once everything has been printed: 0, or 1 with a message on
// standard error when standard output was lost, since the controlling
// process reads the progress and the summary from it.
int CheckedStandardOutput();

// Ok when `experiment` lies in 0..count-1; else the error that names it and
// the range ("Error: experiment 12 is outside 0..9\n").
Status CheckExperimentNumber(int experiment, int count);

// A run of one experiment of `study` once its command line is accepted:
// sets and lists the globals of settings.experiment, applies and announces
// the overrides, builds the model and generates its state space into
// settings.run. The built model is released before returning. When the
// study builds no model, the run ends with `no_model()`.
Status RunExperiment(BaseStudyClass& study, const CommandLineSettings& settings,
                     const std::function<Status()>& no_model);

#endif  // GEN_MAIN_RUNEXPERIMENT_H_
