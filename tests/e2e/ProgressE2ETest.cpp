// Progress lines of a generation run: on standard error only, in their
// form, and never a byte more on standard output.

#include <chrono>
#include <regex>
#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

TEST(ProgressE2ETest, ForcedLinesGoToStandardErrorOnly) {
  ScopedTempDir dir;
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult shown =
      RunProcess(GEN_BENCH_BINARY,
                 {"kanban", "4", "-P", "./", "-Nk", "--progress"}, dir.path());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  const ProcessResult quiet =
      RunProcess(GEN_BENCH_BINARY,
                 {"kanban", "4", "-P", "./", "-Nk", "--quiet"}, dir.path());
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(MaskSeconds(shown.out), MaskSeconds(quiet.out));

  const std::regex line(
      R"(genbench: [0-9]+ states explored, [0-9]+ states/s, queue [0-9]+, )"
      R"([0-9]+ MiB, [0-9]+\.[0-9] s)");
  std::istringstream lines(shown.err);
  int count = 0;
  for (std::string text; std::getline(lines, text); ++count) {
    EXPECT_TRUE(std::regex_match(text, line)) << text;
  }
  // The first line comes 2 s into the run; a slower run must show it.
  if (seconds > 3.0) {
    EXPECT_GE(count, 1) << "a run of " << seconds << " s";
  }
}

}  // namespace
