#include "generator/HybridHash.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "base/Contract.h"

namespace {

// Moves `slot` to the next slot of the probe sequence: the adjacent one,
// wrapping at the end. A probe past the home slot then mostly stays in the
// cache line already fetched, where a sequence with long strides costs a
// cache miss (and often a TLB miss) per probe; the 8-bit tags keep the
// longer runs of linear probing cheap to pass.
inline void NextSlot(std::uint64_t& slot, std::uint64_t size) {
  if (++slot == size) slot = 0;
}

// Little-endian word of `length` (1..8) bytes starting at `bytes`, zero
// padded; the same value on every host.
inline std::uint64_t Word(const unsigned char* bytes, std::uint32_t length) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, length);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

// One round per 8-byte word, then a final avalanche (the 64-bit finaliser
// of MurmurHash3), so that every byte affects every bit of the result.
constexpr std::uint64_t kSeed = 0x243F6A8885A308D3u;
constexpr std::uint64_t kWordMultiplier = 0xBF58476D1CE4E5B9u;

inline std::uint64_t MixWord(std::uint64_t h, std::uint64_t word) {
  h = (h ^ word) * kWordMultiplier;
  return h ^ (h >> 31);
}

inline std::uint64_t Avalanche(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDu;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53u;
  return h ^ (h >> 33);
}

// Byte equality of two images, 8 bytes at a time: cheaper than a library
// call for the few dozen bytes of a state.
inline bool SameImage(const char* a, const char* b, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  return i == size || std::memcmp(a + i, b + i, size - i) == 0;
}

}  // namespace

HybridHash::HybridHash(std::uint32_t stateSize, double loadFactor,
                       std::uint64_t tableSize)
    : table_size_(tableSize),
      state_size_(stateSize),
      load_factor_(loadFactor),
      scratch_(stateSize) {
  packing_.reference.resize(stateSize);
  packing_.kept.assign(stateSize, 0xFF);
  GEN_CHECK(stateSize > 0);
  GEN_CHECK(loadFactor > 0.0);
  while (PrimeArray[size_index_] != 0 && PrimeArray[size_index_] != tableSize)
    ++size_index_;
  GEN_CHECK(PrimeArray[size_index_] == tableSize);
  table_ = AllocateTable(table_size_);
  if (!table_) Fail("Error:  TempHashTable not allocated\n");
}

HybridHash::~HybridHash() = default;

HybridHash::Table HybridHash::AllocateTable(std::uint64_t size) {
  // Lookups touch the table at random: on 2 MiB pages a large table costs
  // far fewer TLB misses. The zeros are written here rather than left to
  // calloc's zero pages: the first write to such a page (the first insert
  // there) faults again to copy it and flushes every thread's TLB.
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  const std::size_t bytes = size * sizeof(std::uint32_t);
  const bool huge = bytes >= kHugePage;
  const std::size_t rounded =
      huge ? (bytes + kHugePage - 1) / kHugePage * kHugePage : bytes;
  void* memory =
      huge ? std::aligned_alloc(kHugePage, rounded) : std::malloc(rounded);
  if (memory == nullptr) return Table();
#ifdef MADV_HUGEPAGE
  if (huge) (void)madvise(memory, rounded, MADV_HUGEPAGE);
#endif
  std::memset(memory, 0, rounded);
  return Table(static_cast<std::uint32_t*>(memory));
}

void HybridHash::LimitStateNumbers(std::uint32_t max_number,
                                   std::string reason) {
  GEN_CHECK(max_number <= kMaxStateNumber && max_number >= last_number_);
  max_number_ = max_number;
  limit_reason_ = std::move(reason);
}

std::uint32_t HybridHash::Fail(std::string message) {
  if (failure_.ok) failure_ = Status::Error(std::move(message));
  return kNotFound;
}

std::uint32_t HybridHash::LimitReached(std::uint32_t number) {
  return Fail("Hash:  Error:  cannot number state " + std::to_string(number) +
              ": state numbers end at " + std::to_string(max_number_) +
              (limit_reason_.empty()
                   ? ", the largest a 32-bit record of the .var file carries"
                   : ", " + limit_reason_) +
              "\n");
}

