#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "gtest/gtest.h"

ChildProcess::ChildProcess(const std::string& program,
                           const std::vector<std::string>& args,
                           const std::string& working_dir,
                           const Options& options) {
  const std::string out_path = capture_.path() + "/stdout";
  const std::string err_path = capture_.path() + "/stderr";
  std::vector<std::string> owned_args = {program};
  owned_args.insert(owned_args.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : owned_args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> owned_env = options.environment;
  std::vector<char*> envp;
  for (std::string& entry : owned_env) envp.push_back(entry.data());

  pid_ = fork();
  if (pid_ < 0) {
    ADD_FAILURE() << "fork failed for " << program;
    ended_ = true;
    return;
  }
  if (pid_ != 0) return;
  const int in = open("/dev/null", O_RDONLY);
  const int out =
      options.stdout_fd >= 0
          ? options.stdout_fd
          : open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
      dup2(err, 2) < 0 || chdir(working_dir.c_str()) != 0) {
    _exit(127);
  }
  for (char* entry : envp) putenv(entry);
  if (options.file_size_limit >= 0) {
    const rlim_t limit = static_cast<rlim_t>(options.file_size_limit);
    const rlimit limits{limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &limits) != 0) _exit(127);
  }
  // The test's own dispositions (gtest ignores nothing, but a shell may)
  // are not handed on.
  signal(SIGPIPE, SIG_DFL);
  signal(SIGXFSZ, SIG_DFL);
  execv(program.c_str(), argv.data());
  _exit(127);
}

ChildProcess::~ChildProcess() {
  if (!ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
  }
}

bool ChildProcess::WaitUntilStopped() {
  if (ended_) return false;
  while (waitpid(pid_, &status_, WUNTRACED) < 0) {
    if (errno != EINTR) return false;
  }
  if (WIFSTOPPED(status_)) return true;
  ended_ = true;
  return false;
}

void ChildProcess::Signal(int signal) const {
  if (!ended_) kill(pid_, signal);
}

ProcessResult ChildProcess::Wait(double seconds) {
  ProcessResult result;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  bool killed = false;
  while (!ended_) {
    const pid_t done = waitpid(pid_, &status_, WNOHANG);
    if (done == pid_) {
      if (WIFEXITED(status_) || WIFSIGNALED(status_)) ended_ = true;
      continue;
    }
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > deadline && !killed) {
      kill(pid_, SIGKILL);
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (killed) {
    result.exit_code = -2;
  } else if (WIFEXITED(status_)) {
    result.exit_code = WEXITSTATUS(status_);
  } else if (WIFSIGNALED(status_)) {
    result.exit_code = 128 + WTERMSIG(status_);
  }
  result.out = ReadWholeFile(capture_.path() + "/stdout");
  result.err = ReadWholeFile(capture_.path() + "/stderr");
  return result;
}
