#include "generator/HybridHash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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

// Image of state n whose last byte is 0 before state `late` and 1 from it
// on: a byte kept once in the store becomes a stored one mid-run.
template <std::uint32_t late>
std::vector<char> LateByteImage(std::uint32_t n) {
  std::vector<char> image = MarkingImage(n % late);
  image[1] = static_cast<char>(n / late);
  image.back() = static_cast<char>(n >= late ? 1 : 0);
  return image;
}

using ImageMaker = std::vector<char> (*)(std::uint32_t);

// Numbers states 1..count the way exploration does: one find-or-insert
// with the next free number.
void InsertStates(HybridHash& store, std::uint32_t count,
                  ImageMaker image_of = MarkingImage) {
  for (std::uint32_t n = store.StoredStates() + 1; n <= count; ++n) {
    const std::vector<char> image = image_of(n);
    ASSERT_EQ(store.FindOrInsert(image.data(), store.Locate(image.data()), n),
              n);
  }
}

void ExpectAllFound(const HybridHash& store, std::uint32_t count,
                    ImageMaker image_of = MarkingImage) {
  for (std::uint32_t n = 1; n <= count; ++n)
    ASSERT_EQ(store.Lookup(image_of(n).data()), n);
}

}  // namespace

TEST(HybridHashTest, FindsOnlyStoredStates) {
  HybridHash store(kImageSize, 0.5);
  std::vector<char> first = MarkingImage(1);
  EXPECT_EQ(store.Lookup(first.data()), HybridHash::kNotFound);
  EXPECT_EQ(store.FindOrInsert(first.data(), 1), 1u);

  EXPECT_EQ(store.Lookup(first.data()), 1u);
  EXPECT_EQ(store.Lookup(MarkingImage(2).data()), HybridHash::kNotFound);
  std::vector<char> last_byte_differs = first;
  last_byte_differs[kImageSize - 1] = 1;
  EXPECT_EQ(store.Lookup(last_byte_differs.data()), HybridHash::kNotFound);
  // A known state keeps its number and uses up none.
  EXPECT_EQ(store.FindOrInsert(first.data(), 2), 1u);
  EXPECT_EQ(store.StoredStates(), 1u);
  EXPECT_EQ(store.FindOrInsert(last_byte_differs.data(), 2), 2u);
  // The store keeps its own copy.
  first[0] = 9;
  EXPECT_EQ(store.Lookup(MarkingImage(1).data()), 1u);
  EXPECT_EQ(store.Lookup(last_byte_differs.data()), 2u);
}

// State n lives in block n >> 16; the first and last slot of each block.
TEST(HybridHashTest, BlocksAreAllocatedAsNumbersReachThem) {
  struct Row {
    std::uint32_t states;
    std::size_t blocks;
  };
  const Row rows[] = {{1, 1}, {65535, 1}, {65536, 2}, {131071, 2}, {131072, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.states);
    HybridHash store(kImageSize, 0.5);
    InsertStates(store, row.states, MixedImage);
    EXPECT_EQ(store.BlockCount(), row.blocks);
    for (std::uint32_t n : {1u, 65535u, 65536u, 131071u, 131072u}) {
      if (n > row.states) break;
      EXPECT_EQ(store.Lookup(MixedImage(n).data()), n) << n;
    }
    EXPECT_EQ(store.Lookup(MixedImage(row.states + 1).data()),
              HybridHash::kNotFound);
  }
}

