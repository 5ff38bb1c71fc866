#include "output/ChainWriter.h"

#include <pthread.h>

#include <algorithm>
#include <csignal>
#include <system_error>

namespace {

// The first chunk's size: a small model fills one chunk at most, and should
// not pay for a megabyte. Each chunk taken into use doubles it, up to the
// full size.
constexpr std::size_t kFirstChunkBytes = std::size_t{1} << 16;

}  // namespace

ChainWriter::ChainWriter(StateSpaceFile& arm, RewardValuesFile& var, Mode mode,
                         std::size_t chunk_bytes, std::size_t chunks)
    : arm_(arm),
      var_(var),
      variables_(var.Variables()),
      max_chunk_bytes_(chunk_bytes),
      next_chunk_bytes_(std::min(kFirstChunkBytes, chunk_bytes)),
      ring_(std::max<std::size_t>(chunks, 2)),
      filling_(&ring_[0]),
      values_(2 * variables_) {
  Grow(*filling_, 0);
  if (mode == Mode::kThreaded) {
    // The thread starts with every signal blocked, so that signals meant
    // for the process (an interrupt that removes the run's temporaries)
    // are handled on the caller's thread, as without it.
    sigset_t all;
    sigset_t saved;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &saved);
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      // No thread to be had (a process limit): the chain still works,
      // formatting on the caller's thread.
    }
    pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  }
}

ChainWriter::~ChainWriter() { (void)Close(); }

void ChainWriter::Grow(Chunk& chunk, std::size_t need) {
  const std::size_t size = std::max(need, next_chunk_bytes_);
  if (chunk.bytes.size() < size) {
    chunk.bytes.clear();
    chunk.bytes.resize(size);
  }
  next_chunk_bytes_ = std::min(2 * next_chunk_bytes_, max_chunk_bytes_);
}

void ChainWriter::NextChunk(std::size_t need) {
  if (closed_) {
    // Nothing is written after Close; dropping keeps a misuse harmless.
  } else if (!thread_.joinable()) {
    if (!Failed() && !Format(*filling_)) {
      failed_.store(true, std::memory_order_release);
    }
  } else {
    std::unique_lock<std::mutex> lock(mutex_);
    // After a failure the writing thread has stopped and reads no chunk
    // again: the one being filled is simply reused, its records dropped.
    if (!Failed()) {
      ++submitted_;
      submitted_cv_.notify_one();
      formatted_cv_.wait(lock, [this] {
        return submitted_ - formatted_ < ring_.size() || Failed();
      });
      if (!Failed()) filling_ = &ring_[submitted_ % ring_.size()];
    }
  }
  filling_->used = 0;
  Grow(*filling_, need);
}

void ChainWriter::Run() {
  for (;;) {
    const Chunk* chunk = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      submitted_cv_.wait(
          lock, [this] { return formatted_ < submitted_ || closing_; });
      if (formatted_ == submitted_) return;
      chunk = &ring_[formatted_ % ring_.size()];
    }
    const bool ok = Format(*chunk);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++formatted_;
      if (!ok) failed_.store(true, std::memory_order_release);
    }
    formatted_cv_.notify_one();
    if (!ok) return;
  }
}

bool ChainWriter::Format(const Chunk& chunk) {
  const char* p = chunk.bytes.data();
  const char* end = p + chunk.used;
  while (p < end) {
    Header header;
    std::memcpy(&header, p, sizeof header);
    p += sizeof header;
    // Copied out rather than read in place: the chunk holds bytes, not
    // doubles or transitions.
    if (header.kind == kRewardRecord) {
      const std::size_t bytes = header.count * sizeof(double);
      if (bytes > 0) std::memcpy(values_.data(), p, bytes);
      var_.Append(header.number, values_.data());
      p += bytes;
    } else if (header.kind == kRecordedBlock) {
      std::size_t merged = 0;
      const Transition* entries =
          recorded_.MergeRecorded(p, header.count, merged);
      p += header.count * sizeof(TransitionList::Recorded);
      arm_.AppendState(header.number, entries, merged);
    } else {
      const std::size_t bytes = header.count * sizeof(Transition);
      block_.resize(header.count);
      if (bytes > 0) std::memcpy(block_.data(), p, bytes);
      arm_.AppendState(header.number, block_);
      p += bytes;
    }
  }
  // The blocks and records reach the streams once per chunk rather than
  // once each.
  arm_.Flush();
  var_.Flush();
  return !arm_.Failed() && !var_.Failed();
}

bool ChainWriter::Close() {
  if (closed_) return !Failed();
  closed_ = true;
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!Failed() && filling_->used > 0) ++submitted_;
      closing_ = true;
    }
    submitted_cv_.notify_one();
    thread_.join();
  } else if (!Failed() && filling_->used > 0 && !Format(*filling_)) {
    failed_.store(true, std::memory_order_release);
  }
  filling_->used = 0;
  return !Failed();
}
