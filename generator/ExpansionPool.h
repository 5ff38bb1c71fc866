#ifndef GEN_GENERATOR_EXPANSIONPOOL_H_
#define GEN_GENERATOR_EXPANSIONPOOL_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Status.h"
#include "generator/HybridHash.h"
#include "generator/NextStateSource.h"

// Consecutive numbered states handed to a helper thread, and what their
// expansion reported: the successors of all of them in state order, where
// each state's successors and delays end, and per successor its store hash
// and its image packed as the store packs it.
struct ExpansionBatch {
  static constexpr std::size_t kNotFailed = ~std::size_t{0};

  std::uint32_t first_number = 0;
  std::size_t count = 0;
  std::vector<char> images;  // count images, in number order
  Successors successors;
  std::vector<std::size_t> successor_ends;  // per state
  std::vector<std::size_t> delay_ends;      // per state
  std::vector<std::uint64_t> hashes;        // per successor
  // Per successor, packed_width bytes at its index: its image packed with
  // the store's packing of version packing_version; valid where `packs` is
  // 1 (0: the image differs from the packing at a byte kept once).
  std::vector<char> packed;
  std::vector<unsigned char> packs;
  std::size_t packed_width = 0;
  std::uint64_t packing_version = 0;
  // The states [0, expanded) were expanded by a helper; the rest are left
  // to the run's thread.
  std::size_t expanded = 0;
  // The first state whose expansion failed (its index in the batch), and
  // why; the states after it were not expanded.
  std::size_t failed_at = kNotFailed;
  Status failure;
};

// Helper threads that expand batches of states with sources of their own,
// while the run's thread numbers the successors of the batches already
// expanded. Batches are taken up and handed back strictly in the order they
// were submitted, so the run's thread sees every state's successors in the
// order one thread would produce them.
//
// A helper that meets a fatal error inside a source (FatalError) hands it
// over as the failure of the state it was expanding and blocks for good; the
// run's thread reports it when it reaches that state, after every earlier
// state, so the first error is the one a run on one thread reports.
class ExpansionPool {
 public:
  // One helper thread per source; the sources are not owned, are used by
  // their thread only, and must outlive the pool, as must `store`, whose
  // Hash the helpers apply to every successor. `store` is read on the
  // calling thread only (its packing, in the constructor and Submit, and
  // the images of the states added to batches).
  ExpansionPool(const std::vector<NextStateSource*>& sources,
                std::size_t state_size, std::size_t reward_width,
                const HybridHash& store);
  ExpansionPool(const ExpansionPool&) = delete;
  ExpansionPool& operator=(const ExpansionPool&) = delete;
  // Stops the helpers once their batch is done; a helper blocked by a
  // handed-over failure is left behind.
  ~ExpansionPool();

  // A batch to fill with at most MaxBatchStates() states (AddState), or
  // null when enough batches are already submitted.
  ExpansionBatch* StartBatch();
  std::size_t MaxBatchStates() const { return kBatchStates; }
  // Copies the image of the stored state `number` into the batch being
  // filled, whose states are consecutive numbers.
  void AddState(ExpansionBatch& batch, std::uint32_t number);
  // Hands the batch being filled to the helpers. The store's packing, if
  // it changed, goes to the helpers with it.
  void Submit(ExpansionBatch& batch);
  // The oldest submitted batch, or null when none is. A helper still
  // expanding it stops after its current state; the states it did not
  // expand (from `expanded` on, all when none took the batch) are the
  // caller's to expand. It stays valid until Release.
  ExpansionBatch* Oldest();
  // Returns the oldest batch for reuse.
  void Release();

 private:
  static constexpr std::size_t kBatchStates = 256;

  // kTaken: the run's thread expands it itself.
  enum class Stage { kFilling, kPending, kExpanding, kDone, kTaken };
  struct Slot {
    ExpansionBatch batch;
    Stage stage = Stage::kFilling;
    std::uint64_t sequence = 0;  // submission order
    // Set when the run's thread takes the rest of the batch over: the
    // helper then stops after its current state. Only read per state (a
    // plain load), where claiming each state cost a locked instruction.
    std::atomic<bool> taken_over{false};
  };
  struct Helper {
    ExpansionPool* pool = nullptr;
    NextStateSource* source = nullptr;
    Slot* slot = nullptr;      // the batch it expands
    std::size_t index = 0;     // the state it expands within it
    bool handed_over = false;  // blocked for good
    // Its copy of published_, refreshed when it takes a batch.
    HybridHash::Packing packing;
    std::thread thread;
  };

  void Work(Helper& helper);
  void Expand(Helper& helper, Slot& slot);
  static void TakeFailure(void* context, const Status& failure);

  std::size_t state_size_;
  std::size_t reward_width_;
  const HybridHash& store_;
  // The store's packing as of the last Submit, for the helpers to copy:
  // the store itself is the run's thread's alone.
  HybridHash::Packing published_;
  // Batches in submission order; free slots wait in free_.
  std::vector<std::unique_ptr<Slot>> slots_;
  std::deque<Slot*> submitted_;
  std::vector<Slot*> free_;
  std::uint64_t next_sequence_ = 0;
  std::mutex mutex_;
  std::condition_variable work_;  // a batch is pending, or stop
  std::condition_variable done_;  // a batch is expanded
  bool stop_ = false;
  std::vector<std::unique_ptr<Helper>> helpers_;
};

#endif  // GEN_GENERATOR_EXPANSIONPOOL_H_
