#include "framework/BaseGroupClass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "framework/Activity.h"
#include "tests/support/TestModel.h"

namespace {

// Cases of one activity, built without a model around them.
class GroupTest : public testing::Test {
 protected:
  TestActivity& Case(const char* name, double weight, int rank = 1) {
    cases_.push_back(std::make_unique<TestActivity>(name, Exponential, 0));
    cases_.back()->WithWeight(weight).WithRank(rank);
    group_.appendGroup(cases_.back().get());
    return *cases_.back();
  }

  PostselectGroup group_;
  std::vector<std::unique_ptr<TestActivity>> cases_;
};

TEST_F(GroupTest, SelectionFollowsCumulativeWeights) {
  TestActivity& first = Case("a", 0.34);
  TestActivity& second = Case("b", 0.66);
  struct Row {
    double u;
    BaseActionClass* expected;
  };
  const Row rows[] = {{0.5, &second},
                      {0.2, &first},
                      {0.0, &first},
                      {0.35, &second},
                      {0.99, &second}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.u);
    ScriptedUniforms uniforms({row.u});
    ASSERT_TRUE(group_.SelectAction());
    EXPECT_EQ(group_.SelectedAction, row.expected);
    EXPECT_EQ(uniforms.draws_taken(), 1);
  }
  EXPECT_EQ(group_.NumCandidates, 2);
  EXPECT_DOUBLE_EQ(group_.WeightTable[0].CumulativeWeight, 0.34);
  EXPECT_DOUBLE_EQ(group_.WeightTable[1].CumulativeWeight, 1.0);
}

TEST_F(GroupTest, BisectionOverManyCandidates) {
  for (int i = 0; i < 5; ++i) Case("c", 1.0);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    ScriptedUniforms uniforms({(i + 0.5) / 5.0});
    ASSERT_TRUE(group_.SelectAction());
    EXPECT_EQ(group_.SelectedAction, cases_[i].get());
  }
}

TEST_F(GroupTest, HighestRankAloneIsCandidate) {
  TestActivity& low = Case("low", 0.5, 1);
  TestActivity& high = Case("high", 0.1, 2);
  TestActivity& off = Case("off", 0.4, 3).When([] { return false; });
  EXPECT_DOUBLE_EQ(group_.CalculateWeightDistribution(), 0.1);
  EXPECT_EQ(group_.CurrentRank, 2);
  EXPECT_EQ(group_.NumCandidates, 1);
  EXPECT_FALSE(high.Disabled);
  EXPECT_TRUE(off.Disabled);
  // Taken before the higher rank appeared: keeps its cleared flag.
  EXPECT_FALSE(low.Disabled);

  ScriptedUniforms uniforms({0.9});
  ASSERT_TRUE(group_.SelectAction());
  EXPECT_EQ(group_.SelectedAction, &high);
  EXPECT_EQ(group_.Probability(&low), 0.0);
  EXPECT_DOUBLE_EQ(group_.Probability(&high), 1.0);
}

TEST_F(GroupTest, NoEnabledMember) {
  Case("a", 1.0).When([] { return false; });
  Case("b", 1.0).When([] { return false; });
  group_.SelectedAction = cases_[0].get();
  EXPECT_EQ(group_.CalculateWeightDistribution(), -1.0);
  ScriptedUniforms uniforms({0.5});
  EXPECT_FALSE(group_.SelectAction());
  EXPECT_EQ(uniforms.draws_taken(), 1);
  EXPECT_EQ(group_.SelectedAction, cases_[0].get());
  EXPECT_FALSE(group_.Enabled());
}

TEST_F(GroupTest, ProbabilityOverEnabledCasesOfOneRank) {
  TestActivity& a = Case("a", 0.34);
  Case("b", 0.33);
  TestActivity& c = Case("c", 0.33).When([] { return false; });
  EXPECT_DOUBLE_EQ(group_.Probability(&a), 0.34 / 0.67);
  // A disabled case of the same rank still gets its share.
  EXPECT_DOUBLE_EQ(group_.Probability(&c), 0.33 / 0.67);
}

TEST_F(GroupTest, ZeroTotalWeightIsReported) {
  TestActivity& a = Case("a", 0.0);
  testing::internal::CaptureStdout();
  const double p = group_.Probability(&a);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "BaseGroupClass::Probability() TotalWeight is zero.\n");
  EXPECT_TRUE(std::isnan(p));
}

TEST_F(GroupTest, PostselectFiresTheDrawnCase) {
  TestActivity& a = Case("a", 0.34);
  TestActivity& b = Case("b", 0.66);
  ScriptedUniforms uniforms({0.2, 0.9});
  EXPECT_EQ(group_.Fire(), &a);
  EXPECT_EQ(group_.Fire(), &b);
  EXPECT_EQ(a.fire_count, 1);
  EXPECT_EQ(b.fire_count, 1);
  EXPECT_EQ(group_.SelectedAction, nullptr);
  EXPECT_EQ(group_.Weight(), 1.0);
  EXPECT_EQ(group_.Rank(), 1);
}