std::uint32_t HybridHash::ProbeExhausted() {
  return Fail("Hash:  Error:  the probe sequence visited all " +
              std::to_string(table_size_) +
              " slots of the table without finding the state or a free "
              "slot; use a load factor below 1\n");
}

std::uint32_t HybridHash::OutOfMemory() {
  return Fail("Error:  Unable to allocate memory\n");
}

using hybrid_hash_detail::HomeFromHigh;
using hybrid_hash_detail::HomeOfHigh;
using hybrid_hash_detail::HomeSlot;
using hybrid_hash_detail::TagOfHigh;

std::uint64_t HybridHash::getHashKey(const char* image,
                                     std::uint64_t size) const {
  return HomeSlot(Hash(image), size);
}

std::uint64_t HybridHash::Hash(const char* image) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(image);
  std::uint64_t h = kSeed ^ state_size_;
  std::uint32_t offset = 0;
  for (; offset + 8 <= state_size_; offset += 8) {
    h = MixWord(h, Word(bytes + offset, 8));
  }
  if (offset < state_size_) {
    h = MixWord(h, Word(bytes + offset, state_size_ - offset));
  }
  return Avalanche(h);
}

bool HybridHash::Current(const Probe& probe) const {
  // A probe made before the table grew, or before the tags were dropped,
  // is stale.
  return probe.table_size == table_size_ && (probe.tag & number_mask_) == 0;
}

HybridHash::Probe HybridHash::MakeProbe(const char* image) const {
  const std::uint64_t h = Hash(image);
  return ProbeOfHash(h);
}

void HybridHash::PrefetchImage(const Probe& probe) const {
  if (table_ == nullptr || probe.table_size != table_size_) return;
  const std::uint32_t entry = table_[probe.home];
  if (entry != 0 && (entry & ~number_mask_) == probe.tag)
    __builtin_prefetch(StoredImage(entry & number_mask_));
}

bool HybridHash::PackQuery(const char* image) const {
  return packing_.Pack(image, packed_query_.data());
}

bool HybridHash::Packing::Pack(const char* image, char* packed) const {
  if (version == 0) return false;
  const unsigned char* mask = kept.data();
  const char* ref = reference.data();
  const std::size_t size = reference.size();
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t x = 0;
    std::uint64_t r = 0;
    std::uint64_t m = 0;
    std::memcpy(&x, image + i, 8);
    std::memcpy(&r, ref + i, 8);
    std::memcpy(&m, mask + i, 8);
    if (((x ^ r) & m) != 0) return false;
  }
  for (; i < size; ++i) {
    if (mask[i] != 0 && image[i] != ref[i]) return false;
  }
  for (const std::uint32_t position : stored) *packed++ = image[position];
  return true;
}

std::uint64_t HybridHash::Walk(const char* image, const char* packed,
                               const Probe& probe, bool& found) const {
  const std::size_t width = packing_.Width();
  const Probe fresh = Current(probe) ? probe : MakeProbe(image);
  std::uint64_t slot = fresh.home;
  for (std::uint64_t visited = 1;; ++visited) {
    const std::uint32_t entry = table_[slot];
    if (entry == 0) {
      found = false;
      return slot;
    }
    if ((entry & ~number_mask_) == fresh.tag &&
        SameImage(StoredImage(entry & number_mask_), packed, width)) {
      found = true;
      return slot;
    }
    if (visited == table_size_) return kNoSlot;
    NextSlot(slot, table_size_);
    ++probe_count_;
  }
}

void HybridHash::DropTags() {
  for (std::uint64_t slot = 0; slot < table_size_; ++slot) {
    table_[slot] &= kTaggedNumberMask;
  }
  number_mask_ = 0xFFFFFFFF;
}

std::uint32_t HybridHash::Lookup(const char* image) const {
  GEN_CHECK(table_ != nullptr);
  return Lookup(image, MakeProbe(image));
}

std::uint32_t HybridHash::Lookup(const char* image, const Probe& probe) const {
  GEN_CHECK(table_ != nullptr);
  if (last_number_ == 0 || !PackQuery(image)) return kNotFound;
  bool found = false;
  const std::uint64_t slot = Walk(image, packed_query_.data(), probe, found);
  return found && slot != kNoSlot ? table_[slot] & number_mask_ : kNotFound;
}

