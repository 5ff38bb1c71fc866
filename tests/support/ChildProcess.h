#ifndef GEN_TESTS_SUPPORT_CHILDPROCESS_H_
#define GEN_TESTS_SUPPORT_CHILDPROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/RunProcess.h"

// A program started in the background, for tests that stop, kill or race
// runs. Standard input is empty; standard output and error go to files
// (or standard output to a given descriptor).
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> environment;  // "NAME=value", added
    long file_size_limit = -1;             // RLIMIT_FSIZE in bytes; -1: none
    int stdout_fd = -1;                    // -1: captured to a file
  };

  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& working_dir, const Options& options);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills the process if it is still running.
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  // Waits until the process stops (SIGSTOP) or ends; true when it stopped.
  bool WaitUntilStopped();
  // Waits at most `seconds` for the end; the process is killed after that.
  // The result's exit code is -2 when it had to be killed.
  ProcessResult Wait(double seconds = 60);
  void Signal(int signal) const;

 private:
  ScopedTempDir capture_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
};

#endif  // GEN_TESTS_SUPPORT_CHILDPROCESS_H_
