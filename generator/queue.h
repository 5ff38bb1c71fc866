#ifndef GEN_GENERATOR_QUEUE_H_
#define GEN_GENERATOR_QUEUE_H_

#include <cstdint>
#include <memory>

// One state: its number (0 in a record that holds none) and its image of
// the state size, owned by whoever owns the record.
struct state_struct {
  std::unique_ptr<char[]> image;
  std::uint32_t number = 0;
};

// The states numbered but not yet explored, first in, first out.
//
// A ring of preallocated records: Enqueue copies the caller's image into
// the next free record, so the caller may reuse its buffer at once. A full
// ring grows by 5000 records, keeping the queued states in order in slots
// 1, 2, 3, ...
class Queue {
 public:
  static constexpr std::uint32_t kGrowthStep = 5000;

  explicit Queue(std::uint32_t stateSize);
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  virtual ~Queue();

  // Appends a copy of s's image and number.
  void Enqueue(const state_struct* s);
  void Enqueue(const char* image, std::uint32_t number);
  // Removes the oldest state and returns the queue's own record, or null
  // when the queue is empty. The record stays valid only until the next
  // Enqueue: copy what is needed first.
  state_struct* Dequeue();
  // Forgets every queued state; the records stay allocated.
  void Make_Empty();
  // The ring index after i.
  void Increment(std::uint32_t& i) const;

  std::uint32_t Capacity() const { return capacity_; }
  std::uint32_t Front() const { return front_; }
  std::uint32_t Rear() const { return rear_; }
  std::uint32_t Count() const { return count_; }

 private:
  void MakeLarger(const char* image, std::uint32_t number);

  std::uint32_t capacity_ = kGrowthStep;
  std::uint32_t state_size_;
  std::uint32_t front_ = 1;
  std::uint32_t rear_ = 0;
  std::uint32_t count_ = 0;
  std::uint16_t size_steps_ = 1;  // capacity is size_steps_ * kGrowthStep
  // The ring of capacity_ records; every record has its image buffer.
  std::unique_ptr<state_struct[]> records_;
};

#endif  // GEN_GENERATOR_QUEUE_H_