std::uint32_t HybridHash::FindOrInsert(const char* image,
                                       std::uint32_t next_number) {
  return FindOrInsert(image, MakeProbe(image), next_number);
}

std::uint32_t HybridHash::FindOrInsert(const char* image, const Probe& probe,
                                       std::uint32_t next_number) {
  if (!failure_.ok) return kNotFound;
  GEN_CHECK(table_ != nullptr);
  GEN_CHECK(next_number == last_number_ + 1);
  if (last_number_ == 0) {
    std::memcpy(packing_.reference.data(), image, state_size_);
    packing_.version = 1;
  } else if (!PackQuery(image)) {
    // A byte kept once has changed: the state is new.
    if (next_number > max_number_) return LimitReached(next_number);
    if (!Widen(image)) return kNotFound;
    PackQuery(image);
  }
  return Place(image, packed_query_.data(), probe, next_number);
}

std::uint32_t HybridHash::FindOrInsertPacked(const char* image,
                                             const char* packed,
                                             std::uint64_t version,
                                             const Probe& probe,
                                             std::uint32_t next_number) {
  if (packed == nullptr || version != packing_.version || !failure_.ok) {
    return FindOrInsert(image, probe, next_number);
  }
  GEN_CHECK(table_ != nullptr);
  GEN_CHECK(next_number == last_number_ + 1);
  return Place(image, packed, probe, next_number);
}

std::uint32_t HybridHash::Place(const char* image, const char* packed,
                                const Probe& probe, std::uint32_t next_number) {
  bool found = false;
  std::uint64_t slot = Walk(image, packed, probe, found);
  if (found) return table_[slot] & number_mask_;

  if (next_number > max_number_) return LimitReached(next_number);
  const bool grow = static_cast<double>(next_number) >=
                    static_cast<double>(table_size_) * load_factor_;
  const bool untagged =
      next_number > kTaggedNumberMask && number_mask_ == kTaggedNumberMask;
  const bool add_block = (next_number >> kBlockBits) >= blocks_.size();
  if (grow || untagged || add_block) {
    if (grow && !Rehash()) return kNotFound;
    if (untagged) DropTags();
    if (add_block && !AddBlock()) return kNotFound;
  }
  const Probe fresh = Current(probe) ? probe : MakeProbe(image);
  if (grow || untagged) slot = Walk(image, packed, fresh, found);
  if (slot == kNoSlot) return ProbeExhausted();
  // While every state is alike there is nothing to store (and no buffer).
  const std::size_t width = packing_.Width();
  if (width != 0) {
    std::memcpy(
        blocks_[next_number >> kBlockBits].get() +
            static_cast<std::size_t>(next_number & (kBlockStates - 1)) * width,
        packed, width);
  }
  high_blocks_[next_number >> kBlockBits][next_number & (kBlockStates - 1)] =
      fresh.high;
  table_[slot] = next_number | fresh.tag;
  last_number_ = next_number;
  return next_number;
}

void HybridHash::Unpack(std::uint32_t number, char* image) const {
  GEN_CHECK(number >= 1 && number <= last_number_);
  std::memcpy(image, packing_.reference.data(), state_size_);
  const char* packed = StoredImage(number);
  for (const std::uint32_t position : packing_.stored) {
    image[position] = *packed++;
  }
}

