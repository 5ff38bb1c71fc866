#ifndef GEN_BASE_FATAL_H_
#define GEN_BASE_FATAL_H_

#include <ostream>
#include <string_view>

#include "base/Status.h"

// Result files are written through buffered streams. Every open result stream
// is registered here so that any way out of the process (a fatal error, a
// contract violation) first pushes out what was written before the failure:
// a file left by a failed run holds every line written up to that point.
void RegisterResultStream(std::ostream* stream);
void UnregisterResultStream(std::ostream* stream);
// Flushes the registered streams, then runs the exit clean-up, if any.
void FlushResultStreams();

// Sets the function that every way out through FlushResultStreams runs last
// (a run's files that were never published are removed by it). It must be
// async-signal-safe. Null sets none.
void SetExitCleanup(void (*cleanup)());

// Registers a result stream for its lifetime.
class ScopedResultStream {
 public:
  explicit ScopedResultStream(std::ostream& stream) : stream_(stream) {
    RegisterResultStream(&stream_);
  }
  ScopedResultStream(const ScopedResultStream&) = delete;
  ScopedResultStream& operator=(const ScopedResultStream&) = delete;
  ~ScopedResultStream() { UnregisterResultStream(&stream_); }

 private:
  std::ostream& stream_;
};

// The one way a fatal run error ends the process: flushes the result streams,
// writes `text` (which carries its own newline, if any) to `stream`, flushes
// it and the standard streams, and exits with `exit_code` at once.
[[noreturn]] void FatalError(std::ostream& stream, std::string_view text,
                             int exit_code = 1);

// Ends the process with a failed `status`: its message on its stream, its
// exit code.
[[noreturn]] void FatalError(const Status& status);

#endif  // GEN_BASE_FATAL_H_
