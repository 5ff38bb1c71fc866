#include "base/FailureHandover.h"

#include <chrono>
#include <thread>

namespace {

struct Handover {
  FailureHandoverFunction function = nullptr;
  void* context = nullptr;
};

thread_local Handover handover;

}  // namespace

void SetFailureHandover(FailureHandoverFunction function, void* context) {
  handover = Handover{function, context};
}

void HandOverFailure(const Status& failure) {
  if (handover.function == nullptr) return;
  handover.function(handover.context, failure);
  // The thread stands inside the model's code, which has no way back from
  // a failure: it sleeps until the run's own thread ends the process.
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
