#include "generator/queue.h"

#include <cstring>
#include <iostream>
#include <new>
#include <utility>

#include "base/Fatal.h"
#include "base/StandardErrors.h"

namespace {

std::unique_ptr<state_struct[]> NewRing(std::uint32_t capacity) {
  std::unique_ptr<state_struct[]> ring(new (std::nothrow)
                                           state_struct[capacity]);
  if (!ring) FatalError(std::cout, "Error out of memory\n");
  return ring;
}

void GiveImage(state_struct& record, std::uint32_t state_size) {
  record.image.reset(new (std::nothrow) char[state_size]);
  if (!record.image) MemoryAllocationError();
}

}  // namespace

Queue::Queue(std::uint32_t stateSize)
    : state_size_(stateSize), records_(NewRing(kGrowthStep)) {
  for (std::uint32_t i = 0; i < capacity_; ++i)
    GiveImage(records_[i], state_size_);
}

Queue::~Queue() = default;

void Queue::Increment(std::uint32_t& i) const {
  ++i;
  if (i == capacity_) i = 0;
}

void Queue::Enqueue(const state_struct* s) {
  Enqueue(s->image.get(), s->number);
}

void Queue::Enqueue(const char* image, std::uint32_t number) {
  if (count_ == capacity_) {
    MakeLarger(image, number);
    return;
  }
  ++count_;
  Increment(rear_);
  state_struct& record = records_[rear_];
  if (!record.image)
    FatalError(std::cerr, " Error: queue pointer is null...exiting \n");
  std::memcpy(record.image.get(), image, state_size_);
  record.number = number;
}

state_struct* Queue::Dequeue() {
  if (count_ == 0) return nullptr;
  --count_;
  state_struct* record = &records_[front_];
  Increment(front_);
  return record;
}

void Queue::Make_Empty() {
  front_ = 1;
  rear_ = 0;
  count_ = 0;
}

void Queue::MakeLarger(const char* image, std::uint32_t number) {
  ++size_steps_;
  const std::uint32_t new_capacity =
      static_cast<std::uint32_t>(size_steps_) * kGrowthStep;
  std::unique_ptr<state_struct[]> ring = NewRing(new_capacity);

  // The queued records move, oldest first, into slots 1, 2, ... with their
  // image buffers; only the slots left over get fresh buffers. The ring is
  // full here, so every old record is queued and none is lost.
  std::uint32_t moved = 0;
  for (std::uint32_t from = front_; moved < count_; Increment(from))
    ring[++moved] = std::move(records_[from]);
  for (std::uint32_t i = 0; i < new_capacity; ++i) {
    if (!ring[i].image) GiveImage(ring[i], state_size_);
  }

  records_ = std::move(ring);
  capacity_ = new_capacity;
  front_ = 1;
  rear_ = moved;
  count_ = moved;
  Enqueue(image, number);
}
