#ifndef GEN_GENERATOR_SHAREDSTORE_H_
#define GEN_GENERATOR_SHAREDSTORE_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base/Status.h"
#include "generator/HybridHash.h"
#include "generator/NextStateSource.h"

// The set of states reached so far, for several threads at once: maps a
// state's byte image to an identifier that no other image has. Identifiers
// are not state numbers: they follow the order in which the threads
// happened to insert, which differs from run to run. The numbering thread
// turns them into numbers with a NumberMap.
//
// The states are split by their hash into shards, each a HybridHash behind
// a mutex of its own, so threads rarely meet on a lock and a shard grows
// and repacks its images while the others go on. An identifier is the
// shard's own number for the image, shifted, with the shard below it.
class SharedStore {
 public:
  static constexpr std::uint64_t kFailed = ~std::uint64_t{0};
  static constexpr std::uint32_t kDefaultShardBits = 3;

  SharedStore(std::uint32_t state_size, double load_factor,
              std::uint32_t shard_bits = kDefaultShardBits);
  SharedStore(const SharedStore&) = delete;
  SharedStore& operator=(const SharedStore&) = delete;

  // The store's hash of an image (that of HybridHash); any thread.
  std::uint64_t Hash(const char* image) const {
    return shards_.front()->store->Hash(image);
  }
  // The identifier of `image`, whose Hash is `hash`, storing a copy of it
  // if no thread has yet; any thread. kFailed when the store cannot take
  // it (no memory); Failure() then says why.
  std::uint64_t FindOrInsert(const char* image, std::uint64_t hash);
  // What FindOrInsertAll needs per call; one per thread, reused.
  struct Scratch {
    std::vector<std::uint32_t> order;   // successors grouped by shard
    std::vector<std::uint32_t> starts;  // per shard, its group in order
    std::vector<std::uint32_t> next;    // per shard, while grouping
    std::vector<HybridHash::Probe> probes;
    std::vector<unsigned char> done;  // per shard
  };
  // FindOrInsert for those of the successors [begin, end) whose shard is
  // in [shard_begin, shard_end), setting ids[j] for each such successor j
  // from its Hash, hashes[j]: one lock per shard met rather than per
  // successor, and the table slots and images of a few successors ahead
  // fetched while one is looked up. False when the store cannot take one
  // (Failure() says why).
  bool FindOrInsertAll(const Successors& successors, std::size_t begin,
                       std::size_t end, const std::uint64_t* hashes,
                       std::uint64_t* ids, std::uint32_t shard_begin,
                       std::uint32_t shard_end, Scratch& scratch);
  std::uint32_t Shards() const { return 1u << shard_bits_; }
  // Why the store failed, or ok.
  Status Failure() const;
  // Images stored, over all shards; only while no thread inserts.
  std::uint64_t StoredStates() const;
  // Frees every shard's table once no thread inserts any more.
  void ReleaseTables();

  std::uint32_t ShardBits() const { return shard_bits_; }

 private:
  // A cache line each, so that two threads at two shards do not share one.
  struct alignas(64) Shard {
    std::mutex lock;
    std::unique_ptr<HybridHash> store;
  };

  // Looks up the successors of one shard's group, under its lock.
  bool InsertGroup(std::uint32_t index, const Successors& successors,
                   std::size_t begin, const std::uint64_t* hashes,
                   std::uint64_t* ids, Scratch& scratch);

  std::uint32_t shard_bits_;
  std::vector<std::unique_ptr<Shard>> shards_;
};

// State numbers by identifier, on one thread: 0 until the identifier is
// given a number. Blocks of numbers are allocated per shard as identifiers
// reach them, zeroed, so the map takes 4 bytes per identifier seen.
class NumberMap {
 public:
  explicit NumberMap(std::uint32_t shard_bits);

  // The number slot of `id`, allocating its block when needed; null when
  // there is no memory for it.
  std::uint32_t* Slot(std::uint64_t id);
  // Asks the processor for the slot of `id`, when its block exists.
  void Prefetch(std::uint64_t id) const;
  void Clear() { blocks_.clear(); }

 private:
  static constexpr std::uint32_t kBlockBits = 16;
  std::uint32_t shard_bits_;
  std::uint64_t shard_mask_;
  // Per shard, its blocks in order of the shard's own numbers.
  std::vector<std::vector<std::unique_ptr<std::uint32_t[]>>> blocks_;
};

#endif  // GEN_GENERATOR_SHAREDSTORE_H_
