#include "model/sanSAN.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <utility>
#include <vector>

#include "study/GlobalVariables.h"
#include "tests/model/SanExploration.h"

namespace {

enum PlaceIndex {
  kHW,
  kL,
  kR,
  kC,
  kPermFaultL,
  kPermFaultR,
  kPermFaultC,
  kErrorL,
  kErrorR,
  kErrorC,
  kCatastrophic,
  kTestL,
  kSafe,
  kTestR,
  kTestC,
  kNumPlaces
};

// A state image with the given (place, marking) pairs and zero elsewhere.
Bytes Marking(std::initializer_list<std::pair<int, short>> tokens) {
  Bytes image(2 * kNumPlaces, 0);
  for (const auto& [place, marking] : tokens) {
    image[2 * place] = static_cast<unsigned char>(marking & 0xFF);
    image[2 * place + 1] = static_cast<unsigned char>((marking >> 8) & 0xFF);
  }
  return image;
}

const Bytes kInitial = Marking({{kHW, 1}, {kTestL, 1}});

class SanSANTest : public testing::Test {
 protected:
  void SetUp() override {
    // Experiment 0 of the study.
    pperm_fault_G = 0.1;
    safe_restore_rate_G = 10.0;
    test_execution_rate_G = 1000.0;
  }
  void Set(Bytes image) { model_.SetState(image.data()); }
  BaseActionClass& Action(int i) { return *model_.Actions[i]; }
  Bytes FireFrom(const Bytes& from, int action) {
    Set(from);
    Action(action).Fire();
    return Image(model_);
  }

