#include "run/GenerationProgress.h"

#include <sstream>
#include <string>

#include "gtest/gtest.h"

namespace {

// Nothing in the first two seconds, then a line at most every two seconds,
// each with the rate of its own interval, the queue (numbered but not
// explored) and the memory in whole MiB.
TEST(GenerationProgressTest, PacesItsLinesAndReportsTheInterval) {
  double now = 100;
  std::ostringstream err;
  GenerationProgress progress(
      err, "san", [&now] { return now; }, (7u << 20) + (1u << 19));
  struct Step {
    double seconds;  // since the start
    std::uint32_t explored;
    std::uint32_t numbered;
    const char* line;  // "" when none is due
  };
  const Step steps[] = {
      {0.5, 4096, 9000, ""},
      {1.99, 8192, 20000, ""},
      {2.0, 40000, 50000,
       "san: 40000 states explored, 20000 states/s, queue 10000, 8 MiB, "
       "2.0 s\n"},
      {3.9, 50000, 60000, ""},
      {5.0, 100000, 100000,
       "san: 100000 states explored, 20000 states/s, queue 0, 8 MiB, 5.0 s\n"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.seconds);
    now = 100 + step.seconds;
    err.str("");
    progress.Report(step.explored, step.numbered);
    EXPECT_EQ(err.str(), step.line);
  }
}

TEST(GenerationProgressTest, ResidentSetIsMeasured) {
  // This process holds at least its own code in memory.
  EXPECT_GT(ResidentBytes(), 100000u);
}

}  // namespace
