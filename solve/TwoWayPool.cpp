#include "solve/TwoWayPool.h"

TwoWayPool::TwoWayPool(int threads) {
  if (threads >= 2) helper_ = std::thread([this] { Serve(); });
}

TwoWayPool::~TwoWayPool() {
  if (!helper_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

void TwoWayPool::RunErased(Call call, const void* object) {
  if (!helper_.joinable()) {
    call(object, 0);
    call(object, 1);
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    call_ = call;
    object_ = object;
    ++posted_;
  }
  wake_.notify_one();
  call(object, 0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return finished_ == posted_; });
}

void TwoWayPool::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || finished_ != posted_; });
    if (finished_ == posted_) return;  // stopped with nothing left to run
    const Call call = call_;
    const void* object = object_;
    lock.unlock();
    call(object, 1);
    lock.lock();
    ++finished_;
    done_.notify_one();
  }
}

std::size_t VectorSplit(std::size_t n, std::size_t min_split) {
  if (n < min_split) return n;
  constexpr std::size_t kLine = 8;  // doubles per 64-byte cache line
  return n / 2 / kLine * kLine;
}
