#include "generator/SharedStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

constexpr std::uint32_t kImageSize = 12;

// Image of state n: six 16-bit markings, the hexadecimal digits of n low
// digit first, and a last byte that turns 1 from state `late` on, so that
// a byte each shard keeps once becomes a stored one while threads insert.
std::vector<char> Image(std::uint32_t n, std::uint32_t late) {
  std::vector<char> image(kImageSize, 0);
  std::uint32_t digits = n;
  for (std::uint32_t place = 0; place < kImageSize / 2; ++place) {
    image[2 * place] = static_cast<char>(digits & 0xF);
    digits >>= 4;
  }
  image.back() = static_cast<char>(n >= late ? 1 : 0);
  return image;
}

// Each thread inserts every state 0..count-1, in an order of its own (a
// stride coprime to count), so that the threads meet on the same states
// while the shards grow and repack.
std::vector<std::vector<std::uint64_t>> InsertFromThreads(SharedStore& store,
                                                          std::uint32_t count,
                                                          std::uint32_t threads,
                                                          std::uint32_t late) {
  std::vector<std::vector<std::uint64_t>> ids(
      threads, std::vector<std::uint64_t>(count, SharedStore::kFailed));
  std::vector<std::thread> workers;
  for (std::uint32_t t = 0; t < threads; ++t) {
    workers.emplace_back([&store, &ids, count, t, late] {
      const std::uint64_t stride = 2 * t + 1;  // count is a power of two
      for (std::uint64_t i = 0; i < count; ++i) {
        const auto n = static_cast<std::uint32_t>((i * stride + t) % count);
        const std::vector<char> image = Image(n, late);
        ids[t][n] = store.FindOrInsert(image.data(), store.Hash(image.data()));
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  return ids;
}

TEST(SharedStoreTest, ThreadsInsertingTheSameStatesAgreeOnOneIdentifierEach) {
  // count is a power of two, so that every odd stride visits every state.
  struct Row {
    std::uint32_t shard_bits;
    double load;
    std::uint32_t count;
    std::uint32_t threads;
  };
  // Two shards at load 0.1 grow twice each (at 13,107 and 39,320 states);
  // sixteen shards of few states each stay in their first table.
  const Row rows[] = {{1, 0.1, 1u << 17, 4}, {4, 0.5, 1u << 14, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "shard bits " << row.shard_bits);
    SharedStore store(kImageSize, row.load, row.shard_bits);
    const std::uint32_t late = row.count / 3;
    const auto ids = InsertFromThreads(store, row.count, row.threads, late);

    for (std::uint32_t n = 0; n < row.count; ++n) {
      ASSERT_NE(ids[0][n], SharedStore::kFailed) << n;
      for (std::uint32_t t = 1; t < row.threads; ++t) {
        ASSERT_EQ(ids[t][n], ids[0][n]) << "state " << n << ", thread " << t;
      }
    }
    std::vector<std::uint64_t> sorted = ids[0];
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    EXPECT_EQ(store.StoredStates(), row.count);
    EXPECT_TRUE(store.Failure().ok);

    // Every state is found again, under the identifier the threads got.
    for (std::uint32_t n = 0; n < row.count; n += 97) {
      const std::vector<char> image = Image(n, late);
      ASSERT_EQ(store.FindOrInsert(image.data(), store.Hash(image.data())),
                ids[0][n]);
    }
    EXPECT_EQ(store.StoredStates(), row.count);
  }
}

TEST(SharedStoreTest, NumberMapKeepsOneNumberPerIdentifier) {
  // Identifiers of two shards, in the first block and far past it.
  const std::uint64_t ids[] = {(1u << 4) | 0, (1u << 4) | 3, (200000u << 4) | 0,
                               (200000u << 4) | 3, (5u << 4) | 15};
  NumberMap map(4);
  for (const std::uint64_t id : ids) {
    SCOPED_TRACE(id);
    std::uint32_t* slot = map.Slot(id);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, 0u);
    *slot = static_cast<std::uint32_t>(id);
  }
  for (const std::uint64_t id : ids) {
    EXPECT_EQ(*map.Slot(id), static_cast<std::uint32_t>(id));
  }
}

}  // namespace
