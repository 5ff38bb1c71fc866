#include "generator/HybridHash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kImageSize = 16;

// Image of state n as a model makes it: eight 16-bit markings, the
// hexadecimal digits of n, low digit first. Small markings leave most
// bytes zero, and many images share a home slot.
std::vector<char> MarkingImage(std::uint32_t n) {
  std::vector<char> image(kImageSize, 0);
  for (std::uint32_t place = 0; place < kImageSize / 2; ++place) {
    image[2 * place] = static_cast<char>(n & 0xF);
    n >>= 4;
  }
  return image;
}

// A 16-byte image whose first 8 bytes are a bijective mix of n: images
// spread over the table, so large stores fill quickly.
std::vector<char> MixedImage(std::uint32_t n) {
  std::uint64_t z = n + 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  std::vector<char> image(kImageSize, 0);
  for (int i = 0; i < 8; ++i) image[i] = static_cast<char>(z >> (8 * i));
  return image;
}

using ImageMaker = std::vector<char> (*)(std::uint32_t);

// Inserts states 1..count the way the generator does: look up, then insert.
void InsertStates(HybridHash& store, std::uint32_t count,
                  ImageMaker image_of = MarkingImage, bool look_up = true) {
  for (std::uint32_t n = 1; n <= count; ++n) {
    const std::vector<char> image = image_of(n);
    if (look_up) {
      ASSERT_EQ(store.Lookup(image.data()), HybridHash::kNotFound) << n;
    }
    store.Insert(image.data(), n);
  }
}

void ExpectAllFound(const HybridHash& store, std::uint32_t count,
                    ImageMaker image_of = MarkingImage) {
  for (std::uint32_t n = 1; n <= count; ++n)
    ASSERT_EQ(store.Lookup(image_of(n).data()), n);
}

}  // namespace

TEST(HybridHashTest, FindsOnlyStoredStates) {
  HybridHash store(kImageSize, 131071, 1000, 4, 0.5);
  std::vector<char> first = MarkingImage(1);
  store.Insert(first.data(), 1);

  EXPECT_EQ(store.Lookup(first.data()), 1u);
  EXPECT_EQ(store.Lookup(MarkingImage(2).data()), HybridHash::kNotFound);
  std::vector<char> last_byte_differs = first;
  last_byte_differs.back() = 1;
  EXPECT_EQ(store.Lookup(last_byte_differs.data()), HybridHash::kNotFound);
  // The store keeps its own copy.
  first[0] = 9;
  EXPECT_EQ(store.Lookup(MarkingImage(1).data()), 1u);
}

TEST(HybridHashTest, NewBlockStartsAtMultipleOfBlockSize) {
  HybridHash store(kImageSize, 4325341, 100000, 128, 0.5);
  InsertStates(store, 99999);
  EXPECT_EQ(store.CurrentBlock(), 0u);
  const std::vector<char> image = MarkingImage(100000);
  store.Insert(image.data(), 100000);
  EXPECT_EQ(store.CurrentBlock(), 1u);
  EXPECT_EQ(store.Lookup(image.data()), 100000u);
  // The last slot of block 0 and the first slot of block 1 do not overlap.
  EXPECT_EQ(store.Lookup(MarkingImage(99999).data()), 99999u);
  EXPECT_EQ(store.Lookup(MarkingImage(1).data()), 1u);
}

TEST(HybridHashTest, LastNumberOfLastBlockFits) {
  HybridHash store(kImageSize, 131071, 10, 3, 0.5);
  InsertStates(store, 29);
  EXPECT_EQ(store.CurrentBlock(), 2u);
  ExpectAllFound(store, 29);
}

// Home slots worked out from the hash's definition: h starts at
// 0x243F6A8885A308D3 xor the image size; each 8-byte little-endian word
// (the last one zero-padded) gives h = (h ^ w) * 0xBF58476D1CE4E5B9 and
// h ^= h >> 31; then h goes through MurmurHash3's 64-bit finaliser. The
// home slot is (h >> 32) * size >> 32, or h mod size for tables beyond 32
// bits.
TEST(HybridHashTest, HomeSlotsOfKnownImages) {
  struct Row {
    const char* name;
    std::vector<char> image;
    std::uint64_t size;
    std::uint64_t expected;
  };
  const char ff = static_cast<char>(0xFF);
  const Row rows[] = {
      {"short tail only", {1, ff, 2}, 131071, 45068},
      {"same image, larger table", {1, ff, 2}, 393209, 135204},
      {"one whole word", {1, 2, 3, 4, 5, 6, 7, 8}, 131071, 26597},
      {"zero word", std::vector<char>(8, 0), 131071, 41084},
      {"word and tail", {1, 0, 2, 0, 3, 0, 4, 0, 5, 0}, 4325341, 1938972},
      {"two zero words", std::vector<char>(16, 0), 4325341, 1325340},
      {"last byte set",
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
       4325341,
       823945},
      {"first byte set",
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       4325341,
       3107189},
      {"table beyond 32 bits", {1, 2, 3}, 6000000001, 1576970781},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HybridHash store(static_cast<std::uint32_t>(row.image.size()), 131071, 10,
                     1, 0.5);
    EXPECT_EQ(store.getHashKey(row.image.data(), row.size), row.expected);
  }
}