bool HybridHash::Rehash() {
  const std::uint32_t new_index = size_index_ + 1;
  const std::uint64_t new_size = PrimeArray[new_index];
  if (new_size == 0) {
    Fail(
        "Hash:  Error:  allocate more memory for Hash Table. Previous size "
        "was " +
        std::to_string(table_size_) + "\n");
    return false;
  }
  // The table holds nothing but the numbers 1..last_number_, so it is freed
  // before its successor is allocated (the two never coexist) and the new
  // one is filled in number order, reading the blocks front to back.
  table_.reset();
  table_ = AllocateTable(new_size);
  if (!table_) {
    Fail("Error:  TempHashTable not allocated\n");
    return false;
  }
  table_size_ = new_size;
  size_index_ = new_index;
  // Homes of a batch of states are hashed and fetched first, so that the
  // table misses of the batch overlap.
  constexpr std::uint32_t kBatch = 16;
  std::uint64_t homes[kBatch];
  std::uint32_t tags[kBatch];
  for (std::uint64_t first = 1; first <= last_number_; first += kBatch) {
    const auto count = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(kBatch, last_number_ - first + 1));
    for (std::uint32_t i = 0; i < count; ++i) {
      const auto number = static_cast<std::uint32_t>(first + i);
      const std::uint32_t high =
          high_blocks_[number >> kBlockBits][number & (kBlockStates - 1)];
      if (HomeFromHigh(table_size_)) {
        homes[i] = HomeOfHigh(high, table_size_);
      } else {
        Unpack(number, scratch_.data());
        const std::uint64_t h = Hash(scratch_.data());
        homes[i] = HomeSlot(h, table_size_);
      }
      tags[i] = number_mask_ == kTaggedNumberMask ? TagOfHigh(high) : 0;
      __builtin_prefetch(&table_[homes[i]]);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint64_t slot = homes[i];
      // The new table is larger than the states it takes, so every
      // sequence meets a free slot.
      for (std::uint64_t visited = 1; table_[slot] != 0; ++visited) {
        GEN_CHECK(visited < table_size_);
        NextSlot(slot, table_size_);
        ++probe_count_;
      }
      table_[slot] = static_cast<std::uint32_t>(first + i) | tags[i];
    }
  }
  return true;
}

bool HybridHash::Widen(const char* image) {
  std::vector<std::uint32_t> varying;
  // For each new slot byte: the old slot byte it comes from, or -1 for a
  // byte that was kept once in the reference.
  std::vector<std::int64_t> source;
  std::size_t old_index = 0;
  for (std::uint32_t position = 0; position < state_size_; ++position) {
    if (packing_.kept[position] == 0) {
      varying.push_back(position);
      source.push_back(static_cast<std::int64_t>(old_index++));
    } else if (image[position] != packing_.reference[position]) {
      varying.push_back(position);
      source.push_back(-1);
      packing_.kept[position] = 0;
    }
  }
  const std::size_t old_width = packing_.Width();
  const std::size_t width = varying.size();
  // One block at a time, so that at most one extra block is held.
  for (std::size_t block = 0; block < blocks_.size(); ++block) {
    std::unique_ptr<char[]> wide(new (std::nothrow) char[kBlockStates * width]);
    if (!wide) {
      OutOfMemory();
      return false;
    }
    const std::uint64_t first = std::max<std::uint64_t>(block << kBlockBits, 1);
    const std::uint64_t last =
        std::min<std::uint64_t>(((block + 1) << kBlockBits) - 1, last_number_);
    for (std::uint64_t number = first; number <= last; ++number) {
      const std::size_t slot = number & (kBlockStates - 1);
      const char* from = blocks_[block].get() + slot * old_width;
      char* to = wide.get() + slot * width;
      for (std::size_t j = 0; j < width; ++j) {
        to[j] =
            source[j] < 0 ? packing_.reference[varying[j]] : from[source[j]];
      }
    }
    blocks_[block] = std::move(wide);
  }
  packing_.stored = std::move(varying);
  ++packing_.version;
  packed_query_.resize(width);
  return true;
}

bool HybridHash::AddBlock() {
  GEN_CHECK(blocks_.size() <= (kMaxStateNumber >> kBlockBits));
  // Not zeroed: a slot is written before it is read, and untouched pages of
  // the last block cost no memory.
  std::unique_ptr<char[]> block(
      new (std::nothrow) char[kBlockStates *
                              std::max<std::size_t>(packing_.Width(), 1)]);
  if (!block) {
    OutOfMemory();
    return false;
  }
  std::unique_ptr<std::uint32_t[]> highs(new (std::nothrow)
                                             std::uint32_t[kBlockStates]);
  if (!highs) {
    OutOfMemory();
    return false;
  }
  blocks_.push_back(std::move(block));
  high_blocks_.push_back(std::move(highs));
  return true;
}

void HybridHash::ReleaseTable() {
  table_.reset();
  high_blocks_.clear();
  table_size_ = 0;
}
