#include "state/Place.h"

#include <gtest/gtest.h>

#include <sstream>

#include "framework/BaseActionClass.h"

namespace {

TEST(PlaceTest, ImageIsLittleEndianSigned16) {
  Place x("x", 3);
  EXPECT_EQ(x.StateSize(), 2);
  unsigned char image[2] = {0, 0};
  x.CurrentState(image);
  EXPECT_EQ(image[0], 0x03);
  EXPECT_EQ(image[1], 0x00);
  const unsigned char minus_one[2] = {0xFF, 0xFF};
  x.SetState(const_cast<unsigned char*>(minus_one));
  EXPECT_EQ(x.getMark(), -1);
  const unsigned char big[2] = {0x34, 0x12};
  x.SetState(const_cast<unsigned char*>(big));
  EXPECT_EQ(*x.value, 0x1234);
}

TEST(PlaceTest, FreshPlace) {
  Place fresh("p", 4);
  EXPECT_EQ(fresh.getSharingCount(), 2);
  EXPECT_TRUE(fresh.getStored());
  EXPECT_FALSE(fresh.getShared());
  EXPECT_EQ(fresh.holder, &fresh);
  EXPECT_EQ(fresh.Mark, fresh.value);
  // Mark was registered last, so it heads the chain.
  ASSERT_FALSE(fresh.pointerChain.empty());
  EXPECT_EQ(fresh.pointerChain.front().pointer, &fresh.Mark);
  EXPECT_EQ(fresh.pointerChain.front().owner, nullptr);

  Place unnamed;
  EXPECT_STREQ(unnamed.getName(), "default");
  EXPECT_EQ(unnamed.getMark(), 0);
}

TEST(PlaceTest, Printing) {
  Place x("x", 3);
  std::ostringstream out;
  x.printState(&out);
  x.printStateVal(&out);
  EXPECT_EQ(out.str(), "x = 3\n3");
}

TEST(PlaceTest, LeafAndActionLists) {
  Place p("p", 0);
  std::unique_ptr<List<BaseStateVariableClass>> leaves = p.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 1);
  EXPECT_EQ((*leaves)[0], &p);
  EXPECT_EQ(p.getNumLeafNodes(), 1);

  testing::internal::CaptureStderr();
  EXPECT_EQ(p.getEnabledAction(0), nullptr);
  EXPECT_EQ(p.getAffectingAction(0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! BaseStateVariableClass::getEnabledAction(int):  EnabledAction "
            "index out of bounds\n"
            "!! BaseStateVariableClass::getAffectingAction(int):  "
            "AffectingAction index out of bounds\n");

  BaseActionClass action;
  p.appendAffectingAction(&action);
  p.appendAffectingAction(&action);
  p.appendEnabledAction(&action);
  EXPECT_EQ(p.getNumAffectingActions(), 1);
  EXPECT_EQ(p.getAffectingAction(0), &action);
  EXPECT_EQ(p.getEnabledAction(0), &action);

  testing::internal::CaptureStdout();
  p.printEnabledActions();
  std::ostringstream expected;
  expected << "Enabled actions for p:\n[0] "
           << static_cast<const void*>(&action) << '\n';
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected.str());
}

}  // namespace
