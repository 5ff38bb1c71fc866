#ifndef GEN_GENERATOR_HYBRIDHASH_H_
#define GEN_GENERATOR_HYBRIDHASH_H_

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/Status.h"

// Table sizes the store grows through, smallest first; the 0 entry ends the
// list. A store's table size is always one of these. The table is zeroed
// when allocated, so its memory is the size's, not the states': past 10^8
// slots (400 MB) each size is at most 1.5 times the one before.
// clang-format off
inline constexpr std::uint64_t PrimeArray[] = {
    131071,       393209,       786419,       1179637,      1966049,
    2752481,      4325341,      6684607,      9437101,      15335303,
    21000169,     31000303,     51000353,     71000383,     91000387,
    120000301,    160000289,    200000243,    289900001,    420300019,
    609200027,    883200001,    1280000003,   1856000051,   2690000041,
    3900000007,   4837000001,   6000000001,   7746000011,   10000000019,
    14142000023,  20000000089,  27144000047,  36840000017,  50000000021,
    70711000057,  100000000003, 0};
// clang-format on

namespace hybrid_hash_detail {
constexpr bool SizesIncrease() {
  for (int i = 0; PrimeArray[i + 1] != 0; ++i) {
    if (PrimeArray[i + 1] <= PrimeArray[i]) return false;
  }
  return true;
}
constexpr bool LargeStepsAreSmall() {
  for (int i = 0; PrimeArray[i + 1] != 0; ++i) {
    if (PrimeArray[i] >= 100000000 && 2 * PrimeArray[i + 1] > 3 * PrimeArray[i])
      return false;
  }
  return true;
}

// The home slot of a hash in a table of `size` slots: the high 32 bits
// scaled to the table (multiply and shift rather than a division, which
// costs more than the rest of the hash); tables beyond 32 bits take the
// remainder.
inline bool HomeFromHigh(std::uint64_t size) { return size <= 0xFFFFFFFFu; }

inline std::uint64_t HomeOfHigh(std::uint32_t high, std::uint64_t size) {
  return (std::uint64_t{high} * size) >> 32;
}

inline std::uint64_t HomeSlot(std::uint64_t h, std::uint64_t size) {
  if (HomeFromHigh(size))
    return HomeOfHigh(static_cast<std::uint32_t>(h >> 32), size);
  return h % size;
}

// The tag is the lowest byte of the high half, which the home slot hardly
// uses (a slot spans 256 or more of its values in tables below 2^24
// slots), so that growth finds it with the home among the stored bits.
inline std::uint32_t TagOfHigh(std::uint32_t high) {
  return (high & 0xFF) << 24;
}
}  // namespace hybrid_hash_detail
static_assert(hybrid_hash_detail::SizesIncrease(),
              "PrimeArray must list table sizes in increasing order");
static_assert(hybrid_hash_detail::LargeStepsAreSmall(),
              "past 10^8 slots a table size is at most 1.5 times the last");

// The set of states reached so far: maps a state's byte image to its number.
//
// An open-addressing table of 32-bit entries, each holding a state number
// (0 marks an empty slot); the images live outside the table in
// blocks of kBlockStates image slots, and state n sits in block
// n >> kBlockBits at slot n & (kBlockStates - 1). Blocks are allocated as
// numbers reach them; growth rewrites only the table, never the images.
// Two images are the same state exactly when they are byte-equal.
//
// While every number fits in 24 bits, an entry also keeps 8 bits of its
// image's hash above the number (a tag), so that a probe past a slot of
// another state rarely has to fetch that state's image. The first number
// that needs more bits clears the tags, once.
//
// Stored images are packed: a byte position that has held the same value
// in every state so far is kept once, in the reference image (the first
// state's), and each slot holds only the other bytes, in position order.
// Markings of small models leave most bytes constant (the high bytes of
// 16-bit places), so this about halves the images' memory. When a new
// state changes a byte kept once, every block is repacked to the wider
// slot; that happens at most once per byte of the image, mostly within the
// first few states.
//
// State numbers are handed out 1, 2, 3, ... by the caller. The largest is
// MaxStateNumber(): kMaxStateNumber unless a run sets a lower limit.
class HybridHash {
 public:
  static constexpr std::uint32_t kNotFound = 0xFFFFFFFF;
  // The largest state number a 32-bit record of the .var file carries,
  // short of the not-found mark.
  static constexpr std::uint32_t kMaxStateNumber = 0xFFFFFFFE;
  static constexpr std::uint32_t kBlockBits = 16;
  static constexpr std::uint32_t kBlockStates = 1u << kBlockBits;
  static constexpr std::uint32_t kTaggedNumberMask = 0xFFFFFF;

