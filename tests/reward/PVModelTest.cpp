#include "reward/PVModel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/List.h"
#include "tests/reward/RewardTestModel.h"

namespace {

using Bytes = std::vector<unsigned char>;

// One reward variable "down" on model "t" that also earns 5 per "fail".
std::unique_ptr<TestRewardModel> MakeDownModel() {
  return std::make_unique<TestRewardModel>(
      MakeUpDownModel(), 1, [](int, int) -> PerformanceVariableNode* {
        auto* node = new MarkNode("down", "t", "down", 1, 0, 1);
        node->WithImpulse("fail", "t", 5.0);
        return node;
      });
}

BaseActionClass* ActionNamed(PVModel& model, const char* name) {
  List<BaseActionClass> found;
  model.listActions(name, &found);
  return found.getNumItems() == 0 ? nullptr : found[0];
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PVModelTest, StateVectorIsTheChildImage) {
  auto model = MakeDownModel();
  ASSERT_EQ(model->StateSize(), 4);
  Bytes initial(4);
  model->CurrentState(initial.data());
  EXPECT_EQ(initial, (Bytes{1, 0, 0, 0}));

  Bytes other{0, 0, 1, 0};
  EXPECT_FALSE(model->CompareState(initial.data(), other.data()));
  Bytes copy = initial;
  EXPECT_TRUE(model->CompareState(initial.data(), copy.data()));

  model->SetState(other.data());
  Bytes read(4);
  model->CurrentState(read.data());
  EXPECT_EQ(read, other);
}

// RestoreState writes only the places whose markings differ between the
// two images; it must leave exactly the marking SetState leaves. Nine
// places: two whole words of four markings compared at once, and one left
// over.
TEST(PVModelTest, RestoreStateLeavesTheMarkingSetStateLeaves) {
  constexpr int kPlaces = 9;
  auto child = std::make_unique<TestModel>("t");
  for (int p = 0; p < kPlaces; ++p) {
    child->AddPlace(("p" + std::to_string(p)).c_str(), 0);
  }
  child->Finish();
  TestRewardModel model(
      std::move(child), 0,
      [](int, int) -> PerformanceVariableNode* { return nullptr; });
  ASSERT_EQ(model.StateSize(), 2 * kPlaces);

  const auto image = [](const std::vector<short>& marks) {
    Bytes bytes(2 * marks.size());
    std::memcpy(bytes.data(), marks.data(), bytes.size());
    return bytes;
  };
  const std::vector<short> from{1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<std::vector<short>> targets{from, {0, 0, 0, 0, 0, 0, 0, 0, 0}};
  // Each place alone, so that every position of a word and the last place
  // are the one that differs; the low and high byte of a marking apart.
  for (int p = 0; p < kPlaces; ++p) {
    targets.push_back(from);
    targets.back()[p] = static_cast<short>(from[p] + 1);
    targets.push_back(from);
    targets.back()[p] = static_cast<short>(from[p] - 256);
  }
  for (const std::vector<short>& target : targets) {
    Bytes current = image(from);
    Bytes wanted = image(target);
    SCOPED_TRACE(testing::PrintToString(target));
    model.SetState(current.data());
    model.CurrentState(current.data());
    model.RestoreState(current.data(), wanted.data());
    Bytes read(wanted.size());
    model.CurrentState(read.data());
    EXPECT_EQ(read, wanted);
  }
}

TEST(PVModelTest, FireActionUpdatesRewardsAndWritesTheNewState) {
  auto model = MakeDownModel();
  model->ConsiderOnly(nullptr, -1);
  PerformanceVariableNode& node = *model->PVList[0];
  BaseActionClass* fail = ActionNamed(*model, "fail");
  BaseActionClass* repair = ActionNamed(*model, "repair");
  ASSERT_NE(fail, nullptr);
  ASSERT_NE(repair, nullptr);

  Bytes state(4);
  model->FireAction(state.data(), fail);
  EXPECT_EQ(state, (Bytes{0, 0, 1, 0}));
  EXPECT_EQ(model->LastActionFired, fail);
  EXPECT_EQ(node.RewardValue, 1.0);
  EXPECT_EQ(node.ImpulseValue, 5.0);
  EXPECT_EQ(node.ImpulseSquare, 25.0);

  model->FireAction(state.data(), repair);
  EXPECT_EQ(state, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(node.RewardValue, 0.0);
  EXPECT_EQ(node.ImpulseValue, 0.0);
  EXPECT_EQ(node.ImpulseSquare, 0.0);

  model->AgeAction(reinterpret_cast<char*>(state.data()), fail);
  EXPECT_EQ(model->LastActionFired, &model->NoActionFired);
}

TEST(PVModelTest, AffectedListsFollowRateAndImpulseDependencies) {
  auto model = MakeDownModel();
  PerformanceVariableNode& node = *model->PVList[0];
  BaseActionClass* fail = ActionNamed(*model, "fail");
  BaseActionClass* repair = ActionNamed(*model, "repair");
  BaseActionClass* tick = ActionNamed(*model, "tick");

  EXPECT_EQ(node.AffectingActions,
            (std::vector<BaseActionClass*>{fail, repair}));
  EXPECT_EQ(node.AffectingActionCount, 2);
  EXPECT_EQ(model->PVAffectingActions,
            (std::vector<BaseActionClass*>{fail, repair}));
  EXPECT_EQ(model->NumRateDSActions, 2);
  EXPECT_EQ(model->NumImpulseDSActions, 1);
  EXPECT_TRUE(node.ImpulseAffectedBy(fail));
  EXPECT_FALSE(node.ImpulseAffectedBy(repair));
  EXPECT_FALSE(node.ImpulseAffectedBy(tick));
  EXPECT_FALSE(node.ImpulseAffectedBy(&model->NoActionFired));
  EXPECT_TRUE(tick->AffectedNodes.empty());
}

TEST(PVModelTest, NoAffectingActionsLeavesTheListsEmpty) {
  TestRewardModel model(MakeUpDownModel(), 1, [](int, int) {
    return new MarkNode("ghost", "t", "no_such_place");
  });
  EXPECT_TRUE(model.PVAffectingActions.empty());
  EXPECT_TRUE(model.PVAffectedSets.empty());
  EXPECT_TRUE(model.PVList[0]->AffectingActions.empty());
}

TEST(PVModelTest, CreatePVListExpandsTimePointsInVariableOrder) {
  const int time_points[] = {1, 4, 2};
  const auto factory = [&time_points](int variable, int time_index) {
    const std::string name = "v" + std::to_string(variable);
    return new MarkNode(name.c_str(), "t", "down", time_points[variable],
                        time_index);
  };
  TestRewardModel expanded(MakeUpDownModel(), 3, factory, true);
  std::vector<std::string> names;
  std::vector<double> starts;
  std::vector<int> ids;
  for (const auto& node : expanded.PVList) {
    names.push_back(node->getName());
    starts.push_back(node->StartTime);
    ids.push_back(node->ID);
  }
  EXPECT_EQ(expanded.NumPVs, 7);
  EXPECT_EQ(names, (std::vector<std::string>{"v0", "v1", "v1", "v1", "v1", "v2",
                                             "v2"}));
  EXPECT_EQ(starts, (std::vector<double>{0, 0, 1, 2, 3, 0, 1}));
  EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

  TestRewardModel collapsed(MakeUpDownModel(), 3, factory, false);
  EXPECT_EQ(collapsed.NumPVs, 3);
}

TEST(PVModelTest, EveryRewardModelNumbersItsNodesFromZero) {
  const auto factory = [](int variable, int) {
    return new MarkNode(variable == 0 ? "up" : "down", "t",
                        variable == 0 ? "up" : "down");
  };
  auto first = std::make_unique<TestRewardModel>(MakeUpDownModel(), 2, factory);
  const int counter_after_first = PerformanceVariableNode::the_id;
  TestRewardModel second(MakeUpDownModel(), 2, factory);
  EXPECT_GT(PerformanceVariableNode::the_id, counter_after_first);
  first.reset();
  TestRewardModel third(MakeUpDownModel(), 2, factory);
  for (TestRewardModel* model : {&second, &third}) {
    SCOPED_TRACE(model == &second ? "second" : "third");
    EXPECT_EQ(model->PVList[0]->ID, 0);
    EXPECT_EQ(model->PVList[1]->ID, 1);
    model->ConsiderOnly(nullptr, -1);
    Bytes state(4);
    model->FireAction(state.data(), ActionNamed(*model, "fail"));
    EXPECT_EQ(model->PVList[0]->RewardValue, 0.0);
    EXPECT_EQ(model->PVList[1]->RewardValue, 1.0);
  }
}

TEST(PVModelTest, NodeOutsideItsModelsArraysIsAContractViolation) {
  auto model = MakeDownModel();
  MarkNode stray("stray", "t", "down");
  stray.ID = 1;  // the model's per-action arrays have one entry
  stray.NumPVsInModel = 1;
  EXPECT_DEATH(stray.ImpulseAffectedBy(ActionNamed(*model, "fail")),
               "ID < NumPVsInModel");
}

TEST(PVModelTest, BytesFor) {
  const struct {
    int n;
    int bytes;
  } rows[] = {{0, 0},     {1, 1},     {255, 1},      {256, 2},
              {65535, 2}, {65536, 3}, {16777215, 3}, {16777216, 4}};
  auto model = MakeDownModel();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.n);
    EXPECT_EQ(model->BytesFor(row.n), row.bytes);
  }
}

TEST(PVModelTest, TypeFileListsEveryNodeAndTimePoint) {
  const auto factory = [](int variable, int) {
    return variable == 0 ? new MarkNode("first", "t", "up")
                         : new MarkNode("second", "t", "down", 2);
  };
  TestRewardModel model(MakeUpDownModel(), 2, factory);
  const std::string path = testing::TempDir() + "pvmodel_test.pvtype";
  ASSERT_TRUE(model.WritePVTypeFile(path.c_str()));
  EXPECT_EQ(ReadFile(path),
            "Version:1\nNumPV:2\n"
            "Name:first\nType:3\nNumTimes:1\nStart:0\nStop:1\n"
            "Name:second\nType:3\nNumTimes:2\nStart:0\nStop:1\n"
            "Start:1\nStop:2\n");
}

TEST(PVModelTest, TypeFileReportsFailedWrites) {
  auto model = MakeDownModel();
  EXPECT_FALSE(model->WritePVTypeFile("/nonexistent-dir/x.pvtype"));
  EXPECT_FALSE(model->WritePVTypeFile("/dev/full"));
}

TEST(PVModelTest, MissingModelEndsTheRunWithStatusOne) {
  const auto build = [] {
    TestRewardModel model(MakeUpDownModel(), 1, [](int, int) {
      return new MarkNode("lost", "elsewhere", "down");
    });
  };
  EXPECT_EXIT(build(), testing::ExitedWithCode(1),
              "Number of elsewhere's was 0\\.  Model cannot be created\\.\n"
              "Model Name was: t\n\\.");
}

TEST(PVModelTest, ImpulseDependencyOnUnregisteredImpulseEndsTheRun) {
  MarkNode node("n", "t", "down", 1, 0, 1);
  FixedImpulse unregistered(1.0);
  EXPECT_EXIT(node.AddImpulseModelDependency("t", &unregistered),
              testing::ExitedWithCode(1),
              "Model Dependency requested on undefined impulse\\.  Check code "
              "generator\\.  Error code GP0001\\.");
}

}  // namespace
