#include "generator/queue.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kNumberBytes = sizeof(std::uint32_t);

}  // namespace

Queue::Queue(std::uint32_t stateSize)
    : state_size_(stateSize),
      record_size_(kNumberBytes + stateSize),
      arena_(kInitialCapacity * record_size_) {}

Queue::~Queue() = default;

void Queue::Enqueue(const char* image, std::uint32_t number) {
  if (count_ == capacity_) MakeLarger();
  char* record = Record(rear_);
  std::memcpy(record, &number, kNumberBytes);
  std::memcpy(record + kNumberBytes, image, state_size_);
  Increment(rear_);
  peak_count_ = std::max(peak_count_, ++count_);
}

state_struct* Queue::Dequeue() {
  if (count_ == 0) return nullptr;
  char* record = Record(front_);
  std::memcpy(&dequeued_.number, record, kNumberBytes);
  dequeued_.image = record + kNumberBytes;
  Increment(front_);
  --count_;
  return &dequeued_;
}

void Queue::Make_Empty() {
  front_ = 0;
  rear_ = 0;
  count_ = 0;
}

void Queue::MakeLarger() {
  // Full: the queue runs from front_ to the end, then from 0 to front_.
  // After the arena doubles, the wrapped part moves behind the end, so the
  // queue runs from front_ to capacity_ + front_ without a gap.
  arena_.resize(2 * capacity_ * record_size_);
  std::memcpy(Record(capacity_), Record(0), front_ * record_size_);
  rear_ = capacity_ + front_;
  capacity_ *= 2;
}
