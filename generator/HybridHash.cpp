#include "generator/HybridHash.h"

#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "base/Contract.h"
#include "base/Fatal.h"

namespace {

constexpr std::uint32_t kBlockShift = 24;
constexpr std::uint32_t kNumberMask = (1u << kBlockShift) - 1;

std::uint64_t ProbeStep(std::uint32_t size_index) {
  return (static_cast<std::uint64_t>(size_index) + 1) * 1024;
}

// Moves `slot` one step along the probe sequence. The distance grows by one
// step per probe and starts again at one step after each wrap past the end.
// The sizes in PrimeArray are far larger than any distance reached before a
// wrap, so one subtraction brings the slot back into the table.
inline void NextSlot(std::uint64_t& slot, std::uint64_t& distance,
                     std::uint64_t step, std::uint64_t size) {
  slot += distance * step;
  if (slot >= size) {
    slot -= size;
    distance = 1;
  } else {
    ++distance;
  }
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
inline bool SameImage(const char* a, const char* b, std::uint32_t size) {
  std::uint32_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) return false;
  }
  return i == size || std::memcmp(a + i, b + i, size - i) == 0;
}

std::unique_ptr<std::uint32_t[]> NewZeroedTable(std::uint64_t size) {
  return std::unique_ptr<std::uint32_t[]>(new (std::nothrow)
                                              std::uint32_t[size]());
}

}  // namespace

HybridHash::HybridHash(std::uint32_t stateSize, std::uint64_t tableSize,
                       std::uint32_t blockSize, std::uint32_t maxBlocks,
                       double loadFactor)
    : table_size_(tableSize),
      blocks_(maxBlocks),
      state_size_(stateSize),
      block_size_(blockSize),
      max_blocks_(maxBlocks),
      load_factor_(loadFactor) {
  GEN_CHECK(blockSize > 0);
  GEN_CHECK(maxBlocks > 0 && maxBlocks <= 256);
  while (PrimeArray[size_index_] != 0 && PrimeArray[size_index_] != tableSize)
    ++size_index_;
  GEN_CHECK(PrimeArray[size_index_] == tableSize);

  // An entry keeps 24 bits for the number, and the blocks end at
  // maxBlocks * blockSize.
  const std::uint64_t last_slot =
      static_cast<std::uint64_t>(maxBlocks) * blockSize - 1;
  max_state_number_ = static_cast<std::uint32_t>(
      last_slot < kNumberMask ? last_slot : kNumberMask);

  table_ = NewZeroedTable(table_size_);
  if (!table_) FatalError(std::cerr, "Error:  TempHashTable not allocated\n");
  blocks_[0].reset(
      new (std::nothrow) char[static_cast<std::size_t>(block_size_) *
                              state_size_]());
  if (!blocks_[0]) FatalError(std::cerr, "Error:  Unable to allocate memory\n");
}

HybridHash::~HybridHash() = default;

const char* HybridHash::StoredImage(std::uint32_t entry) const {
  const std::uint32_t block = entry >> kBlockShift;
  const std::uint32_t slot = (entry & kNumberMask) - block * block_size_;
  return blocks_[block].get() + static_cast<std::size_t>(slot) * state_size_;
}

std::uint64_t HybridHash::getHashKey(const char* image,
                                     std::uint64_t size) const {
  const auto* bytes = reinterpret_cast<const unsigned char*>(image);
  std::uint64_t h = kSeed ^ state_size_;
  std::uint32_t offset = 0;
  for (; offset + 8 <= state_size_; offset += 8) {
    h = MixWord(h, Word(bytes + offset, 8));
  }
  if (offset < state_size_) {
    h = MixWord(h, Word(bytes + offset, state_size_ - offset));
  }
  h = Avalanche(h);
  // The high 32 bits scaled to the table (multiply and shift rather than a
  // division, which costs more than the rest of the hash); tables beyond 32
  // bits take the remainder.
  if (size <= 0xFFFFFFFFu) return ((h >> 32) * size) >> 32;
  return h % size;
}

void HybridHash::ProbeExhausted(std::uint64_t size) const {
  FatalError(std::cerr,
             "Hash:  Error:  the probe sequence visited all " +
                 std::to_string(size) +
                 " slots of the table without finding the state or a free "
                 "slot; use a load factor below 1\n");
}

std::uint32_t HybridHash::Lookup(const char* image) const {
  GEN_CHECK(table_ != nullptr);
  return Lookup(image, Probe{getHashKey(image, table_size_), table_size_});
}

HybridHash::Probe HybridHash::Locate(const char* image) const {
  GEN_CHECK(table_ != nullptr);
  const Probe probe{getHashKey(image, table_size_), table_size_};
  __builtin_prefetch(&table_[probe.home]);
  return probe;
}

void HybridHash::PrefetchImage(const Probe& probe) const {
  if (probe.table_size != table_size_) return;
  const std::uint32_t entry = table_[probe.home];
  if (entry != 0) __builtin_prefetch(StoredImage(entry));
}

