#include "base/Fatal.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "base/FailureHandover.h"

namespace {

std::vector<std::ostream*>& ResultStreams() {
  static std::vector<std::ostream*> streams;
  return streams;
}

void (*exit_cleanup)() = nullptr;

}  // namespace

void RegisterResultStream(std::ostream* stream) {
  ResultStreams().push_back(stream);
}

void UnregisterResultStream(std::ostream* stream) {
  auto& streams = ResultStreams();
  streams.erase(std::remove(streams.begin(), streams.end(), stream),
                streams.end());
}

void FlushResultStreams() {
  for (std::ostream* stream : ResultStreams()) stream->flush();
  if (exit_cleanup != nullptr) exit_cleanup();
}

void SetExitCleanup(void (*cleanup)()) { exit_cleanup = cleanup; }

void FatalError(std::ostream& stream, std::string_view text, int exit_code) {
  HandOverFailure(Status::Error(
      std::string(text),
      &stream == &std::cout ? Status::Stream::kOutput : Status::Stream::kError,
      exit_code));
  FlushResultStreams();
  std::cout.flush();
  stream << text;
  stream.flush();
  std::cerr.flush();
  // Everything that must reach a file or a pipe has been flushed. Skipping
  // static destruction keeps the exit independent of the order in which
  // process-wide objects of different files would be torn down.
  std::_Exit(exit_code);
}

void FatalError(const Status& status) {
  FatalError(status.stream == Status::Stream::kOutput ? std::cout : std::cerr,
             status.message, status.exit_code);
}
