#include "reward/Reward.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "base/Fatal.h"
#include "tests/reward/RewardTestModel.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempPath(const char* name) { return testing::TempDir() + name; }

// Two reward variables, "alpha" and "beta", whose values the tests set.
class RewardTest : public testing::Test {
 protected:
  RewardTest()
      : model_(MakeUpDownModel(), 2, [](int variable, int) {
          return new MarkNode(variable == 0 ? "alpha" : "beta", "t", "up");
        }) {}
  void SetValues(double alpha_impulse, double alpha_rate, double beta_impulse,
                 double beta_rate) {
    model_.PVList[0]->ImpulseValue = alpha_impulse;
    model_.PVList[0]->RewardValue = alpha_rate;
    model_.PVList[1]->ImpulseValue = beta_impulse;
    model_.PVList[1]->RewardValue = beta_rate;
  }

  TestRewardModel model_;
};

TEST_F(RewardTest, TextRecordsReadBackExactly) {
  for (short type : {1, 3, 5}) {
    SCOPED_TRACE(type);
    const std::string path = TempPath("reward_text.var");
    Reward reward(&model_, type, path.c_str());
    SetValues(0.0, 0.25, 1234567.0, 1e-07);
    reward.Calculate(1);
    SetValues(-2.5, 100.0, 0.1 + 0.2, 1.0 / 3.0);
    reward.Calculate(4294967295u);
    ASSERT_TRUE(reward.Finish());
    EXPECT_EQ(ReadFile(path),
              "alpha\nbeta\n"
              "1\n0\n0.25\n1234567\n1e-07\n"
              "4294967295\n-2.5\n100\n0.30000000000000004\n"
              "0.3333333333333333\n");
  }
}

TEST_F(RewardTest, BinaryRecordsAreLittleEndian) {
  for (short type : {0, 2, 4, 6}) {
    SCOPED_TRACE(type);
    const std::string path = TempPath("reward_binary.var");
    Reward reward(&model_, type, path.c_str());
    SetValues(0.0, 0.25, -2.0, 1.0);
    reward.Calculate(1);
    ASSERT_TRUE(reward.Finish());
    const std::string expected =
        std::string("alpha\nbeta\n") + std::string("\x01\0\0\0", 4) +
        std::string(8, '\0') + std::string("\0\0\0\0\0\0\xD0\x3F", 8) +
        std::string("\0\0\0\0\0\0\0\xC0", 8) +
        std::string("\0\0\0\0\0\0\xF0\x3F", 8);
    EXPECT_EQ(ReadFile(path), expected);
  }
}

TEST(RewardWithoutVariablesTest, RecordsAreStateNumbersAlone) {
  TestRewardModel model(
      MakeUpDownModel(), 0,
      [](int, int) -> PerformanceVariableNode* { return nullptr; });
  const std::string path = TempPath("reward_empty.var");
  Reward reward(&model, 1, path.c_str());
  reward.Calculate(1);
  reward.Calculate(2);
  ASSERT_TRUE(reward.Finish());
  EXPECT_EQ(ReadFile(path), "1\n2\n");
}

TEST_F(RewardTest, EachGenerationStartsAFreshFile) {
  const std::string path = TempPath("reward_again.var");
  {
    std::ofstream old(path);
    old << "stale content that is longer than the new file\n";
  }
  {
    Reward first(&model_, 1, path.c_str());
    SetValues(0, 0, 0, 0);
    first.Calculate(7);
    // Not finished: the next generation's Reward replaces the open file.
  }
  Reward second(&model_, 1, path.c_str());
  second.Calculate(1);
  ASSERT_TRUE(second.Finish());
  EXPECT_EQ(ReadFile(path), "alpha\nbeta\n1\n0\n0\n0\n0\n");
  EXPECT_TRUE(second.Finish());  // nothing left to close
}

TEST_F(RewardTest, FinishReportsALostWrite) {
  Reward reward(&model_, 1, "/dev/full");
  reward.Calculate(1);
  EXPECT_FALSE(reward.Finish());
}

TEST_F(RewardTest, UnopenableFileIsFatal) {
  EXPECT_EXIT(Reward(&model_, 1, "/nonexistent-dir/x.var"),
              testing::ExitedWithCode(1), "^Could not open file dude\n$");
}

TEST_F(RewardTest, FatalErrorKeepsTheRecordsWrittenSoFar) {
  const std::string path = TempPath("reward_fatal.var");
  EXPECT_EXIT(
      {
        Reward reward(&model_, 1, path.c_str());
        SetValues(0, 1, 0, 0);
        reward.Calculate(1);
        FatalError(std::cerr, "stopped\n", 1);
      },
      testing::ExitedWithCode(1), "stopped");
  EXPECT_EQ(ReadFile(path), "alpha\nbeta\n1\n0\n1\n0\n0\n");
}

}  // namespace
