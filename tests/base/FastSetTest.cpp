#include "base/FastSet.h"

#include <gtest/gtest.h>

namespace {

TEST(FastSetTest, FreezeSortsAndDeduplicates) {
  FastSet set;
  EXPECT_TRUE(set.empty());
  EXPECT_TRUE(set.insert(5));
  EXPECT_TRUE(set.insert(2));
  EXPECT_TRUE(set.insert(9));
  EXPECT_FALSE(set.insert(2));
  EXPECT_TRUE(set.find(9));
  EXPECT_FALSE(set.find(3));
  set.NoMoreModifications();
  ASSERT_EQ(set.size(), 3);
  EXPECT_EQ(set[0], 2);
  EXPECT_EQ(set[1], 5);
  EXPECT_EQ(set[2], 9);
}

TEST(FastSetTest, EmptyAndClearedSets) {
  FastSet frozen_empty;
  frozen_empty.NoMoreModifications();
  EXPECT_EQ(frozen_empty.size(), 0);

  FastSet tree;
  tree.insert(1);
  tree.clear();
  EXPECT_TRUE(tree.empty());
  EXPECT_TRUE(tree.insert(1));

  FastSet frozen;
  frozen.insert(4);
  frozen.NoMoreModifications();
  frozen.clear();
  EXPECT_EQ(frozen.size(), 0);
  EXPECT_TRUE(frozen.IsFrozen());
}

TEST(FastSetDeathTest, WrongPhaseIsAContractViolation) {
  FastSet frozen;
  frozen.NoMoreModifications();
  EXPECT_DEATH(frozen.insert(1), "FastSet.*`!is_vec_rep' failed");
  EXPECT_DEATH(frozen.find(1), "`!is_vec_rep' failed");
  EXPECT_DEATH(frozen.empty(), "`!is_vec_rep' failed");
  EXPECT_DEATH(frozen.NoMoreModifications(), "`!is_vec_rep' failed");

  FastSet tree;
  EXPECT_DEATH(tree.size(), "`is_vec_rep' failed");
  EXPECT_DEATH(tree[0], "`is_vec_rep' failed");
}

}  // namespace
