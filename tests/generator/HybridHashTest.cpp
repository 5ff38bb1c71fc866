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

// Image of full 5-byte chunks "0 0 0 0 key" followed by a last chunk of
// `last_length` bytes whose final byte is the last key.
std::vector<char> ChunkImage(const std::vector<char>& keys,
                             std::uint32_t last_length) {
  std::vector<char> image;
  for (std::size_t j = 0; j + 1 < keys.size(); ++j) {
    image.insert(image.end(), 4, 0);
    image.push_back(keys[j]);
  }
  image.insert(image.end(), last_length - 1, 0);
  image.push_back(keys.back());
  return image;
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

TEST(HybridHashTest, HashesShortImageAsOneChunk) {
  struct Row {
    std::vector<char> image;
    std::uint64_t size;
    std::uint64_t expected;
  };
  // Keys by hand: key = (key << 5) ^ byte, bytes sign-extended.
  const Row rows[] = {
      // 1, then 32 ^ 0xFFFFFFFF = 0xFFFFFFDF, then 0xFFFFFBE0 ^ 2.
      {{1, static_cast<char>(0xFF), 2}, 131071, 0xFFFFFBE2u % 131071u},
      {{1, static_cast<char>(0xFF), 2}, 393209, 337544},
      // ((((1 * 32 ^ 2) * 32 ^ 3) * 32 ^ 4) * 32 ^ 5) = 1117317
      {{1, 2, 3, 4, 5}, 131071, 68749},
      {{static_cast<char>(0x80)}, 131071, 0xFFFFFF80u % 131071u},
      {{0, 0, 0}, 131071, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << "bytes " << row.image.size() << ", size " << row.size);
    HybridHash store(static_cast<std::uint32_t>(row.image.size()), 131071, 10,
                     1, 0.5);
    EXPECT_EQ(store.getHashKey(row.image.data(), row.size), row.expected);
  }
}

TEST(HybridHashTest, MultiplierCountsNonzeroChunksBeforeTheLast) {
  struct Row {
    const char* name;
    std::vector<char> keys;
    std::uint32_t last_length;
    std::uint64_t size;
    std::uint64_t expected;
  };
  // With keys of 1 the fold is h = h * multiplier ^ 1 over the nonzero keys.
  const Row rows[] = {
      {"2 counted: 16", {1, 1, 0, 1}, 5, 131071, 273},  // not 8: 73
      {"short last chunk", {1, 1, 0, 1}, 1, 131071, 273},
      {"zero keys skipped", {1, 0, 0, 1}, 5, 131071, 17},
      {"3 counted: 8", {1, 1, 1, 1}, 5, 131071, 585},
      {"3 counted, last zero", {1, 1, 1, 0}, 5, 131071, 73},
      {"4 counted: 8", {1, 1, 1, 1, 1}, 5, 131071, 4681},
      {"5 counted: 4", {1, 1, 1, 1, 1, 1}, 5, 131071, 1365},
      {"8 counted: 4", std::vector<char>(9, 1), 5, 131071, 87381},
      {"9 counted: 2", std::vector<char>(10, 1), 5, 131071, 1023},
      {"16 counted: 2", std::vector<char>(17, 1), 5, 393209, 131071},
      {"17 counted: 1", std::vector<char>(18, 1), 5, 131071, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<char> image = ChunkImage(row.keys, row.last_length);
    HybridHash store(static_cast<std::uint32_t>(image.size()), 131071, 10, 1,
                     0.5);
    EXPECT_EQ(store.getHashKey(image.data(), row.size), row.expected);
  }
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