TEST(PreselectGroupTest, KeepsItsSelectionUntilFired) {
  TestActivity a("a", Exponential, 0);
  TestActivity b("b", Exponential, 0);
  a.WithWeight(1.0).WithRank(1).WithRate(2.0);
  b.WithWeight(1.0).WithRank(1).WithRate(3.0);
  PreselectGroup group(2);
  group.appendGroup(&a);
  group.appendGroup(&b);
  ScriptedUniforms uniforms({0.9, 0.1});
  EXPECT_TRUE(group.Enabled());
  EXPECT_EQ(group.SelectedAction, &b);
  EXPECT_FALSE(group.Reselect);
  EXPECT_EQ(group.Rank(), 1);
  EXPECT_EQ(group.Rate(), 3.0);
  EXPECT_EQ(uniforms.draws_taken(), 1);
  EXPECT_EQ(group.Fire(), &b);
  EXPECT_TRUE(group.Reselect);
  EXPECT_EQ(group.SelectedAction, &b);
  EXPECT_EQ(group.Rank(), 1);  // reselects
  EXPECT_EQ(group.SelectedAction, &a);
}

TEST(BaseGroupClassTest, AppendGroupGrowsByOneSlot) {
  TestActivity a("a", Exponential, 0);
  TestActivity b("b", Exponential, 0);
  TestActivity c("c", Exponential, 0);
  BaseGroupClass group;
  group.initialize(2, "g");
  group.appendGroup(&a);
  group.appendGroup(&b);
  EXPECT_EQ(group.MemberCapacity, 2);
  group.appendGroup(&c);
  EXPECT_EQ(group.MemberCapacity, 3);
  EXPECT_EQ(group.getMember(2), &c);
  EXPECT_EQ(group.getMember(0), &a);

  BaseGroupClass more;
  more.appendMembers(&group);
  EXPECT_EQ(more.MemberCapacity, 3);
  EXPECT_EQ(more.getNumMembers(), 3);
}

TEST(BaseGroupClassTest, SetMemberOutOfRangeIsReported) {
  TestActivity a("a", Exponential, 0);
  TestActivity b("b", Exponential, 0);
  BaseGroupClass group;
  group.appendGroup(&a);
  testing::internal::CaptureStderr();
  group.setMember(&b, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Array out of bounds error at Array out of bounds "
            "(BaseGroupClass::setMember()\n");
  EXPECT_EQ(group.getMember(0), &a);
  group.replaceMember(&a, &b);
  EXPECT_EQ(group.getMember(0), &b);
}

TEST(BaseGroupClassTest, NestedGroupsSelectTheLeafAndPrint) {
  TestActivity a("a", Exponential, 0);
  TestActivity b("b", Exponential, 0);
  TestActivity c("c", Exponential, 0);
  for (TestActivity* x : {&a, &b, &c}) x->WithRank(1);
  PostselectGroup inner;
  inner.initialize(2, "inner");
  inner.appendGroup(&b);
  inner.appendGroup(&c);
  BaseGroupClass outer;
  outer.initialize(2, "outer");
  outer.appendGroup(&a);
  outer.appendGroup(&inner);
  // inner is a member of rank 1 and weight 1.0, like a.
  ScriptedUniforms uniforms({0.9, 0.7});
  ASSERT_TRUE(outer.SelectAction());
  EXPECT_EQ(outer.SelectedAction, &c);

  outer.setGroupId(6);
  EXPECT_EQ(a.GroupId, 6);
  EXPECT_EQ(c.GroupId, 6);

  testing::internal::CaptureStdout();
  outer.printGroup();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "** Members of Group outer\n"
            "[0] a\n"
            "[1] inner\n"
            "  [1.0] b\n"
            "  [1.1] c\n");
  testing::internal::CaptureStdout();
  outer.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "************ Group: outer ****************\n"
            "Contains the following actions:\n"
            "  a\n"
            "  inner\n"
            "Selected Action = c\n");
}

TEST(ActivityTest, EnablingChangeReportsEachTransitionOnce) {
  bool on = false;
  TestActivity a("a", Exponential, 0);
  a.When([&] { return on; });
  EXPECT_FALSE(a.EnablingChange());  // starts disabled
  on = true;
  EXPECT_TRUE(a.EnablingChange());
  EXPECT_FALSE(a.EnablingChange());
  on = false;
  EXPECT_TRUE(a.EnablingChange());
}

TEST(ActivityTest, IsItsOwnSelection) {
  TestActivity a("a", Instantaneous, 3);
  TestActivity other("other", Instantaneous, 3);
  EXPECT_EQ(a.SelectedAction, &a);
  EXPECT_EQ(a.Probability(&a), 1.0);
  EXPECT_EQ(a.Probability(&other), 0.0);
  EXPECT_EQ(a.getPrintedAction(), &a);
  a.When([] { return false; });
  EXPECT_FALSE(a.SelectAction());
  a.setGroupId(9);
  EXPECT_EQ(a.GroupId, 9);
}

}  // namespace

namespace {

TEST(GroupUniformTest, DefaultSourceIsTheProgramGenerator) {
  for (int i = 0; i < 100; ++i) {
    const double u = DrawGroupUniform();
    ASSERT_GE(u, 0.0);
    ASSERT_LT(u, 1.0);
  }
}

}  // namespace
