#include "solve/TwoWayPool.h"

#include <cstddef>
#include <vector>

#include "gtest/gtest.h"

namespace {

// Each half runs exactly once per task, and a task's writes are seen by
// the caller when Run returns; many tasks in a row catch a lost wake-up.
TEST(TwoWayPoolTest, EveryTaskRunsBothHalvesOnceOnOneThreadOrTwo) {
  for (int threads : {1, 2, 8}) {
    SCOPED_TRACE(threads);
    TwoWayPool pool(threads);
    EXPECT_EQ(pool.threads(), threads == 1 ? 1 : 2);
    std::vector<int> counts(2 * 64, 0);  // half h's count at 64 * h
    for (int task = 0; task < 20000; ++task) {
      pool.Run(
          [&](int half) { ++counts[static_cast<std::size_t>(64 * half)]; });
      ASSERT_EQ(counts[0], task + 1);
      ASSERT_EQ(counts[64], task + 1);
    }
  }
}

TEST(TwoWayPoolTest, VectorsAreCutAtWholeCacheLinesPastTheThreshold) {
  EXPECT_EQ(VectorSplit(0), 0u);
  EXPECT_EQ(VectorSplit(kMinSplit - 1), kMinSplit - 1);
  EXPECT_EQ(VectorSplit(kMinSplit), kMinSplit / 2);
  EXPECT_EQ(VectorSplit(kMinSplit + 31), kMinSplit / 2 + 8);
  EXPECT_EQ(VectorSplit(40, 16), 16u);
  EXPECT_EQ(VectorSplit(15, 16), 15u);
}

}  // namespace
