// A whole run over a synthetic source: the file set, the header of each
// mode, the summary lines, and the caller's stream state left alone.

#include "run/RunGeneration.h"

#include <cstdint>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>
#include <vector>

#include "generator/NextStateSource.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"
#include "trace/TraceFileContainer.h"

namespace {

using ::testing::HasSubstr;

// Two states, 'a' and 'b'. Normal mode: a -> b at rate 4, b -> a at rate
// 0.5. Deterministic mode: a -> b when a delay of 2 expires, b -> a at rate
// 0.5.
class Flip : public NextStateSource {
 public:
  explicit Flip(ExplorationMode mode) : mode_(mode) {}
  std::size_t StateSize() const override { return 1; }
  std::vector<RewardVariableType> RewardTypes() const override {
    return {{"in_b", 1, {0.0}, {10.0}}};
  }
  Status ChooseMode(ExplorationMode* mode) override {
    *mode = mode_;
    return Status::Ok();
  }
  Status Initial(char* image, double* rewards) override {
    image[0] = 'a';
    rewards[0] = rewards[1] = 0.0;
    return Status::Ok();
  }
  Status Expand(std::uint32_t, const char* image, Successors& out) override {
    const bool in_a = image[0] == 'a';
    const char next = in_a ? 'b' : 'a';
    double value = in_a ? 4.0 : 0.5;
    if (in_a && mode_ == ExplorationMode::kDeterministic) {
      value = -1.0;
      out.AddDelay(2.0);
    }
    double* rewards = out.Add(&next, value);
    rewards[0] = 0.0;
    rewards[1] = in_a ? 1.0 : 0.0;
    return Status::Ok();
  }
  void ReportAbsorbing(std::uint32_t, const char*) override {}

 private:
  ExplorationMode mode_;
};

struct FlipRun {
  Status status;
  std::string out;
  std::string arm, var, pvtype, det;
};

FlipRun RunFlip(ExplorationMode mode) {
  ScopedTempDir dir;
  RunSettings settings;
  settings.path = dir.path() + "/";
  settings.name = "flip";
  Flip source(mode);
  TraceFileContainer trace;
  FlipRun run;
  testing::internal::CaptureStdout();
  run.status = RunGeneration(source, settings, trace);
  run.out = testing::internal::GetCapturedStdout();
  const std::string base = settings.path + settings.name;
  run.arm = ReadWholeFile(base + ".arm");
  run.var = ReadWholeFile(base + ".var");
  run.pvtype = ReadWholeFile(base + ".pvtype");
  run.det = ReadWholeFile(base + ".det");
  return run;
}

TEST(RunGenerationTest, WritesTheFileSetOfEachMode) {
  const FlipRun normal = RunFlip(ExplorationMode::kNormal);
  ASSERT_TRUE(normal.status.ok) << normal.status.message;
  EXPECT_EQ(normal.arm, "1\n2\n" + std::string(61, ' ') +
                            "\n1\n2\n4.0000000000e+00\n0\n"
                            "2\n1\n5.0000000000e-01\n0\n");
  EXPECT_EQ(normal.var, "in_b\n1\n0\n0\n2\n0\n1\n");
  EXPECT_EQ(normal.pvtype,
            "Version:1\nNumPV:1\nName:in_b\nType:1\nNumTimes:1\nStart:0\n"
            "Stop:10\n");
  EXPECT_EQ(normal.det, "");
  EXPECT_THAT(normal.out, HasSubstr("_$2$\nGenerated: 2 states\n"
                                    "Computation Time (user + system): "));

  const FlipRun det = RunFlip(ExplorationMode::kDeterministic);
  ASSERT_TRUE(det.status.ok) << det.status.message;
  EXPECT_EQ(det.arm,
            "1\n2\n      \n1\n2\n-1.0000000000e+00\n0\n"
            "2\n1\n5.0000000000e-01\n0\n");
  EXPECT_EQ(det.det, "1\n2.0000000000e+00\n1\n0\n");
  EXPECT_EQ(det.var, normal.var);
}

TEST(RunGenerationTest, LeavesTheStandardOutputsFormatAlone) {
  const std::ios::fmtflags flags = std::cout.flags();
  const std::streamsize precision = std::cout.precision();
  for (ExplorationMode mode :
       {ExplorationMode::kNormal, ExplorationMode::kDeterministic}) {
    ASSERT_TRUE(RunFlip(mode).status.ok);
    EXPECT_EQ(std::cout.flags(), flags);
    EXPECT_EQ(std::cout.precision(), precision);
  }
}

TEST(ComputationSecondsTest, RoundsToFiveDecimalsWithoutOverflow) {
  const double per_second = static_cast<double>(CLOCKS_PER_SEC);
  EXPECT_EQ(ComputationSeconds(0), 0.0);
  EXPECT_DOUBLE_EQ(ComputationSeconds(static_cast<std::clock_t>(per_second)),
                   1.0);
  EXPECT_DOUBLE_EQ(
      ComputationSeconds(static_cast<std::clock_t>(per_second * 0.123456)),
      0.12346);
  // Far beyond what 32-bit rounding could hold (about 21 seconds).
  EXPECT_DOUBLE_EQ(
      ComputationSeconds(static_cast<std::clock_t>(per_second * 3600.5)),
      3600.5);
}

}  // namespace
