#include "generator/HybridHash.h"

#include <cstring>
#include <iostream>
#include <new>
#include <string>

#include "framework/Contract.h"
#include "framework/Fatal.h"

namespace {

constexpr std::uint32_t kBlockShift = 24;
constexpr std::uint32_t kNumberMask = (1u << kBlockShift) - 1;
constexpr std::uint32_t kChunkBytes = 5;

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

// A byte takes part as a signed value widened to 32 bits: 0xFF gives
// 0xFFFFFFFF.
inline std::uint32_t Widen(char byte) {
  return static_cast<std::uint32_t>(
      static_cast<std::int32_t>(static_cast<signed char>(byte)));
}

// key mod size for a 32-bit key; a 32-bit division whenever size allows it.
inline std::uint32_t Reduce(std::uint32_t key, std::uint64_t size) {
  if (size > 0xFFFFFFFFu) return key;
  return key % static_cast<std::uint32_t>(size);
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
      load_factor_(loadFactor),
      tempsumarray_(stateSize / kChunkBytes + 1, 0) {
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
  const std::uint32_t chunks = (state_size_ + kChunkBytes - 1) / kChunkBytes;
  if (chunks == 0) return 0;
  std::uint32_t* keys = tempsumarray_.data();
  std::uint32_t nonzero = 0;
  std::uint32_t remaining = state_size_;
  for (std::uint32_t j = 0; j < chunks; ++j) {
    const std::uint32_t length =
        remaining < kChunkBytes ? remaining : kChunkBytes;
    std::uint32_t key = 0;
    for (std::uint32_t k = 0; k < length; ++k)
      key = (key << 5) ^ Widen(image[k]);
    image += length;
    remaining -= length;
    keys[j] = key;
    nonzero += key != 0 ? 1 : 0;
  }
  // The last chunk, which may be short, does not choose the multiplier.
  if (keys[chunks - 1] != 0) --nonzero;

  std::uint32_t multiplier = 16;
  if (nonzero > 16) {
    multiplier = 1;
  } else if (nonzero > 8) {
    multiplier = 2;
  } else if (nonzero > 4) {
    multiplier = 4;
  } else if (nonzero > 2) {
    multiplier = 8;
  }

  std::uint32_t h = 0;
  for (std::uint32_t j = 0; j < chunks; ++j) {
    if (keys[j] != 0) h = (h * multiplier) ^ Reduce(keys[j], size);
  }
  return Reduce(h, size);
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
  const std::uint64_t step = ProbeStep(size_index_);
  std::uint64_t slot = getHashKey(image, table_size_);
  std::uint64_t distance = 1;
  for (std::uint64_t visited = 1;; ++visited) {
    const std::uint32_t entry = table_[slot];
    if (entry == 0) return kNotFound;
    if (std::memcmp(StoredImage(entry), image, state_size_) == 0)
      return entry & kNumberMask;
    if (visited == table_size_) ProbeExhausted(table_size_);
    NextSlot(slot, distance, step, table_size_);
    ++probe_count_;
  }
}

std::uint64_t HybridHash::FindEmptySlot(const std::uint32_t* table,
                                        std::uint64_t size,
                                        std::uint32_t size_index,
                                        const char* image) const {
  const std::uint64_t step = ProbeStep(size_index);
  std::uint64_t slot = getHashKey(image, size);
  std::uint64_t distance = 1;
  for (std::uint64_t visited = 1; table[slot] != 0; ++visited) {
    if (visited == size) ProbeExhausted(size);
    NextSlot(slot, distance, step, size);
    ++probe_count_;
  }
  return slot;
}

void HybridHash::Insert(const char* image, std::uint32_t stateNumber) {
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

  const std::uint64_t slot =
      FindEmptySlot(table_.get(), table_size_, size_index_, image);
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
    const std::uint64_t slot =
        FindEmptySlot(new_table.get(), new_size, new_index, StoredImage(entry));
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