// Markings of a few tokens leave most image bytes zero and differ in a few
// low bits; they must still spread over the table rather than pile up on
// a few probe chains (the measure that made the store change its hash).
TEST(HybridHashTest, SmallMarkingsDoNotCluster) {
  constexpr std::uint32_t kStates = 150000;
  HybridHash store(kImageSize, 393209, 100000, 2, 0.5);
  InsertStates(store, kStates);
  // Uniform hashing at this load needs about half a probe per operation.
  EXPECT_LT(static_cast<double>(store.ProbeCount()) / (2.0 * kStates), 1.0);
  ExpectAllFound(store, kStates);
}

// A probe made by Locate before the table grew still finds the right state.
TEST(HybridHashTest, ProbeSurvivesGrowth) {
  HybridHash store(kImageSize, 131071, 100000, 2, 0.5);
  InsertStates(store, 1000);
  const std::vector<char> stored = MarkingImage(7);
  const std::vector<char> absent = MarkingImage(70000);
  const HybridHash::Probe stored_probe = store.Locate(stored.data());
  const HybridHash::Probe absent_probe = store.Locate(absent.data());
  store.PrefetchImage(stored_probe);
  EXPECT_EQ(store.Lookup(stored.data(), stored_probe), 7u);

  for (std::uint32_t n = 1001; n <= 66000; ++n) {
    store.Insert(MarkingImage(n).data(), n);
  }
  ASSERT_GT(store.TableSize(), 131071u);
  store.PrefetchImage(stored_probe);  // stale: must not touch the old table
  EXPECT_EQ(store.Lookup(stored.data(), stored_probe), 7u);
  EXPECT_EQ(store.Lookup(absent.data(), absent_probe), HybridHash::kNotFound);
}

TEST(HybridHashTest, GrowthKeepsEveryState) {
  struct Row {
    const char* images;
    ImageMaker image_of;
    double load_factor;
    std::uint32_t states;
    std::uint32_t size_index;  // after the last insert
  };
  // Growth points: first number >= size * load factor.
  const Row rows[] = {
      // Long shared probe chains move across two growths.
      {"markings", MarkingImage, 0.5, 200000, 2},  // at 65536, 196605
      {"mixed", MixedImage, 0.25, 300000, 4},  // 32768, 98303, 196605, 294910
      {"mixed", MixedImage, 0.9, 400000, 2},   // 117964, 353889
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.images << ", load factor " << row.load_factor);
    HybridHash store(kImageSize, 131071, 2000, 250, row.load_factor);
    InsertStates(store, row.states, row.image_of);
    EXPECT_EQ(store.SizeIndex(), row.size_index);
    EXPECT_EQ(store.TableSize(), PrimeArray[row.size_index]);
    ExpectAllFound(store, row.states, row.image_of);
    EXPECT_EQ(store.Lookup(row.image_of(row.states + 1).data()),
              HybridHash::kNotFound);
  }
}

TEST(HybridHashTest, GrowthWithGeneratorParameters) {
  HybridHash store(kImageSize, 4325341, 100000, 128, 0.5);
  InsertStates(store, 2162670, MixedImage, /*look_up=*/false);
  EXPECT_EQ(store.TableSize(), 4325341u);
  store.Insert(MixedImage(2162671).data(), 2162671);
  EXPECT_EQ(store.TableSize(), 6684607u);
  ExpectAllFound(store, 2162671, MixedImage);
}

TEST(HybridHashTest, NumberOutsideStoreIsFatal) {
  struct Row {
    std::uint32_t block_size;
    std::uint32_t max_blocks;
    std::uint32_t number;
    const char* message;
  };
  const Row rows[] = {
      {10, 3, 30, "state number 30 is outside 1..29"},
      {10, 3, 0, "state number 0 is outside 1..29"},
      // Entries keep 24 bits for the number.
      {100000, 256, 16777216, "state number 16777216 is outside 1..16777215"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    EXPECT_EXIT(
        {
          HybridHash store(kImageSize, 131071, row.block_size, row.max_blocks,
                           0.5);
          store.Insert(MarkingImage(1).data(), row.number);
        },
        testing::ExitedWithCode(1), row.message);
  }
}

TEST(HybridHashTest, FullTableIsFatalNotEndless) {
  // A load factor above 1 lets the table fill before it would grow.
  EXPECT_EXIT(
      {
        HybridHash store(kImageSize, 131071, 100000, 2, 2.0);
        InsertStates(store, 131072, MixedImage);
      },
      testing::ExitedWithCode(1),
      "probe sequence visited all 131071 slots of the table");
}
