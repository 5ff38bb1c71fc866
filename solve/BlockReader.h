#ifndef GEN_SOLVE_BLOCKREADER_H_
#define GEN_SOLVE_BLOCKREADER_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

// Reads a file from start to end in blocks on a thread of its own, a few
// blocks ahead of its consumer, so that the system's copying of the file
// overlaps the parsing of the blocks before. On a large state-space file
// the copying alone is a tenth of a steady-state solve. Without a thread
// (none could be started) it reads each block when asked.
class BlockReader {
 public:
  // `fd` must stay open while the reader lives. Reading starts at byte
  // `start` and leaves the descriptor's offset alone, so that two readers
  // can share one descriptor. Every block but the last is `block_bytes`
  // long.
  explicit BlockReader(int fd, std::size_t block_bytes = kDefaultBlockBytes,
                       std::size_t start = 0);
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;
  // Stops the thread, also before the end of the file.
  ~BlockReader();

  // The next block, valid until the next call; false at the end of the
  // file or after a read error, and on every call after that.
  bool Next(std::string_view* block);
  // The system's reason when a read failed, else 0; set once Next has
  // returned false.
  int error() const { return error_; }

  static constexpr std::size_t kDefaultBlockBytes = std::size_t{1} << 20;

 private:
  static constexpr std::size_t kBlocks = 4;

  // Fills `block` from the file; false at the end or on an error (noted).
  bool Fill(std::vector<char>* block, std::size_t* size);
  void Run();

  const int fd_;
  std::size_t offset_;  // of the next byte to read
  std::vector<char> blocks_[kBlocks];
  std::size_t sizes_[kBlocks] = {};
  std::mutex mutex_;
  std::condition_variable changed_;
  // Blocks read, handed out, and given back (all but the one in use).
  std::size_t produced_ = 0;
  std::size_t consumed_ = 0;
  std::size_t released_ = 0;
  bool ended_ = false;    // the file is read to its end or failed
  bool stopped_ = false;  // the consumer has gone
  int error_ = 0;
  std::thread thread_;
};

#endif  // GEN_SOLVE_BLOCKREADER_H_
