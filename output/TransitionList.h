#ifndef GEN_OUTPUT_TRANSITIONLIST_H_
#define GEN_OUTPUT_TRANSITIONLIST_H_

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "output/StateSpaceFile.h"

// The transitions out of the state being explored: one entry per distinct
// target, holding the sum of every rate recorded for it. Rates are added in
// the order they were recorded, so each sum is bit-for-bit the sum an
// ordered map would accumulate. Storage is reused from state to state.
class TransitionList {
 public:
  using Entry = Transition;
  // One recorded rate; `sequence` is its place in the recording order.
  struct Recorded {
    std::uint32_t target;
    std::uint32_t sequence;
    double rate;
  };

  void Add(std::uint32_t target, double rate) {
    // Field by field: a record built whole on the stack and then copied is
    // read back wider than it was stored, which stalls the store buffer.
    Recorded& item = pending_.emplace_back();
    item.target = target;
    item.sequence = sequence_++;
    item.rate = rate;
    magnitude_ += std::fabs(rate);
  }
  // Sorts by target, sums equal targets; the result stays valid until the
  // next Add or Clear.
  const std::vector<Entry>& Merge();
  // Merge of `count` records laid out as RecordedRates() holds them (the
  // bytes of another list's recording), read where they lie: the same
  // entries, in `merged` entries at the returned address, valid until the
  // next call. The list itself is left as it was.
  const Entry* MergeRecorded(const void* records, std::size_t count,
                             std::size_t& merged);
  void Clear() {
    pending_.clear();
    merged_.clear();
    sequence_ = 0;
    magnitude_ = 0.0;
  }
  bool empty() const { return pending_.empty(); }

  // The rates as recorded, in recording order.
  const std::vector<Recorded>& RecordedRates() const { return pending_; }
  // True when every sum Merge can form is surely finite: the magnitudes of
  // all recorded rates add up to at most half the largest double, far
  // beyond what rounding in any order of addition can cross. False for a
  // NaN or an infinity among them.
  bool SumsSurelyFinite() const {
    return magnitude_ <= std::numeric_limits<double>::max() / 2;
  }

 private:
  std::vector<Recorded> pending_;
  std::vector<Entry> merged_;
  // MergeRecorded's result; only ever grows, so that it is never cleared
  // and zeroed again.
  std::vector<Entry> merged_recorded_;
  // Merge's sort keys; only ever grows.
  std::vector<std::uint64_t> keys_;
  std::uint32_t sequence_ = 0;
  double magnitude_ = 0.0;
};

#endif  // GEN_OUTPUT_TRANSITIONLIST_H_