std::uint32_t HybridHash::Lookup(const char* image, const Probe& probe) const {
  GEN_CHECK(table_ != nullptr);
  const std::uint64_t step = ProbeStep(size_index_);
  // A probe made before the table grew starts from the new home slot.
  std::uint64_t slot = probe.table_size == table_size_
                           ? probe.home
                           : getHashKey(image, table_size_);
  std::uint64_t distance = 1;
  for (std::uint64_t visited = 1;; ++visited) {
    const std::uint32_t entry = table_[slot];
    if (entry == 0) return kNotFound;
    if (SameImage(StoredImage(entry), image, state_size_))
      return entry & kNumberMask;
    if (visited == table_size_) ProbeExhausted(table_size_);
    NextSlot(slot, distance, step, table_size_);
    ++probe_count_;
  }
}

std::uint64_t HybridHash::FindEmptySlot(const std::uint32_t* table,
                                        std::uint64_t size,
                                        std::uint32_t size_index,
                                        std::uint64_t home) const {
  const std::uint64_t step = ProbeStep(size_index);
  std::uint64_t slot = home;
  std::uint64_t distance = 1;
  for (std::uint64_t visited = 1; table[slot] != 0; ++visited) {
    if (visited == size) ProbeExhausted(size);
    NextSlot(slot, distance, step, size);
    ++probe_count_;
  }
  return slot;
}

std::uint32_t HybridHash::FindOrInsert(const char* image, const Probe& probe,
                                       std::uint32_t next_number) {
  const std::uint32_t number = Lookup(image, probe);
  if (number != kNotFound) return number;
  Insert(image, next_number, probe);
  return next_number;
}

void HybridHash::Insert(const char* image, std::uint32_t stateNumber) {
  Insert(image, stateNumber, Probe{0, 0});
}

void HybridHash::Insert(const char* image, std::uint32_t stateNumber,
                        const Probe& probe) {
  GEN_CHECK(table_ != nullptr);
  if (stateNumber == 0 || stateNumber > max_state_number_) {
    FatalError(std::cerr, "Hash:  Error:  state number " +
                              std::to_string(stateNumber) + " is outside 1.." +
                              std::to_string(max_state_number_) +
                              ", the states the store can hold\n");
  }
  if (static_cast<double>(stateNumber) >=
      static_cast<double>(table_size_) * load_factor_) {
    Rehash();
  }
  while (stateNumber >=
         (static_cast<std::uint64_t>(current_block_) + 1) * block_size_) {
    AddArray();
  }
  // Numbers arrive in increasing order, so the slot lies in the current
  // block; anything else would overwrite another state's image.
  const std::uint64_t first =
      static_cast<std::uint64_t>(current_block_) * block_size_;
  GEN_CHECK(stateNumber >= first);

  // A probe from before growth (or none) does not give the home slot.
  const std::uint64_t home = probe.table_size == table_size_
                                 ? probe.home
                                 : getHashKey(image, table_size_);
  const std::uint64_t slot =
      FindEmptySlot(table_.get(), table_size_, size_index_, home);
  table_[slot] = stateNumber + (current_block_ << kBlockShift);
  std::memcpy(
      blocks_[current_block_].get() + (stateNumber - first) * state_size_,
      image, state_size_);
}

void HybridHash::Rehash() {
  const std::uint32_t new_index = size_index_ + 1;
  const std::uint64_t new_size = PrimeArray[new_index];
  if (new_size == 0) {
    FatalError(std::cerr,
               "Hash:  Error:  allocate more memory for Hash Table. Previous "
               "size was " +
                   std::to_string(table_size_) + "\n");
  }
  if (new_size < table_size_) {
    FatalError(std::cerr,
               "Hash:  Error, there is a typo in the Hash Table, check .h "
               "file\n");
  }
  std::unique_ptr<std::uint32_t[]> new_table = NewZeroedTable(new_size);
  if (!new_table)
    FatalError(std::cerr, "Error:  TempHashTable not allocated\n");

  // Only the entries move; each image is hashed where it is stored.
  for (std::uint64_t old_slot = 0; old_slot < table_size_; ++old_slot) {
    const std::uint32_t entry = table_[old_slot];
    if (entry == 0) continue;
    const char* image = StoredImage(entry);
    const std::uint64_t slot = FindEmptySlot(
        new_table.get(), new_size, new_index, getHashKey(image, new_size));
    new_table[slot] = entry;
  }
  table_ = std::move(new_table);
  table_size_ = new_size;
  size_index_ = new_index;
}

void HybridHash::AddArray() {
  GEN_CHECK(current_block_ + 1 < max_blocks_);
  ++current_block_;
  blocks_[current_block_].reset(
      new (std::nothrow) char[static_cast<std::size_t>(block_size_) *
                              state_size_]());
  if (!blocks_[current_block_])
    FatalError(std::cerr, "Error:  Unable to allocate memory\n");
}

void HybridHash::ReleaseTable() {
  table_.reset();
  table_size_ = 0;
}