  // `tableSize` must be an entry of PrimeArray; the table grows to the next
  // entry when a new number reaches tableSize * loadFactor.
  HybridHash(std::uint32_t stateSize, double loadFactor,
             std::uint64_t tableSize = PrimeArray[0]);
  HybridHash(const HybridHash&) = delete;
  HybridHash& operator=(const HybridHash&) = delete;
  ~HybridHash();

  // Where the search for an image starts: its home slot in the table of a
  // given size. Stays usable across growth (the search then starts afresh).
  struct Probe {
    std::uint64_t home;
    std::uint64_t table_size;
    std::uint32_t tag;   // entry bits above the number, while tags are kept
    std::uint32_t high;  // the hash's high 32 bits, kept with a new state
  };

  // Batched lookups: Locate each image (hashes it and asks the processor
  // for its home slot), then PrefetchImage each probe (asks for the image
  // stored there), then FindOrInsert each in turn, so that the cache misses
  // of several lookups overlap.
  Probe Locate(const char* image) const { return LocateHash(Hash(image)); }
  // Locate for an image whose Hash is already known.
  Probe LocateHash(std::uint64_t hash) const {
    const Probe probe = ProbeOfHash(hash);
    if (table_ != nullptr) __builtin_prefetch(&table_[probe.home]);
    return probe;
  }
  // LocateHash without asking for the slot: for a lookup whose slot and
  // image were prefetched before. Inline, as Locate and LocateHash are: a
  // probe returned through memory is written field by field and read back
  // whole, which the processor cannot forward from its stores.
  Probe ProbeOfHash(std::uint64_t hash) const {
    const auto high = static_cast<std::uint32_t>(hash >> 32);
    return Probe{hybrid_hash_detail::HomeSlot(hash, table_size_), table_size_,
                 number_mask_ == kTaggedNumberMask
                     ? hybrid_hash_detail::TagOfHigh(high)
                     : 0,
                 high};
  }
  void PrefetchImage(const Probe& probe) const;

  // One walk of the probe sequence of `image` (stateSize bytes) from
  // `probe` (Locate's, for this image): returns the number stored for the
  // image, or stores a copy of it under `next_number` and returns
  // `next_number`. Numbers must arrive as 1, 2, 3, ...: `next_number` is
  // one more than the number stored last. Returns kNotFound when the state
  // cannot be stored (a number above MaxStateNumber(), a full table, no
  // memory); failure() then says why, and the store takes nothing more.
  std::uint32_t FindOrInsert(const char* image, const Probe& probe,
                             std::uint32_t next_number);
  std::uint32_t FindOrInsert(const char* image, std::uint32_t next_number);
  // The number stored for `image`, or kNotFound.
  std::uint32_t Lookup(const char* image) const;
  std::uint32_t Lookup(const char* image, const Probe& probe) const;

  // How the store packs an image: the bytes kept once (those of
  // `reference` where `kept` is 0xFF) and the positions stored, increasing.
  // `version` changes whenever the packing does (0: no state stored yet).
  // A copy held by another thread packs images exactly as the store does
  // as long as its version is the store's.
  struct Packing {
    std::uint64_t version = 0;
    std::vector<char> reference;
    std::vector<unsigned char> kept;
    std::vector<std::uint32_t> stored;

    // Bytes of a packed image.
    std::size_t Width() const { return stored.size(); }
    // Writes the stored bytes of `image` to `packed` (Width() bytes);
    // false when `image` differs from the reference at a byte kept once
    // (no stored state equals it then) or no state is stored yet.
    bool Pack(const char* image, char* packed) const;
  };
  const Packing& packing() const { return packing_; }

  // FindOrInsert for an image that a copy of packing() packed into
  // `packed`: the store then compares and stores those bytes without
  // packing the image again. `version` is the copy's; when it is not the
  // store's, or `packed` is null (Pack returned false), the image is packed
  // here as by FindOrInsert.
  std::uint32_t FindOrInsertPacked(const char* image, const char* packed,
                                   std::uint64_t version, const Probe& probe,
                                   std::uint32_t next_number);

  // Writes the image of the stored state `number` (1..StoredStates()) to
  // `image` (stateSize bytes). The images stay after ReleaseTable.
  void Unpack(std::uint32_t number, char* image) const;

  // Ok, or why the store failed: the message that ends the run.
  const Status& failure() const { return failure_; }

