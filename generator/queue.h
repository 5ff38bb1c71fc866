#ifndef GEN_GENERATOR_QUEUE_H_
#define GEN_GENERATOR_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// One queued state as Dequeue hands it out: its number and its image of the
// state size, which the queue owns.
struct state_struct {
  char* image = nullptr;
  std::uint32_t number = 0;
};

// The states numbered but not yet explored, first in, first out.
//
// A ring of fixed-size records (the state number, then the image) in one
// arena; Enqueue copies the caller's image, so the caller may reuse its
// buffer at once. A full ring doubles, so growth costs amortised constant
// time per state.
class Queue {
 public:
  static constexpr std::size_t kInitialCapacity = 256;

  explicit Queue(std::uint32_t stateSize);
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  virtual ~Queue();

  void Enqueue(const char* image, std::uint32_t number);
  void Enqueue(const state_struct* s) { Enqueue(s->image, s->number); }
  // Removes the oldest state and returns its number and image, or null when
  // the queue is empty. The record and its image stay valid only until the
  // next Enqueue: copy what is needed first.
  state_struct* Dequeue();
  // Forgets every queued state; the arena stays allocated.
  void Make_Empty();
  // The ring index after i.
  void Increment(std::size_t& i) const {
    if (++i == capacity_) i = 0;
  }

  std::size_t Capacity() const { return capacity_; }
  std::size_t Count() const { return count_; }
  // The most states queued at once so far.
  std::size_t PeakCount() const { return peak_count_; }

 private:
  void MakeLarger();
  char* Record(std::size_t slot) { return arena_.data() + slot * record_size_; }

  std::size_t state_size_;
  std::size_t record_size_;
  std::size_t capacity_ = kInitialCapacity;
  std::size_t front_ = 0;  // the oldest record, when count_ > 0
  std::size_t rear_ = 0;   // where the next record goes
  std::size_t count_ = 0;
  std::size_t peak_count_ = 0;
  std::vector<char> arena_;
  state_struct dequeued_;
};

#endif  // GEN_GENERATOR_QUEUE_H_