  sanSAN model_;
};

TEST_F(SanSANTest, FreshModel) {
  EXPECT_EQ(model_.getNumStateVariables(), 15);
  EXPECT_EQ(model_.NumActions, 23);
  EXPECT_EQ(model_.NumGroups, 15);
  EXPECT_EQ(model_.getName(), std::string("san"));
  EXPECT_EQ(Image(model_),
            (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                   0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(SanSANTest, InitialMarkingEnablesFaultOccurrenceAndTheFirstTest) {
  std::vector<int> enabled;
  for (int i = 0; i < model_.NumActions; ++i) {
    if (Action(i).Enabled()) enabled.push_back(i);
  }
  EXPECT_EQ(enabled, (std::vector<int>{6, 7, 8, 16, 17}));
}

TEST_F(SanSANTest, RatesInExperimentZero) {
  // Every place marked 2: marking-dependent rates double.
  Bytes all_two(2 * kNumPlaces, 0);
  for (int p = 0; p < kNumPlaces; ++p) all_two[2 * p] = 2;
  Set(all_two);
  const double expected[23] = {
      0,    0,   0,  0,    0,    0,    2e-06, 2e-06, 2e-06, 7200, 7200, 7200,
      3600, 360, 36, 1000, 1000, 1000, 10,    1000,  1000,  1000, 1000};
  for (int i = 0; i < 23; ++i) {
    SCOPED_TRACE(Action(i).ActionName);
    EXPECT_DOUBLE_EQ(Action(i).Rate(), expected[i]);
  }
  test_execution_rate_G = 2000.0;  // read at every call
  EXPECT_EQ(Action(16).Rate(), 2000.0);
  safe_restore_rate_G = 1.0;
  EXPECT_EQ(Action(15).Rate(), 100.0);
}

TEST_F(SanSANTest, CaseWeightsFollowPermanentFaultProbability) {
  for (double p : {0.1, 0.25}) {
    SCOPED_TRACE(p);
    pperm_fault_G = p;
    for (int first : {0, 2, 4}) {
      EXPECT_DOUBLE_EQ(Action(first).Weight(), p);
      EXPECT_DOUBLE_EQ(Action(first + 1).Weight(), 1.0 - p);
    }
  }
}

TEST_F(SanSANTest, GroupsHoldTheirCasesAndWeightsSumToOne) {
  for (int i = 0; i < model_.NumActions; ++i) {
    SCOPED_TRACE(Action(i).ActionName);
    const int group_id = Action(i).GroupId;
    ASSERT_GE(group_id, 0);
    ASSERT_LT(group_id, model_.NumGroups);
    BaseGroupClass* group = model_.Groups[group_id];
    EXPECT_TRUE(group == &Action(i) || group->IsAMember(&Action(i)));
  }
  for (int g = 0; g < model_.NumGroups; ++g) {
    BaseGroupClass* group = model_.Groups[g];
    if (group->getNumMembers() == 0) continue;  // a single activity
    SCOPED_TRACE(group->ActionName);
    double total = 0.0;
    for (int m = 0; m < group->getNumMembers(); ++m) {
      total += group->getMember(m)->Weight();
    }
    EXPECT_DOUBLE_EQ(total, 1.0);
  }
}

TEST_F(SanSANTest, TestFindsALatentFaultOnlyBeforeACatastrophicFailure) {
  const struct {
    int action, test, fault, next;
  } tests[] = {{16, kTestL, kPermFaultL, kTestR},
               {19, kTestR, kPermFaultR, kTestC},
               {21, kTestC, kPermFaultC, kTestL}};
  for (const auto& t : tests) {
    SCOPED_TRACE(Action(t.action).ActionName);
    EXPECT_EQ(FireFrom(Marking({{t.fault, 1}, {t.test, 1}}), t.action),
              Marking({{kSafe, 1}}));
    EXPECT_EQ(FireFrom(Marking({{t.fault, 1}, {t.test, 1}, {kCatastrophic, 1}}),
                       t.action),
              Marking({{t.fault, 1}, {t.next, 1}, {kCatastrophic, 1}}));
    EXPECT_EQ(FireFrom(Marking({{kHW, 1}, {t.test, 1}}), t.action),
              Marking({{kHW, 1}, {t.next, 1}}));
    // The second case only passes the token on.
    EXPECT_EQ(FireFrom(Marking({{t.fault, 1}, {t.test, 1}}), t.action + 1),
              Marking({{t.fault, 1}, {t.next, 1}}));
  }
}

TEST_F(SanSANTest, RestoresReturnToTheInitialMarking) {
  const struct {
    int action;
    Bytes from;
  } rows[] = {
      {15, Marking({{kCatastrophic, 1}, {kTestC, 1}})},
      {15,
       Marking(
           {{kCatastrophic, 1}, {kPermFaultR, 1}, {kErrorC, 1}, {kTestR, 1}})},
      {18, Marking({{kSafe, 1}})},
      {18, Marking({{kSafe, 1}, {kPermFaultL, 1}, {kTestL, 1}})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Action(row.action).ActionName);
    EXPECT_EQ(FireFrom(row.from, row.action), kInitial);
  }
}

TEST_F(SanSANTest, ExplorationReachesTheTwentyFiveStableMarkings) {
  std::set<Bytes> expected{Marking({{kSafe, 1}})};
  for (int place : {kHW, kPermFaultL, kPermFaultR, kPermFaultC, kErrorL,
                    kErrorR, kErrorC, kCatastrophic}) {
    for (int test : {kTestL, kTestR, kTestC}) {
      expected.insert(Marking({{place, 1}, {test, 1}}));
    }
  }
  ASSERT_EQ(expected.size(), 25u);
  EXPECT_EQ(StableMarkings(model_), expected);
}

TEST_F(SanSANTest, FiringChangesOnlyAffectedPlacesAndEnablingReadsOnePlace) {
  int affect_arcs = 0;
  for (int i = 0; i < model_.NumActions; ++i) {
    affect_arcs += Action(i).AffectedSVs.getNumItems();
    EXPECT_EQ(Action(i).EnablingSVs.getNumItems(), 1);
  }
  EXPECT_EQ(affect_arcs, 75);

  Set(kInitial);
  for (const Bytes& state : StableMarkings(model_)) {
    for (int i = 0; i < model_.NumActions; ++i) {
      Set(state);
      if (!Action(i).Enabled()) continue;
      SCOPED_TRACE(Action(i).ActionName);
      const Bytes after = FireFrom(state, i);
      for (int p = 0; p < kNumPlaces; ++p) {
        if (after[2 * p] == state[2 * p] &&
            after[2 * p + 1] == state[2 * p + 1]) {
          continue;
        }
        EXPECT_TRUE(Action(i).AffectedSVs.contains(model_.Places[p]))
            << model_.Places[p]->getName();
      }
    }
  }
}

TEST_F(SanSANTest, DistributionParameters) {
  Set(Marking({{kHW, 1}, {kTestL, 1}}));
  EXPECT_EQ(Action(0).SampleDistribution(), 0.0);
  EXPECT_EQ(Action(0).ReturnDistributionParameters(), nullptr);
  double* parameters = Action(16).ReturnDistributionParameters();
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(parameters[0], 1000.0);
  EXPECT_GT(Action(16).SampleDistribution(), 0.0);
}

}  // namespace
