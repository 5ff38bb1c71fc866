#ifndef GEN_BASE_FAILUREHANDOVER_H_
#define GEN_BASE_FAILUREHANDOVER_H_

#include "base/Status.h"

// A helper thread of a run must not end the process: the failure it meets
// belongs to one state, and the run's own thread has to finish every state
// before that one first, so that the run ends with the error a run on one
// thread would end with. Such a thread installs a handover; a fatal error
// raised on it (FatalError) is passed to the handover instead, and the
// thread then blocks for good.
using FailureHandoverFunction = void (*)(void* context, const Status& failure);

// Installs `handover` (called with `context`) for the calling thread only;
// null removes it.
void SetFailureHandover(FailureHandoverFunction handover, void* context);

// When the calling thread has a handover: gives it `failure`, then blocks
// the thread until the process ends. Returns at once otherwise.
void HandOverFailure(const Status& failure);

#endif  // GEN_BASE_FAILUREHANDOVER_H_
