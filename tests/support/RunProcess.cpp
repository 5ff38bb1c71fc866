#include "tests/support/RunProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "gtest/gtest.h"

ProcessResult RunProcess(const std::string& program,
                         const std::vector<std::string>& args,
                         const std::string& working_dir) {
  ProcessResult result;
  // The captured streams go to files rather than pipes so that a chatty
  // child can never block on a full pipe while we wait for it.
  ScopedTempDir capture;
  const std::string out_path = capture.path() + "/stdout";
  const std::string err_path = capture.path() + "/stderr";

  // Everything the child needs is prepared before fork: after it only
  // async-signal-safe calls are allowed.
  std::vector<std::string> owned_args;
  owned_args.push_back(program);
  owned_args.insert(owned_args.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : owned_args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed for " << program;
    return result;
  }
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0 || chdir(working_dir.c_str()) != 0) {
      _exit(127);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      ADD_FAILURE() << "waitpid failed for " << program;
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.exit_code = 128 + WTERMSIG(status);
  }
  result.out = ReadWholeFile(out_path);
  result.err = ReadWholeFile(err_path);
  return result;
}

ScopedTempDir::ScopedTempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "gen_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
    return;
  }
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  EXPECT_TRUE(out) << "cannot write " << path;
}

std::string TenDigitRates(const std::string& arm_text) {
  std::string result;
  std::size_t begin = 0;
  while (begin < arm_text.size()) {
    std::size_t end = arm_text.find('\n', begin);
    if (end == std::string::npos) end = arm_text.size();
    const std::string line = arm_text.substr(begin, end - begin);
    if (line.find('e') != std::string::npos) {
      char text[32];
      std::snprintf(text, sizeof text, "%.10e",
                    std::strtod(line.c_str(), nullptr));
      result += text;
    } else {
      result += line;
    }
    if (end < arm_text.size()) result += '\n';
    begin = end + 1;
  }
  return result;
}

std::string MaskSeconds(const std::string& text) {
  static const std::regex kStdout(
      R"((Computation Time \(user \+ system\): )\S+( seconds))");
  static const std::regex kTrace(
      R"((Computation time \(user \+ system\): )\S+)");
  return std::regex_replace(std::regex_replace(text, kStdout, "$1<seconds>$2"),
                            kTrace, "$1<seconds>");
}
