#ifndef GEN_TESTS_SUPPORT_RUNPROCESS_H_
#define GEN_TESTS_SUPPORT_RUNPROCESS_H_

#include <string>
#include <vector>

// What a finished child process left behind.
struct ProcessResult {
  // The exit status; 128 + signal number when a signal ended the process,
  // -1 when it could not be started.
  int exit_code = -1;
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Runs `program` with `args` (argv[1..]) in `working_dir`, with standard
// input empty, and waits for it to end.
ProcessResult RunProcess(const std::string& program,
                         const std::vector<std::string>& args,
                         const std::string& working_dir);

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  ~ScopedTempDir();

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The whole content of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Replaces the file at `path` with `text` (a test failure when it cannot).
void WriteWholeFile(const std::string& path, const std::string& text);

// `text` with the measured seconds of the summary lines (standard output
// and trace) replaced by "<seconds>", so that whole outputs compare.
std::string MaskSeconds(const std::string& text);

// The state-space text `arm_text` with every rate line (a line with an
// exponent) written again as "%.10e": san writes each rate in the digits
// it needs, gen and genbench in eleven, so san's chain of a compiled model
// reads as gen's once its rates are rounded as gen rounds them.
std::string TenDigitRates(const std::string& arm_text);

// The largest Kanban and FMS size that whole-model comparisons run: 4 in
// optimised builds; 3 in unoptimised and sanitizer builds, where one N = 4
// run takes minutes.
#ifdef NDEBUG
inline constexpr int kLargestComparedN = 4;
#else
inline constexpr int kLargestComparedN = 3;
#endif

// Whether this build runs under AddressSanitizer, whose shadow memory rules
// out address-space limits (`ulimit -v`).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitized = true;
#else
inline constexpr bool kAddressSanitized = false;
#endif
#else
inline constexpr bool kAddressSanitized = false;
#endif

#endif  // GEN_TESTS_SUPPORT_RUNPROCESS_H_
