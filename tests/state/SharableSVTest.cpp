#include "state/SharableSV.h"

#include <gtest/gtest.h>

#include <iterator>

#include "framework/BaseActionClass.h"
#include "state/Place.h"
#include "state/StructStateVariable.h"

namespace {

TEST(SharableSVTest, SharedPairHasOneValueAndOneListPair) {
  Place a("a", 1);
  Place b("b", 5);
  BaseActionClass reads_a;
  BaseActionClass changes_b;
  a.appendEnabledAction(&reads_a);
  reads_a.addEnablingSV(&a);
  b.appendAffectingAction(&changes_b);
  changes_b.addAffectedSV(&b);

  a.share(&b);
  EXPECT_EQ(a.getMark(), 5);  // the argument's value wins
  EXPECT_EQ(b.getMark(), 5);
  a.setMark(7);
  EXPECT_EQ(b.getMark(), 7);
  b.setMark(-3);
  EXPECT_EQ(a.getMark(), -3);
  EXPECT_EQ(b.Mark, a.value);

  EXPECT_TRUE(a.getStored());
  EXPECT_FALSE(b.getStored());
  EXPECT_TRUE(a.getShared());
  EXPECT_TRUE(b.getShared());
  EXPECT_EQ(a.getSharingCount(), 4);
  EXPECT_EQ(b.holder, &a);
  EXPECT_TRUE(b.pointerChain.empty());
  EXPECT_EQ(std::distance(a.pointerChain.begin(), a.pointerChain.end()), 4);

  EXPECT_EQ(a.getAffectingActions(), b.getAffectingActions());
  EXPECT_EQ(a.getEnabledActions(), b.getEnabledActions());
  EXPECT_TRUE(a.getAffectingActions()->contains(&changes_b));
  EXPECT_TRUE(a.getEnabledActions()->contains(&reads_a));

  // The action that named b now names the holder.
  ASSERT_EQ(changes_b.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(changes_b.AffectedSVs[0], &a);
}

TEST(SharableSVTest, ActionListingBothSharedPlacesKeepsOne) {
  Place a("a", 0);
  Place b("b", 0);
  BaseActionClass both;
  for (Place* p : {&a, &b}) {
    p->appendAffectingAction(&both);
    both.addAffectedSV(p);
  }
  a.share(&b);
  ASSERT_EQ(both.AffectedSVs.getNumItems(), 1);
  EXPECT_EQ(both.AffectedSVs[0], &a);
  EXPECT_EQ(a.getNumAffectingActions(), 1);
}

TEST(SharableSVTest, AffectingActionsGoThroughTheHolder) {
  Place a("a", 0);
  Place b("b", 0);
  a.share(&b);
  BaseActionClass late;
  b.appendAffectingAction(&late);  // not its own holder: nothing
  EXPECT_EQ(a.getNumAffectingActions(), 0);
  a.appendAffectingAction(&late);
  EXPECT_EQ(a.getNumAffectingActions(), 1);
  EXPECT_EQ(b.getNumAffectingActions(), 1);
}

TEST(SharableSVTest, ChainsOfSharingAllFollowOneStorage) {
  // Four ways to reach one group of three: every combination of stored
  // flags on the calling side and the argument side.
  Place p("p", 1), q("q", 2), r("r", 3), s("s", 4), t("t", 5);
  p.share(&q);  // both stored: q joins p
  r.share(&p);  // argument stored, caller stored: p's group joins r
  EXPECT_FALSE(p.getStored());
  q.share(&s);  // caller not stored, argument stored: s joins q's holder
  EXPECT_FALSE(s.getStored());
  t.share(&q);  // caller stored, argument not: t joins q's holder
  EXPECT_FALSE(t.getStored());
  for (Place* x : {&p, &q, &r, &s, &t}) {
    SCOPED_TRACE(x->getName());
    x->setMark(42);
    for (Place* y : {&p, &q, &r, &s, &t}) EXPECT_EQ(y->getMark(), 42);
  }
}

TEST(SharableSVTest, NeitherStoredJoinsTheSmallerGroup) {
  Place a("a", 1), b("b", 2), c("c", 3), d("d", 4), e("e", 5);
  a.share(&b);  // group {a, b}, hub a, count 4
  c.share(&d);  // group {c, d}, hub c
  c.share(&e);  // hub c, count 6
  b.share(&d);  // neither stored: b's count (2) <= c's count: a joins c
  EXPECT_FALSE(a.getStored());
  EXPECT_EQ(a.holder, &c);
  EXPECT_EQ(c.getSharingCount(), 10);
  for (Place* x : {&a, &b, &c, &d, &e}) {
    EXPECT_EQ(x->value, c.value);
    EXPECT_EQ(x->getAffectingActions(), c.getAffectingActions());
  }
}

TEST(SharableSVDeathTest, SharingWithAnotherKindIsAContractViolation) {
  Place a("a", 0);
  BaseStructStateVariable record("s", "");
  EXPECT_DEATH(a.share(&record), "state/SharableSV.*`otherSV' failed");
}

}  // namespace

namespace {

TEST(SharableSVDeathTest, HubWithoutListsIsAContractViolation) {
  Place a("a", 0);
  Place b("b", 0);
  List<BaseActionClass>* affecting = a.getAffectingActions();
  a.setAffectingActions(nullptr);
  EXPECT_DEATH(a.share(&b), "`SVAffectingActions' failed");
  a.setAffectingActions(affecting);
  a.setEnabledActions(nullptr);
  EXPECT_DEATH(a.share(&b), "`SVEnabledActions' failed");
}

}  // namespace
