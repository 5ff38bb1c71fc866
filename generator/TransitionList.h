#ifndef GEN_GENERATOR_TRANSITIONLIST_H_
#define GEN_GENERATOR_TRANSITIONLIST_H_

#include <cstdint>
#include <vector>

#include "output/StateSpaceFile.h"

// The transitions out of the state being explored: one entry per distinct
// target, holding the sum of every rate recorded for it. Rates are added in
// the order they were recorded, so each sum is bit-for-bit the sum an
// ordered map would accumulate. Storage is reused from state to state.
class TransitionList {
 public:
  using Entry = Transition;

  void Add(std::uint32_t target, double rate) {
    pending_.push_back({target, sequence_++, rate});
  }
  // Sorts by target, sums equal targets; the result stays valid until the
  // next Add or Clear.
  const std::vector<Entry>& Merge();
  void Clear() {
    pending_.clear();
    merged_.clear();
    sequence_ = 0;
  }
  bool empty() const { return pending_.empty(); }

 private:
  struct Pending {
    std::uint32_t target;
    std::uint32_t sequence;  // order of recording, kept for equal targets
    double rate;
  };

  std::vector<Pending> pending_;
  std::vector<Entry> merged_;
  std::uint32_t sequence_ = 0;
};

#endif  // GEN_GENERATOR_TRANSITIONLIST_H_
