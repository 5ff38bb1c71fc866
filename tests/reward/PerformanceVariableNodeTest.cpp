#include "reward/PerformanceVariableNode.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "reward/IntervalOfTime.h"
#include "reward/SteadyState.h"
#include "tests/reward/RewardTestModel.h"

namespace {

// A tree holding two models named "a" and three named "b" besides itself.
class Forest : public TestModel {
 public:
  Forest() : TestModel("forest") {
    for (int i = 0; i < 2; ++i)
      children_.push_back(std::make_unique<TestModel>("a"));
    for (int i = 0; i < 3; ++i)
      children_.push_back(std::make_unique<TestModel>("b"));
    Finish();
  }
  void listModels(const char* name, List<BaseModelClass>* out) override {
    TestModel::listModels(name, out);
    for (auto& child : children_) child->listModels(name, out);
  }
  BaseModelClass* child(int i) {
    return children_[static_cast<std::size_t>(i)].get();
  }

 private:
  std::vector<std::unique_ptr<TestModel>> children_;
};

TEST(PerformanceVariableNodeTest,
     ModelGroupsCoverEveryCombinationFirstNameSlowest) {
  Forest forest;
  MarkNode node("pair", "a", "x");
  node.AddVariableDependency("y", "b");
  node.FixReferences(&forest);
  ASSERT_EQ(node.NumberOfWorkers, 6);
  node.CreateModelGroupList();
  const int expected[6][2] = {{0, 2}, {0, 3}, {0, 4}, {1, 2}, {1, 3}, {1, 4}};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const ModelGroupClass& group =
        node.ModelGroups[static_cast<std::size_t>(i)];
    ASSERT_EQ(group.NumModels, 2);
    EXPECT_EQ(group.GetModel(0), forest.child(expected[i][0]));
    EXPECT_EQ(group.GetModel(1), forest.child(expected[i][1]));
    EXPECT_TRUE(group.IsDependentOnModel(forest.child(expected[i][1])));
    EXPECT_FALSE(group.IsDependentOnModel(&forest));
  }
}

// Worker with a fixed reward, in both interval flavours.
template <typename Base>
class FixedWorker : public Base {
 public:
  explicit FixedWorker(double reward) : reward_(reward) {}
  double Reward_Function() override { return reward_; }

 private:
  double reward_;
};

class ScaledWorker : public FixedWorker<IntervalOfTime> {
 public:
  explicit ScaledWorker(double reward) : FixedWorker(reward) {
    TimeAveraged = false;
  }
};

TEST(PerformanceVariableNodeTest, WorkerAccumulationClipsToItsInterval) {
  const struct {
    const char* what;
    bool steady;
    double start, stop, t, last;
    double fraction, value;
    int status;
  } rows[] = {
      {"steady, half the interval", true, 0, 1, 0.5, 0, 0.5, 4.0, 1},
      {"steady, reaching the end", true, 0, 1, 1.0, 0.5, 0.5, 4.0, 2},
      {"scaled by the interval length", false, 0, 2, 0.5, 0, 0.25, 8.0, 1},
      {"step after the interval", true, 0, 1, 3.0, 2.0, 1.0, 0.0, 0},
      {"empty step", false, 0, 1, 0.5, 0.5, 1.0, 0.0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::unique_ptr<IntervalOfTime> worker;
    if (row.steady) {
      worker = std::make_unique<FixedWorker<SteadyState>>(4.0);
    } else {
      worker = std::make_unique<ScaledWorker>(4.0);
    }
    worker->StartTime = row.start;
    worker->StopTime = row.stop;
    worker->Value = 9.0;
    worker->Accumulate(row.t, row.last);
    EXPECT_DOUBLE_EQ(worker->Fraction, row.fraction);
    EXPECT_DOUBLE_EQ(worker->Value, row.value);
    EXPECT_EQ(worker->Status, row.status);
  }
}

TEST(PerformanceVariableNodeTest, ResetMovesSuccessiveBatchesForward) {
  FixedWorker<SteadyState> worker(2.0);
  worker.StartTime = 0.0;
  worker.StopTime = 1.0;
  worker.CurrentReward();
  EXPECT_EQ(worker.Square, 4.0);
  worker.Reset();
  EXPECT_EQ(worker.Value, 0.0);
  EXPECT_EQ(worker.Square, 0.0);
  EXPECT_EQ(worker.StartTime, 1.0);
  EXPECT_EQ(worker.StopTime, 2.0);

  MarkNode node("n", "t", "down");
  node.TimeType = 1;
  node.RewardValue = 3.0;
  node.AccumulationStatus = 2;
  node.Reset();
  EXPECT_EQ(node.RewardValue, 0.0);
  EXPECT_EQ(node.AccumulationStatus, 0);
  EXPECT_EQ(node.StartTime, 1.0);
  EXPECT_EQ(node.StopTime, 2.0);
  node.TimeType = 0;
  node.Reset();
  EXPECT_EQ(node.StartTime, 1.0);
}

TEST(PerformanceVariableNodeTest, AccumulationAddsFractionWeightedRewards) {
  auto child = MakeUpDownModel();
  TestModel* t = child.get();
  TestRewardModel model(std::move(child), 1, [](int, int) {
    return new MarkNode("down", "t", "down");
  });
  model.ConsiderOnly(nullptr, -1);
  PerformanceVariableNode& node = *model.PVList[0];
  t->place(1).setMark(2);  // "down" holds 2 over [0, 1]
  model.Accumulate(0.5);   // half the interval
  EXPECT_DOUBLE_EQ(node.RewardValue, 1.0);
  EXPECT_EQ(node.AccumulationStatus, 1);
  model.Accumulate(2.0);  // past the end: the node finishes
  EXPECT_EQ(node.AccumulationStatus, 2);
  const double finished = node.RewardValue;
  model.Accumulate(3.0);
  EXPECT_EQ(node.RewardValue, finished);
  model.PVReset();
  EXPECT_EQ(node.RewardValue, 0.0);
  EXPECT_EQ(node.AccumulationStatus, 0);
}

}  // namespace