// Bytes that never change are kept once; a byte that starts changing late
// makes every block wider, and every state must stay findable under its
// number and unpack to its image, including those stored before.
TEST(HybridHashTest, PackedImagesWidenWithoutLosingStates) {
  struct Row {
    const char* name;
    ImageMaker image_of;
    std::uint32_t states;
    std::uint32_t slot_bytes;
  };
  const Row rows[] = {
      // 16-bit markings of at most 15 tokens, five places used up to
      // 70000 = 0x11170: the high bytes and three places never change.
      {"markings", MarkingImage, 70000, 5},
      {"mixed", MixedImage, 1000, 8},
      // The last byte flips at state 65537, in the second block; byte 1
      // counts the wraps of the five low places.
      {"late byte", LateByteImage<65537>, 140000, 7},
      {"late byte in first block", LateByteImage<3>, 100, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HybridHash store(kImageSize, 0.5);
    InsertStates(store, row.states, row.image_of);
    EXPECT_EQ(store.SlotBytes(), row.slot_bytes);
    ExpectAllFound(store, row.states, row.image_of);
    std::vector<char> unpacked(kImageSize);
    for (std::uint32_t n = 1; n <= row.states; ++n) {
      store.Unpack(n, unpacked.data());
      ASSERT_EQ(unpacked, row.image_of(n)) << "state " << n;
    }
    // An image that differs only in a byte kept once is not stored.
    std::vector<char> other = row.image_of(1);
    other[kImageSize - 3] ^= 0x40;
    EXPECT_EQ(store.Lookup(other.data()), HybridHash::kNotFound);
  }
  // One state: nothing varies yet, and a second state needs its byte.
  HybridHash store(kImageSize, 0.5);
  InsertStates(store, 1);
  EXPECT_EQ(store.SlotBytes(), 0u);
  InsertStates(store, 2);
  EXPECT_EQ(store.SlotBytes(), 1u);
  ExpectAllFound(store, 2);
}

// Images packed elsewhere with a copy of the packing, as helper threads
// pack them, give every state the number that packing in the store gives,
// whether the copy is current, stale (the store widened since) or the
// image does not fit it (a byte the copy keeps once differs).
TEST(HybridHashTest, ImagesPackedWithACopyAreNumberedAsAlone) {
  struct Row {
    const char* name;
    ImageMaker image_of;
    std::uint32_t states;
    std::uint32_t refresh;  // the copy is refreshed every this many states
  };
  const Row rows[] = {
      {"markings, copy always current", MarkingImage, 70000, 1},
      {"markings, copy refreshed rarely", MarkingImage, 70000, 5000},
      {"late byte, copy stale across the widening", LateByteImage<65537>,
       140000, 50000},
      {"late byte in first block, copy never refreshed", LateByteImage<3>, 300,
       1000000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HybridHash alone(kImageSize, 0.5);
    HybridHash packed(kImageSize, 0.5);
    HybridHash::Packing copy;
    std::vector<char> buffer(kImageSize);
    // Each new state n, then the known state n / 2 again.
    for (std::uint32_t n = 1; n <= row.states; ++n) {
      if (n % row.refresh == 1 || row.refresh == 1) copy = packed.packing();
      for (const std::uint32_t m : {n, n / 2 == 0 ? 1 : n / 2}) {
        const std::vector<char> image = row.image_of(m);
        const bool fits = copy.Pack(image.data(), buffer.data());
        const std::uint32_t expected = alone.FindOrInsert(
            image.data(), alone.Locate(image.data()), alone.StoredStates() + 1);
        const std::uint32_t got = packed.FindOrInsertPacked(
            image.data(), fits ? buffer.data() : nullptr, copy.version,
            packed.Locate(image.data()), packed.StoredStates() + 1);
        ASSERT_EQ(got, expected) << "state " << m;
        ASSERT_EQ(got, m);
      }
    }
    EXPECT_EQ(packed.SlotBytes(), alone.SlotBytes());
    EXPECT_GT(packed.packing().version, 1u);  // it widened along the way
    ExpectAllFound(packed, row.states, row.image_of);
  }
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
    HybridHash store(static_cast<std::uint32_t>(row.image.size()), 0.5);
    EXPECT_EQ(store.getHashKey(row.image.data(), row.size), row.expected);
  }
}

// Markings of a few tokens leave most image bytes zero and differ in a few
// low bits; they must still spread over the table rather than pile up on
// a few probe chains.
TEST(HybridHashTest, SmallMarkingsDoNotCluster) {
  constexpr std::uint32_t kStates = 150000;
  HybridHash store(kImageSize, 0.5, 393209);
  InsertStates(store, kStates);
  // Uniform hashing at this load needs about half a probe per operation.
  EXPECT_LT(static_cast<double>(store.ProbeCount()) / (2.0 * kStates), 1.0);
  ExpectAllFound(store, kStates);
}

// A probe made by Locate before the table grew still finds the right state
// and inserts a new one where a fresh lookup finds it.
TEST(HybridHashTest, ProbeSurvivesGrowth) {
  HybridHash store(kImageSize, 0.5);
  InsertStates(store, 1000);
  const std::vector<char> stored = MarkingImage(7);
  const std::vector<char> absent = MarkingImage(70000);
  const HybridHash::Probe stored_probe = store.Locate(stored.data());
  const HybridHash::Probe absent_probe = store.Locate(absent.data());
  store.PrefetchImage(stored_probe);
  EXPECT_EQ(store.Lookup(stored.data(), stored_probe), 7u);

  InsertStates(store, 66000);
  ASSERT_GT(store.TableSize(), PrimeArray[0]);
  store.PrefetchImage(stored_probe);  // stale: must not touch the old table
  EXPECT_EQ(store.Lookup(stored.data(), stored_probe), 7u);
  EXPECT_EQ(store.Lookup(absent.data(), absent_probe), HybridHash::kNotFound);
  EXPECT_EQ(store.FindOrInsert(absent.data(), absent_probe, 66001), 66001u);
  EXPECT_EQ(store.Lookup(absent.data()), 66001u);
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
    HybridHash store(kImageSize, row.load_factor);
    InsertStates(store, row.states, row.image_of);
    EXPECT_EQ(store.SizeIndex(), row.size_index);
    EXPECT_EQ(store.TableSize(), PrimeArray[row.size_index]);
    ExpectAllFound(store, row.states, row.image_of);
    EXPECT_EQ(store.Lookup(row.image_of(row.states + 1).data()),
              HybridHash::kNotFound);
  }
}

