#include "solve/TwoWayPool.h"

#include <algorithm>
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

// On two threads past the threshold the two parts meet at the vectors' cut
// and cover the range once; below it, on one thread or without a pool, one
// call takes it all.
TEST(TwoWayPoolTest, RangesRunInHalvesCoverEveryIndexOnce) {
  TwoWayPool one(1);
  TwoWayPool two(2);
  for (std::size_t n : {std::size_t{0}, kMinSplit - 1, kMinSplit + 31}) {
    for (TwoWayPool* pool : {static_cast<TwoWayPool*>(nullptr), &one, &two}) {
      SCOPED_TRACE(n);
      std::vector<int> seen(n, 0);
      std::vector<std::size_t> begins(2 * 8, n + 1);  // part h's at 8 * h
      int calls = 0;
      RunInHalves(pool, n, [&](std::size_t begin, std::size_t end) {
        const std::size_t part = begin == 0 ? 0 : 1;
        begins[8 * part] = begin;
        for (std::size_t i = begin; i < end; ++i) ++seen[i];
        if (part == 0) ++calls;
      });
      EXPECT_EQ(std::count(seen.begin(), seen.end(), 1),
                static_cast<std::ptrdiff_t>(n));
      EXPECT_EQ(calls, 1);
      const bool cut = pool == &two && n >= kMinSplit;
      EXPECT_EQ(begins[8], cut ? VectorSplit(n) : n + 1);
    }
  }
}

}  // namespace
