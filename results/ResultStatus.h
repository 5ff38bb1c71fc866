#ifndef GEN_RESULTS_RESULTSTATUS_H_
#define GEN_RESULTS_RESULTSTATUS_H_

#include <string>
#include <utility>

// Outcome of an operation on result files. When `ok` is false, `message` is
// the whole text for standard error (newline included) and the run must end
// with `exit_code`.
struct [[nodiscard]] ResultStatus {
  bool ok = true;
  std::string message;
  int exit_code = 0;

  static ResultStatus Ok() { return ResultStatus{}; }
  static ResultStatus Failed(std::string text) {
    return ResultStatus{false, std::move(text), 1};
  }
};

#endif  // GEN_RESULTS_RESULTSTATUS_H_
