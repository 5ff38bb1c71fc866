#include "framework/BaseActionClass.h"

#include <gtest/gtest.h>

#include "state/Place.h"

namespace {

class ThreePhaseAction : public BaseActionClass {
 public:
  double ErlangParamM() override { return 3.0; }
};

TEST(BaseActionClassTest, ErlangIsReadyAfterTwoAges) {
  ThreePhaseAction action;
  action.ResetPhase();
  EXPECT_FALSE(action.ReadyToFire());
  action.Age();
  EXPECT_FALSE(action.ReadyToFire());
  action.Age();
  EXPECT_TRUE(action.ReadyToFire());
  action.ResetPhase();
  EXPECT_FALSE(action.ReadyToFire());
}

TEST(BaseActionClassTest, ArcsListEachLeafOnce) {
  BaseActionClass action;
  Place p("p", 0);
  action.addEnablingSV(&p);
  action.addEnablingSV(&p);
  action.addAffectedSV(&p);
  EXPECT_EQ(action.EnablingSVs.getNumItems(), 1);
  EXPECT_EQ(action.AffectedSVs.getNumItems(), 1);
  action.removeEnablingSV(&p);
  EXPECT_EQ(action.EnablingSVs.getNumItems(), 0);
}

TEST(BaseActionClassTest, PrintInfo) {
  BaseActionClass action("fire", 4, Erlang, kDefaultExecutionPolicy, 2, 1,
                         false);
  testing::internal::CaptureStdout();
  action.PrintInfo();
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "********* fire**********\n"
            "\n"
            "Enabled by:\n"
            "Affects:\n"
            "Group ID = 4\n"
            "Execution Policy = 1\n"
            "Disabled = 1\n"
            "Reactivation = 0\n"
            "DistributionType = 7\n");

  Place p("p", 0);
  Place q("q", 0);
  action.addEnablingSV(&p);
  action.addAffectedSV(&q);
  testing::internal::CaptureStdout();
  action.PrintInfo();
  EXPECT_NE(testing::internal::GetCapturedStdout().find(
                "Enabled by:\n           p\nAffects:\n           q\n"),
            std::string::npos);
}

TEST(BaseActionClassTest, RewardDataAllocation) {
  BaseActionClass action;
  EXPECT_FALSE(action.IsPVRateDSAllocated());
  action.AllocatePVRateDS(3);
  action.AllocatePVImpulseDS(2);
  ASSERT_TRUE(action.IsPVRateDSAllocated());
  ASSERT_TRUE(action.IsPVImpulseDSAllocated());
  EXPECT_TRUE(action.PVRateSets[2].empty());
  EXPECT_TRUE(action.PVImpulsePointerRows[1].empty());
  action.DeallocatePVRateDS();
  action.DeallocatePVImpulseDS();
  EXPECT_FALSE(action.IsPVRateDSAllocated());
  EXPECT_FALSE(action.IsPVImpulseDSAllocated());
}

}  // namespace
