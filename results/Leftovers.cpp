#include "results/Leftovers.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "base/Contract.h"
#include "base/Fatal.h"

namespace {

// A set of four files and its lock, for a few sets at once.
constexpr int kSlots = 16;

char slot_paths[kSlots][PATH_MAX];
volatile std::sig_atomic_t slot_used[kSlots];

constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,
                                  SIGTERM, SIGXCPU, SIGABRT};

// Blocks the ending signals while the table changes, so that a handler
// never sees a half-written path.
class BlockEndingSignals {
 public:
  BlockEndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kEndingSignals) sigaddset(&set, signal);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~BlockEndingSignals() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  BlockEndingSignals(const BlockEndingSignals&) = delete;
  BlockEndingSignals& operator=(const BlockEndingSignals&) = delete;

 private:
  sigset_t saved_;
};

void RemoveAndEnd(int signal) {
  const int saved_errno = errno;
  RemoveLeftovers();
  std::signal(signal, SIG_DFL);
  errno = saved_errno;
  raise(signal);
}

}  // namespace

int RememberLeftover(const std::string& path) {
  GEN_CHECK(path.size() < PATH_MAX);
  // A fatal error or a broken contract ends the process at once; it removes
  // the leftovers on its way out.
  SetExitCleanup(RemoveLeftovers);
  BlockEndingSignals block;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot_used[slot] != 0) continue;
    std::memcpy(slot_paths[slot], path.c_str(), path.size() + 1);
    slot_used[slot] = 1;
    return slot;
  }
  GEN_CHECK(!"more leftover files than slots");
  return -1;
}

void ForgetLeftover(int slot) {
  GEN_CHECK(slot >= 0 && slot < kSlots);
  BlockEndingSignals block;
  slot_used[slot] = 0;
}

void RemoveLeftovers() {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (slot_used[slot] == 0) continue;
    unlink(slot_paths[slot]);
    slot_used[slot] = 0;
  }
}

void RemoveLeftoversOnSignals() {
  for (int signal : kEndingSignals) {
    struct sigaction previous {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigfillset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

void PrepareSignalsForResults() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  RemoveLeftoversOnSignals();
}
