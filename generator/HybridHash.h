#ifndef GEN_GENERATOR_HYBRIDHASH_H_
#define GEN_GENERATOR_HYBRIDHASH_H_

#include <cstdint>
#include <memory>
#include <vector>

// Table sizes the store grows through, smallest first; the 0 entry ends the
// list. A store's table size is always one of these.
inline constexpr std::uint64_t PrimeArray[25] = {
    131071,      393209,      786419,      1179637,      1966049,
    2752481,     4325341,     6684607,     9437101,      15335303,
    21000169,    31000303,    51000353,    71000383,     91000387,
    120000301,   160000289,   200000243,   3900000007,   6000000001,
    10000000019, 20000000089, 50000000021, 100000000003, 0};

// The set of states reached so far: maps a state's byte image to its number.
//
// An open-addressing table of 32-bit entries, number + (block << 24), whose
// images live outside the table in blocks of `blockSize` image slots. Growth
// rewrites only the table; a stored image never moves. Two images are the
// same state exactly when they are byte-equal.
//
// State numbers must be inserted in increasing order 1, 2, 3, ...; block k
// holds the numbers k * blockSize .. (k + 1) * blockSize - 1 (slot 0 of
// block 0 stays unused). At most maxBlocks * blockSize - 1 numbers, and never
// 2^24 or more, fit; going past that is a fatal error.
class HybridHash {
 public:
  static constexpr std::uint32_t kNotFound = 0xFFFFFFFF;

  // `tableSize` must be an entry of PrimeArray; 1 <= maxBlocks <= 256.
  HybridHash(std::uint32_t stateSize, std::uint64_t tableSize,
             std::uint32_t blockSize, std::uint32_t maxBlocks,
             double loadFactor);
  HybridHash(const HybridHash&) = delete;
  HybridHash& operator=(const HybridHash&) = delete;
  ~HybridHash();

  // Where the search for an image starts: its home slot in the table of a
  // given size. Stays usable across growth (the search then starts afresh).
  struct Probe {
    std::uint64_t home;
    std::uint64_t table_size;
  };

  // The number stored for `image` (stateSize bytes), or kNotFound.
  std::uint32_t Lookup(const char* image) const;
  // The same, starting from `probe` (made by Locate for this image).
  std::uint32_t Lookup(const char* image, const Probe& probe) const;
  // Hashes `image` and asks the processor to fetch its home slot, so that
  // several lookups can wait for memory together: Locate each image, then
  // PrefetchImage each probe, then Lookup each in turn.
  Probe Locate(const char* image) const;
  // Asks the processor to fetch the image stored in the probe's home slot.
  void PrefetchImage(const Probe& probe) const;
  // Stores a copy of `image` under `stateNumber`. The image must not be
  // stored yet and numbers must arrive as 1, 2, 3, ...
  void Insert(const char* image, std::uint32_t stateNumber);
  // The same, starting from `probe` (made by Locate for this image), which
  // saves hashing the image again.
  void Insert(const char* image, std::uint32_t stateNumber, const Probe& probe);
  // The home slot of `image` in a table of `size` slots: a 64-bit hash of
  // the image's bytes (8-byte little-endian words, each folded in with a
  // multiply and shift, then a final avalanche) scaled to the table. Every
  // byte affects every bit, so images of small markings, mostly zero bytes,
  // spread over the table.
  std::uint64_t getHashKey(const char* image, std::uint64_t size) const;

  // The number stored for `image`, or, when it is not stored yet, stores it
  // under `next_number` and returns that; `probe` is Locate's for `image`.
  std::uint32_t FindOrInsert(const char* image, const Probe& probe,
                             std::uint32_t next_number);

  // Moves every entry into a table of the next PrimeArray size.
  void Rehash();
  // Adds the next block of image slots.
  void AddArray();
  // Frees the table at the end of generation (table size 0 afterwards);
  // the stored images stay until destruction. No Lookup or Insert after it.
  void ReleaseTable();

  std::uint64_t TableSize() const { return table_size_; }
  std::uint32_t SizeIndex() const { return size_index_; }
  std::uint32_t CurrentBlock() const { return current_block_; }
  // The largest state number the store can hold.
  std::uint32_t MaxStateNumber() const { return max_state_number_; }
  // Slots visited past the home slot, over all lookups, inserts and
  // rehashes: a measure of clustering.
  std::uint64_t ProbeCount() const { return probe_count_; }

 private:
  const char* StoredImage(std::uint32_t entry) const;
  // Follows the probe sequence of `table` (of `size` slots, probe step
  // from `size_index`) from `home` to the first empty slot and returns it.
  std::uint64_t FindEmptySlot(const std::uint32_t* table, std::uint64_t size,
                              std::uint32_t size_index,
                              std::uint64_t home) const;
  [[noreturn]] void ProbeExhausted(std::uint64_t size) const;

  std::unique_ptr<std::uint32_t[]> table_;  // 0 marks an empty slot
  std::uint64_t table_size_;
  std::uint32_t size_index_ = 0;
  // maxBlocks entries; each allocated block holds blockSize images in one
  // contiguous, zeroed buffer.
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::uint32_t state_size_;
  std::uint32_t current_block_ = 0;
  std::uint32_t block_size_;
  std::uint32_t max_blocks_;
  double load_factor_;
  std::uint32_t max_state_number_;
  mutable std::uint64_t probe_count_ = 0;
};

#endif  // GEN_GENERATOR_HYBRIDHASH_H_
