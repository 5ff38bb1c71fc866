#ifndef GEN_OUTPUT_CHAINWRITER_H_
#define GEN_OUTPUT_CHAINWRITER_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "output/RewardValuesFile.h"
#include "output/StateSpaceFile.h"
#include "output/TransitionList.h"

// Writes the state blocks (.arm) and reward records (.var) of an
// exploration, in the order they are handed in, through a StateSpaceFile
// and a RewardValuesFile, so that exploring does not wait for formatting
// or the disk.
//
// Each block or record is appended in a compact binary form to the chunk
// being filled. A full chunk goes through a fixed ring of chunks to the
// writing thread, which formats its records in order and hands the chunk
// back for reuse; one stream of records keeps the order of both files.
// When every chunk of the ring is waiting to be formatted, the caller
// waits. Chunks are allocated on first use and then recycled: once the
// ring is warm, appending allocates nothing (a chunk grows only for a
// single record larger than itself).
//
// In synchronous mode, and when no thread can be started, a full chunk is
// formatted on the caller's thread instead; the files' bytes are the same.
// (On one core the thread costs nothing measurable, so runs always ask for
// it.)
//
// The two files and their streams belong to the writer from construction
// until Close returns: nobody else may touch them in between. The files
// must outlive the writer.
class ChainWriter {
 public:
  enum class Mode { kThreaded, kSynchronous };

  // The ring bounds how far exploration runs ahead of the files, and so
  // how soon a failed write stops it: at most a megabyte of records (a few
  // thousand states). Larger chunks or more of them were no faster.
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 18;
  static constexpr std::size_t kChunks = 4;

  // `chunk_bytes` is the size chunks grow to (the first ones start
  // smaller); `chunks` is the ring's length, at least 2.
  ChainWriter(StateSpaceFile& arm, RewardValuesFile& var, Mode mode,
              std::size_t chunk_bytes = kChunkBytes,
              std::size_t chunks = kChunks);
  ChainWriter(const ChainWriter&) = delete;
  ChainWriter& operator=(const ChainWriter&) = delete;
  // Closes.
  ~ChainWriter();

  // Reward variables per record (each has two values).
  std::size_t Variables() const { return variables_; }

  // The record of state `number`: 2 * Variables() doubles.
  void WriteRewards(std::uint32_t number, const double* values) {
    const std::size_t bytes = 2 * variables_ * sizeof(double);
    char* p = Append(number, kRewardRecord, 2 * variables_, bytes);
    if (bytes > 0) std::memcpy(p, values, bytes);
  }
  // The block of state `number`.
  void WriteState(std::uint32_t number,
                  const std::vector<Transition>& transitions) {
    const std::size_t bytes = transitions.size() * sizeof(Transition);
    char* p = Append(number, kStateBlock, transitions.size(), bytes);
    if (bytes > 0) std::memcpy(p, transitions.data(), bytes);
  }

  // The block of state `number` from its rates as recorded, summed per
  // target by the writing thread: the block WriteState(number,
  // transitions.Merge()) writes. Only for lists whose sums are surely
  // finite (TransitionList::SumsSurelyFinite), since nobody checks them.
  void WriteRecordedState(std::uint32_t number,
                          const TransitionList& transitions) {
    const std::vector<TransitionList::Recorded>& rates =
        transitions.RecordedRates();
    const std::size_t bytes = rates.size() * sizeof(TransitionList::Recorded);
    char* p = Append(number, kRecordedBlock, rates.size(), bytes);
    if (bytes > 0) std::memcpy(p, rates.data(), bytes);
  }

  // True once a stream of either file has failed: from then on nothing
  // more is formatted and whatever is handed in is dropped. Cheap enough
  // to ask after every state; the failure is noted after each chunk.
  bool Failed() const { return failed_.load(std::memory_order_acquire); }

  // Formats everything handed in so far (unless a stream has failed) and
  // ends the writing thread. Returns false when a stream failed. The files
  // are the caller's again afterwards. May be called more than once;
  // nothing may be handed in after it.
  [[nodiscard]] bool Close();

 private:
  enum Kind : std::uint32_t {
    kStateBlock = 1,
    kRewardRecord = 2,
    kRecordedBlock = 3
  };
  // Precedes every record in a chunk; `count` transitions or doubles follow.
  struct Header {
    std::uint32_t number;
    std::uint32_t kind;
    std::uint64_t count;
  };
  struct Chunk {
    std::vector<char> bytes;
    std::size_t used = 0;
  };

  // Room for a header and `bytes` more in the chunk being filled, past the
  // header it writes.
  char* Append(std::uint32_t number, Kind kind, std::size_t count,
               std::size_t bytes) {
    const std::size_t need = sizeof(Header) + bytes;
    if (filling_->bytes.size() - filling_->used < need) NextChunk(need);
    char* p = filling_->bytes.data() + filling_->used;
    const Header header{number, kind, count};
    std::memcpy(p, &header, sizeof header);
    filling_->used += need;
    return p + sizeof header;
  }

  // Hands over the chunk being filled and takes the next one, with room
  // for at least `need` bytes.
  void NextChunk(std::size_t need);
  void Run();
  // Formats every record of `chunk`; false when a stream failed.
  bool Format(const Chunk& chunk);
  // Gives `chunk` room for `need` bytes and at least the size chunks have
  // reached.
  void Grow(Chunk& chunk, std::size_t need);

  StateSpaceFile& arm_;
  RewardValuesFile& var_;
  const std::size_t variables_;
  const std::size_t max_chunk_bytes_;
  std::size_t next_chunk_bytes_;
  std::vector<Chunk> ring_;
  Chunk* filling_;
  // Reused by Format for each block and record.
  std::vector<Transition> block_;
  TransitionList recorded_;
  std::vector<double> values_;

  std::atomic<bool> failed_{false};
  bool closed_ = false;
  // Guarded by mutex_: chunks handed over and chunks formatted so far (the
  // ring position of chunk k is k % ring_.size()), and the end of input.
  std::mutex mutex_;
  std::condition_variable submitted_cv_;
  std::condition_variable formatted_cv_;
  std::size_t submitted_ = 0;
  std::size_t formatted_ = 0;
  bool closing_ = false;
  std::thread thread_;
};

#endif  // GEN_OUTPUT_CHAINWRITER_H_
