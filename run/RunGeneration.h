#ifndef GEN_RUN_RUNGENERATION_H_
#define GEN_RUN_RUNGENERATION_H_

#include <ctime>
#include <functional>

#include "base/Status.h"
#include "run/RunSettings.h"

class NextStateSource;
class PVModel;
class TraceFileContainer;

// Seconds of processor time in `ticks` clock ticks, rounded to five
// decimals (in 64 bits, so long runs cannot overflow the rounding).
double ComputationSeconds(std::clock_t ticks);

// One whole generation run of a SAN model: prints the trace-level line,
// builds the model's next-state source and its trace (to settings.trace_file
// or standard output), then runs the source. The model is not owned; it
// stays in use until the call returns.
Status RunGeneration(PVModel& model, const RunSettings& settings);

// One whole generation run of any source: writes the reward-variable type
// file, chooses the exploration mode, opens the result files (.det first in
// deterministic mode, then .arm, then .var), explores, completes and checks
// every file, and prints the progress and summary lines on standard output
// (and the summary on `trace` at level 1). A failure is returned at once:
// files then hold what was written before it. `open_trace`, when set, is
// called once the run holds the lock on its results, to add the trace's
// outputs: a run refused at the lock must not truncate the trace file of
// the run that holds it.
Status RunGeneration(NextStateSource& source, const RunSettings& settings,
                     TraceFileContainer& trace,
                     const std::function<void()>& open_trace = nullptr);

#endif  // GEN_RUN_RUNGENERATION_H_