  // Frees the table at the end of generation (table size 0 afterwards);
  // the stored images stay until destruction. No lookup or insert after it.
  void ReleaseTable();

  // Lowers the largest state number to `max_number` (at most
  // kMaxStateNumber); numbering past it fails with a message that ends
  // with `reason`, which says why the run is limited.
  void LimitStateNumbers(std::uint32_t max_number, std::string reason);

  // The home slot of `image` in a table of `size` slots: a 64-bit hash of
  // the image's bytes (8-byte little-endian words, each folded in with a
  // multiply and shift, then a final avalanche) scaled to the table. Every
  // byte affects every bit, so images of small markings, mostly zero bytes,
  // spread over the table.
  std::uint64_t getHashKey(const char* image, std::uint64_t size) const;
  // The 64-bit hash behind the home slot. Depends on the state size only,
  // so any thread may call it while another uses the store.
  std::uint64_t Hash(const char* image) const;

  std::uint64_t TableSize() const { return table_size_; }
  std::uint32_t SizeIndex() const { return size_index_; }
  std::uint32_t StoredStates() const { return last_number_; }
  std::size_t BlockCount() const { return blocks_.size(); }
  // Bytes a stored image takes in its block (the packed width).
  std::uint32_t SlotBytes() const {
    return static_cast<std::uint32_t>(packing_.Width());
  }
  std::uint32_t MaxStateNumber() const { return max_number_; }
  // Slots visited past the home slot, over all lookups, inserts and
  // rehashes: a measure of clustering.
  std::uint64_t ProbeCount() const { return probe_count_; }

 private:
  struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
  };
  using Table = std::unique_ptr<std::uint32_t[], FreeDeleter>;
  // A zeroed table of `size` entries, or null when out of memory.
  static Table AllocateTable(std::uint64_t size);

  const char* StoredImage(std::uint32_t number) const {
    return blocks_[number >> kBlockBits].get() +
           static_cast<std::size_t>(number & (kBlockStates - 1)) *
               packing_.Width();
  }
  // The home slot and tag of `image` in the current table.
  Probe MakeProbe(const char* image) const;
  // Whether `probe` still gives the home slot and tag in this table.
  bool Current(const Probe& probe) const;
  // Packs `image` into packed_query_; false when it differs from the
  // reference at a byte kept once (then no stored state equals it).
  bool PackQuery(const char* image) const;
  // The slot holding the state packed as `packed` (whose image is
  // `image`), or the empty slot ending its probe sequence; `found` tells
  // which. kNoSlot when the sequence visits every slot without either.
  std::uint64_t Walk(const char* image, const char* packed, const Probe& probe,
                     bool& found) const;
  // FindOrInsert's search and insertion of a packed image.
  std::uint32_t Place(const char* image, const char* packed, const Probe& probe,
                      std::uint32_t next_number);
  // Drops the tags from every entry, for numbers past 24 bits.
  void DropTags();
  // The steps that can fail return false after noting why in failure_.
  bool Rehash();
  // Makes every byte position where `image` differs from the reference a
  // stored one and repacks the blocks.
  bool Widen(const char* image);
  bool AddBlock();
  // Notes why the store failed and returns kNotFound.
  std::uint32_t Fail(std::string message);
  std::uint32_t LimitReached(std::uint32_t number);
  std::uint32_t ProbeExhausted();
  std::uint32_t OutOfMemory();

  static constexpr std::uint64_t kNoSlot = ~std::uint64_t{0};

  Table table_;
  std::uint64_t table_size_;
  std::uint32_t size_index_ = 0;
  std::uint32_t state_size_;
  double load_factor_;
  std::uint32_t last_number_ = 0;
  // Entry bits that hold the number: 24 while tags are kept, then 32.
  std::uint32_t number_mask_ = kTaggedNumberMask;
  std::uint32_t max_number_ = kMaxStateNumber;
  std::string limit_reason_;
  // Block k holds numbers k << kBlockBits and up, each in
  // packing_.Width() bytes.
  std::vector<std::unique_ptr<char[]>> blocks_;
  // Beside each block, the high 32 bits of each of its states' hashes:
  // growth places every state from them alone, without unpacking and
  // hashing its image. Freed with the table.
  std::vector<std::unique_ptr<std::uint32_t[]>> high_blocks_;
  Packing packing_;
  mutable std::vector<char> packed_query_;
  std::vector<char> scratch_;
  mutable std::uint64_t probe_count_ = 0;
  Status failure_;
};

#endif  // GEN_GENERATOR_HYBRIDHASH_H_
