#ifndef GEN_BENCH_FLOOR_MARKINGSET_H_
#define GEN_BENCH_FLOOR_MARKINGSET_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// 64 well-mixed bits of a packed marking of one or two 64-bit words.
inline std::uint64_t MarkingBits(std::uint64_t m) {
  return m * 0x9E3779B97F4A7C15u;
}
__extension__ typedef unsigned __int128 WideMarking;
inline std::uint64_t MarkingBits(WideMarking m) {
  const auto low = static_cast<std::uint64_t>(m);
  const auto high = static_cast<std::uint64_t>(m >> 64);
  return (low ^ (high * 0xC2B2AE3D27D4EB4Fu)) * 0x9E3779B97F4A7C15u;
}

// Packed markings to state numbers for the hand-written floors: open
// addressing with linear probing over a power-of-two table of (marking,
// number) slots, so that a probe touches one cache line; grown at three
// quarters full. Number 0 marks an empty slot.
template <typename Marking>
class MarkingSet {
 public:
  MarkingSet() { Allocate(1u << 20); }

  // The number of `m`, or 0 when absent; `slot` receives where it belongs.
  std::uint32_t Find(Marking m, std::size_t& slot) const {
    std::size_t i = Home(m);
    while (slots_[i].number != 0) {
      if (slots_[i].marking == m) return slots_[i].number;
      i = (i + 1) & mask_;
    }
    slot = i;
    return 0;
  }
  void Insert(std::size_t slot, Marking m, std::uint32_t number) {
    slots_[slot] = {m, number};
    if (++count_ * 4 > (mask_ + 1) * 3) Grow();
  }

 private:
  struct Slot {
    Marking marking;
    std::uint32_t number;
  };

  std::size_t Home(Marking m) const {
    return static_cast<std::size_t>(MarkingBits(m) >> shift_);
  }
  void Allocate(std::size_t size) {
    slots_.assign(size, Slot{0, 0});
    mask_ = size - 1;
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1) --shift_;
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    Allocate(old.size() * 2);
    for (const Slot& slot : old) {
      if (slot.number == 0) continue;
      std::size_t j = Home(slot.marking);
      while (slots_[j].number != 0) j = (j + 1) & mask_;
      slots_[j] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t count_ = 0;
};

// The states of a floor: markings numbered 1, 2, 3, ... in order of
// discovery. Breadth first, numbers are handed out in the order of
// exploration, so the list is the queue as well.
template <typename Marking>
class NumberedMarkings {
 public:
  NumberedMarkings() { markings_.reserve(1u << 20); }

  // The number of `m`; a marking not seen before gets the next number and
  // sets `added`.
  std::uint32_t FindOrAdd(Marking m, bool& added) {
    std::size_t slot = 0;
    std::uint32_t number = set_.Find(m, slot);
    added = number == 0;
    if (added) {
      number = static_cast<std::uint32_t>(markings_.size() + 1);
      set_.Insert(slot, m, number);
      markings_.push_back(m);
    }
    return number;
  }
  std::size_t Count() const { return markings_.size(); }
  // The marking of state `index` + 1.
  Marking operator[](std::size_t index) const { return markings_[index]; }

 private:
  MarkingSet<Marking> set_;
  std::vector<Marking> markings_;
};

#endif  // GEN_BENCH_FLOOR_MARKINGSET_H_
