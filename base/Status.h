#ifndef GEN_BASE_STATUS_H_
#define GEN_BASE_STATUS_H_

#include <string>
#include <utility>

// The outcome of a step of a run: success, or the message that ends the
// run, the standard stream it belongs on and the process's exit code. Code
// below the executables hands failures up as a Status; only an executable's
// top level turns one into the process's end (FatalError). Readers and
// parsers whose messages the caller frames (a file name, a program's
// prefix) leave the newline off; see each function.
struct [[nodiscard]] Status {
  enum class Stream { kOutput, kError };

  bool ok = true;
  std::string message;  // a line to print carries its own newline
  Stream stream = Stream::kError;
  int exit_code = 0;

  static Status Ok() { return {}; }
  static Status Error(std::string text, Stream on = Stream::kError,
                      int code = 1) {
    return {false, std::move(text), on, code};
  }
};

#endif  // GEN_BASE_STATUS_H_