// Past 2^24 - 1 the entries drop their hash tags and hold 32-bit numbers:
// every state stays findable, and a probe made before the drop still finds
// and inserts correctly after it.
TEST(HybridHashTest, NumbersPastTwentyFourBits) {
#ifndef NDEBUG
  GTEST_SKIP() << "16.8 million states need an optimised (Release) build";
#endif
  constexpr std::uint32_t kLastTagged = (1u << 24) - 1;
  auto image_of = [](std::uint32_t n) {
    std::vector<char> image(4);
    std::memcpy(image.data(), &n, 4);
    return image;
  };
  HybridHash store(4, 0.5);
  for (std::uint32_t n = 1; n <= kLastTagged; ++n) {
    char image[4];
    std::memcpy(image, &n, 4);
    if (store.FindOrInsert(image, n) != n) FAIL() << n;
  }
  const std::vector<char> known = image_of(kLastTagged);
  const std::vector<char> first_wide = image_of(kLastTagged + 1);
  const std::vector<char> second_wide = image_of(kLastTagged + 2);
  const HybridHash::Probe known_probe = store.Locate(known.data());
  const HybridHash::Probe second_probe = store.Locate(second_wide.data());
  EXPECT_EQ(store.FindOrInsert(first_wide.data(), kLastTagged + 1),
            kLastTagged + 1);
  EXPECT_EQ(store.FindOrInsert(known.data(), known_probe, kLastTagged + 2),
            kLastTagged);
  EXPECT_EQ(
      store.FindOrInsert(second_wide.data(), second_probe, kLastTagged + 2),
      kLastTagged + 2);
  for (std::uint32_t n :
       {1u, 2u, 65536u, 12800000u, kLastTagged, kLastTagged + 1}) {
    EXPECT_EQ(store.Lookup(image_of(n).data()), n) << n;
  }
  EXPECT_EQ(store.Lookup(second_wide.data(), second_probe), kLastTagged + 2);
  EXPECT_EQ(store.Lookup(image_of(kLastTagged + 3).data()),
            HybridHash::kNotFound);
}

