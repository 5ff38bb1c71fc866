#include "solve/BlockReader.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

BlockReader::BlockReader(int fd, std::size_t block_bytes, std::size_t start)
    : fd_(fd), offset_(start) {
  for (std::vector<char>& block : blocks_) block.resize(block_bytes);
  try {
    thread_ = std::thread(&BlockReader::Run, this);
  } catch (const std::system_error&) {
    // No thread: Next reads each block itself.
  }
}

BlockReader::~BlockReader() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool BlockReader::Fill(std::vector<char>* block, std::size_t* size) {
  *size = 0;
  while (*size < block->size()) {
    const ssize_t got = pread(fd_, block->data() + *size, block->size() - *size,
                              static_cast<off_t>(offset_));
    if (got > 0) {
      *size += static_cast<std::size_t>(got);
      offset_ += static_cast<std::size_t>(got);
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      if (got < 0) error_ = errno;
      return false;
    }
  }
  return true;
}

void BlockReader::Run() {
  for (;;) {
    std::size_t slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(
          lock, [&] { return stopped_ || produced_ - released_ < kBlocks; });
      if (stopped_) return;
      slot = produced_ % kBlocks;
    }
    // The slot is neither handed out nor waiting: it is this thread's.
    std::size_t size = 0;
    const bool full = Fill(&blocks_[slot], &size);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sizes_[slot] = size;
      if (size > 0) ++produced_;
      ended_ = !full;
    }
    changed_.notify_all();
    if (!full) return;
  }
}

bool BlockReader::Next(std::string_view* block) {
  if (!thread_.joinable()) {
    if (ended_) return false;
    std::size_t size = 0;
    ended_ = !Fill(&blocks_[0], &size);
    *block = std::string_view(blocks_[0].data(), size);
    return size > 0;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  // The block handed out last is done with.
  released_ = consumed_;
  changed_.notify_all();
  changed_.wait(lock, [&] { return produced_ > consumed_ || ended_; });
  if (produced_ == consumed_) return false;
  const std::size_t slot = consumed_ % kBlocks;
  *block = std::string_view(blocks_[slot].data(), sizes_[slot]);
  ++consumed_;
  return true;
}
