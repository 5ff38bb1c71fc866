#ifndef GEN_RUN_RUNGENERATION_H_
#define GEN_RUN_RUNGENERATION_H_

#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "base/Status.h"
#include "run/RunSettings.h"

class NextStateSource;
class PVModel;
class TraceFileContainer;

// Seconds of processor time in `ticks` clock ticks, rounded to five
// decimals (in 64 bits, so long runs cannot overflow the rounding).
double ComputationSeconds(std::clock_t ticks);

// Builds another model equal to the one being run, for a helper thread of
// the exploration; null when it cannot.
using ModelFactory = std::function<std::unique_ptr<PVModel>()>;

// The threads a run explores with: settings.threads, or one per core when
// that is 0; one when tracing or reporting absorbing states.
int ExplorationThreads(const RunSettings& settings);

// One whole generation run of a SAN model: prints the trace-level line,
// builds the model's next-state source and its trace (to settings.trace_file
// or standard output), then runs the source. The model is not owned; it
// stays in use until the call returns. With `more_models`, each thread
// beyond the first explores with a model of its own built by it.
Status RunGeneration(PVModel& model, const RunSettings& settings,
                     const ModelFactory& more_models = nullptr);

// One whole generation run of any source: writes the reward-variable type
// file, chooses the exploration mode, opens the result files (.det first in
// deterministic mode, then .arm, then .var), explores, completes and checks
// every file, and prints the progress and summary lines on standard output
// (and the summary on `trace` at level 1). A failure is returned at once:
// files then hold what was written before it. `open_trace`, when set, is
// called once the run holds the lock on its results, to add the trace's
// outputs: a run refused at the lock must not truncate the trace file of
// the run that holds it. `helpers` are sources of the same model that
// expand states on threads of their own (StateSpaceGen::UseHelpers).
Status RunGeneration(NextStateSource& source, const RunSettings& settings,
                     TraceFileContainer& trace,
                     const std::function<void()>& open_trace = nullptr,
                     const std::vector<NextStateSource*>& helpers = {});

#endif  // GEN_RUN_RUNGENERATION_H_