TEST(HybridHashTest, NumbersEndAtTheLimit) {
  HybridHash store(kImageSize, 0.5);
  EXPECT_EQ(store.MaxStateNumber(), 4294967294u);
  store.LimitStateNumbers(3, "the test's limit");
  InsertStates(store, 3);
  // Known states are still found at the limit.
  EXPECT_EQ(store.FindOrInsert(MarkingImage(2).data(), 4), 2u);
  EXPECT_TRUE(store.failure().ok);
  // A new state past it fails, also when it changes a byte that was kept
  // once; the store then takes nothing more.
  for (const std::vector<char>& image :
       {MarkingImage(4), LateByteImage<2>(4)}) {
    HybridHash limited(kImageSize, 0.5);
    limited.LimitStateNumbers(3, "the test's limit");
    InsertStates(limited, 3);
    EXPECT_EQ(limited.FindOrInsert(image.data(), 4), HybridHash::kNotFound);
    EXPECT_FALSE(limited.failure().ok);
    EXPECT_EQ(limited.failure().message,
              "Hash:  Error:  cannot number state 4: state numbers end at 3, "
              "the test's limit\n");
    EXPECT_EQ(limited.failure().exit_code, 1);
    EXPECT_EQ(limited.FindOrInsert(MarkingImage(2).data(), 4),
              HybridHash::kNotFound);
    EXPECT_EQ(limited.StoredStates(), 3u);
  }
  EXPECT_DEATH(store.FindOrInsert(MarkingImage(9).data(), 9), "");
}

// Images whose home is the table's last slot or the one before it: their
// run of occupied slots wraps past the end to the first slots, where an
// image homed at slot 0 then has to probe past them.
TEST(HybridHashTest, ProbeRunsWrapPastTheEndOfTheTable) {
  HybridHash store(kImageSize, 0.5);
  const std::uint64_t size = store.TableSize();
  std::vector<std::vector<char>> images;
  std::uint32_t at_end = 0;
  std::uint32_t at_start = 0;
  for (std::uint32_t n = 1; at_end < 4 || at_start < 2; ++n) {
    const std::vector<char> image = MixedImage(n);
    const std::uint64_t home = store.getHashKey(image.data(), size);
    if (home >= size - 2 && at_end < 4) {
      ++at_end;
    } else if (home == 0 && at_start < 2 && at_end == 4) {
      ++at_start;
    } else {
      continue;
    }
    images.push_back(image);
  }
  for (std::uint32_t k = 0; k < static_cast<std::uint32_t>(images.size());
       ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(store.FindOrInsert(images[k].data(), k + 1), k + 1);
  }
  for (std::uint32_t k = 0; k < static_cast<std::uint32_t>(images.size());
       ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(store.Lookup(images[k].data()), k + 1);
    EXPECT_EQ(store.FindOrInsert(images[k].data(),
                                 static_cast<std::uint32_t>(images.size()) + 1),
              k + 1);
  }
  EXPECT_EQ(store.Lookup(MarkingImage(3).data()), HybridHash::kNotFound);
}

TEST(HybridHashTest, AFullTableFailsInsteadOfSearchingForever) {
  // A load factor above 1 lets the table fill before it would grow.
  HybridHash store(kImageSize, 2.0);
  std::uint32_t n = 1;
  for (; n <= 131072; ++n) {
    const std::vector<char> image = MixedImage(n);
    if (store.FindOrInsert(image.data(), n) == HybridHash::kNotFound) break;
  }
  // The probe sequence may give up a few slots short of a full table.
  EXPECT_GT(n, 131000u);
  EXPECT_LE(n, 131072u);
  EXPECT_EQ(store.failure().message,
            "Hash:  Error:  the probe sequence visited all 131071 slots of "
            "the table without finding the state or a free slot; use a load "
            "factor below 1\n");
  // Every stored state is still found.
  EXPECT_EQ(store.Lookup(MixedImage(n - 1).data()), n - 1);
  EXPECT_EQ(store.StoredStates(), n - 1);
}
