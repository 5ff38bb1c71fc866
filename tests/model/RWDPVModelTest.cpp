#include "model/RWDPVModel.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "model/sanSAN.h"
#include "reward/PerformanceVariableNode.h"
#include "study/GlobalVariables.h"
#include "study/test_execution_rate_G_SetStudySetStudy.h"
#include "tests/model/SanExploration.h"

namespace {

// Image of the failure model with c tokens in "catastrophic_failure" and s
// in "safe_failure" (the test token in "Test_L").
Bytes Failures(short c, short s) {
  Bytes image(30, 0);
  image[20] = static_cast<unsigned char>(c);
  image[22] = 1;
  image[24] = static_cast<unsigned char>(s);
  return image;
}

std::vector<double> Rewards(RWDPVModel& model) {
  std::vector<double> rewards;
  for (const auto& node : model.PVList) {
    node->CurrentReward(&model.NoActionFired);
    rewards.push_back(node->RewardValue);
  }
  return rewards;
}

class RWDPVModelTest : public testing::Test {
 protected:
  void SetUp() override {
    pperm_fault_G = 0.1;
    safe_restore_rate_G = 10.0;
    test_execution_rate_G = 1000.0;
  }
};

TEST_F(RWDPVModelTest, RewardsInTheFailureMarkings) {
  RWDPVModel model(false);
  const struct {
    short c, s;
    std::vector<double> rewards;
  } rows[] = {
      {0, 0, {0.0, 0.0, 0.0}},
      {1, 0, {1.0, 1.0, 0.0}},
      {0, 1, {1.0, 0.0, 1.0}},
      {1, 1, {1.0, 0.0, 1.0}},  // unreachable: 1 / 2 truncates to 0
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << "c=" << row.c << " s=" << row.s);
    Bytes image = Failures(row.c, row.s);
    model.SetState(image.data());
    EXPECT_EQ(Rewards(model), row.rewards);
    for (const auto& node : model.PVList) {
      EXPECT_EQ(node->RewardSquare, node->RewardValue * node->RewardValue);
      EXPECT_EQ(node->ImpulseValue, 0.0);
    }
  }
}

TEST_F(RWDPVModelTest, RewardCountsOverTheStableMarkings) {
  RWDPVModel model(false);
  std::vector<int> ones(3, 0);
  const auto markings = StableMarkings(model);
  ASSERT_EQ(markings.size(), 25u);
  for (Bytes state : markings) {
    model.SetState(state.data());
    const std::vector<double> rewards = Rewards(model);
    for (std::size_t v = 0; v < 3; ++v) ones[v] += rewards[v] == 1.0 ? 1 : 0;
  }
  EXPECT_EQ(ones, (std::vector<int>{4, 3, 1}));
}

TEST_F(RWDPVModelTest, NodesAreAffectedByTheEightFailureActions) {
  RWDPVModel model(false);
  ASSERT_EQ(model.NumPVs, 3);
  EXPECT_EQ(model.createPVNode(3, 0), nullptr);
  const std::vector<std::string> expected{
      "error_prop_rate_L",           "error_prop_rate_R",
      "error_prop_rate_C",           "cat_rest_rate",
      "test_execution_rate_case1",   "safe_restore_rate",
      "test_execution_rate_R_case1", "test_execution_rate_C_case1"};
  for (int v = 0; v < 3; ++v) {
    const PerformanceVariableNode& node =
        *model.PVList[static_cast<std::size_t>(v)];
    SCOPED_TRACE(node.getName());
    EXPECT_EQ(node.ID, v);
    EXPECT_EQ(node.NumberOfWorkers, 1);
    std::vector<std::string> names;
    for (BaseActionClass* action : node.AffectingActions) {
      names.push_back(action->ActionName);
    }
    EXPECT_EQ(names, expected);
  }
  EXPECT_EQ(model.PVAffectingActions.size(), 8u);
  EXPECT_EQ(model.StateSize(), 30);
}

TEST_F(RWDPVModelTest, TwoModelsInOneProcess) {
  auto first = std::make_unique<RWDPVModel>(false);
  RWDPVModel second(true);
  first.reset();
  second.ConsiderOnly(nullptr, -1);
  Bytes state(30);
  // fault in L, the test token moves on, then the error propagates
  BaseActionClass* error_prop_L = second.Actions[12];
  Bytes image = Failures(0, 0);
  image[14] = 1;  // P_error_L
  second.SetState(image.data());
  second.FireAction(state.data(), error_prop_L);
  EXPECT_EQ(state, Failures(1, 0));
  for (std::size_t v = 0; v < 3; ++v) {
    EXPECT_EQ(second.PVList[v]->ID, static_cast<int>(v));
  }
  EXPECT_EQ(second.PVList[0]->RewardValue, 1.0);
  EXPECT_EQ(second.PVList[1]->RewardValue, 1.0);
  EXPECT_EQ(second.PVList[2]->RewardValue, 0.0);
}

TEST_F(RWDPVModelTest, TypeFile) {
  RWDPVModel model(false);
  const std::string path = testing::TempDir() + "rwdpv_test.pvtype";
  ASSERT_TRUE(model.WritePVTypeFile(path.c_str()));
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "Version:1\nNumPV:3\n"
            "Name:Cpu_Failure\nType:3\nNumTimes:1\nStart:0\nStop:1\n"
            "Name:cpu_catastrophic_failure\nType:3\nNumTimes:1\nStart:0\n"
            "Stop:1\n"
            "Name:cpu_safe_failure\nType:3\nNumTimes:1\nStart:0\nStop:1\n");
}

TEST_F(RWDPVModelTest, StudyBuildsAFreshRewardModelPerCall) {
  test_execution_rate_G_SetStudySetStudy study;
  PVModel* first = study.GetPVModel(false);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->getName(), std::string("RWDPVModel"));
  PVModel* second = study.GetPVModel(false);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(study.CurrentPVModel.get(), second);
  EXPECT_EQ(second->NumPVs, 3);
  EXPECT_EQ(second->PVList[2]->ID, 2);
}

}  // namespace
