#ifndef GEN_SOLVE_ROWOFFSETS_H_
#define GEN_SOLVE_ROWOFFSETS_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Where each state's transitions start in a chain's arrays: num_states + 1
// offsets that never decrease. Each is kept in 4 bytes, which is 4 bytes per
// state less than a size_t on the largest chains; a chain of 2^32
// transitions or more also records the offsets at which the count passes
// each multiple of 2^32 (a handful of entries), so any chain can be held.
class RowOffsets {
 public:
  RowOffsets() = default;
  RowOffsets(std::initializer_list<std::size_t> values) {
    for (std::size_t value : values) push_back(value);
  }

  // `value` must be at least the last one.
  void push_back(std::size_t value) {
    const std::size_t high = value >> 32;
    while (carries_.size() < high) carries_.push_back(low_.size());
    low_.push_back(static_cast<std::uint32_t>(value));
  }
  void reserve(std::size_t count) { low_.reserve(count); }
  void clear() {
    low_.clear();
    carries_.clear();
  }

  std::size_t size() const { return low_.size(); }
  bool empty() const { return low_.empty(); }
  std::size_t operator[](std::size_t i) const {
    const std::size_t low = low_[i];
    return carries_.empty() ? low : low + High(i);
  }
  std::size_t back() const { return (*this)[size() - 1]; }
  // The offsets as 4-byte values where every one fits (no count has passed
  // 2^32), for hot loops; null otherwise.
  const std::uint32_t* narrow() const {
    return carries_.empty() ? low_.data() : nullptr;
  }

  std::vector<std::size_t> ToVector() const {
    std::vector<std::size_t> values(size());
    for (std::size_t i = 0; i < size(); ++i) values[i] = (*this)[i];
    return values;
  }
  bool operator==(const RowOffsets& other) const {
    return low_ == other.low_ && carries_ == other.carries_;
  }

 private:
  // carries_[k] is the first index whose offset is at least (k + 1) 2^32.
  std::size_t High(std::size_t i) const {
    const auto passed = static_cast<std::size_t>(
        std::upper_bound(carries_.begin(), carries_.end(), i) -
        carries_.begin());
    return passed << 32;
  }

  std::vector<std::uint32_t> low_;
  std::vector<std::size_t> carries_;
};

#endif  // GEN_SOLVE_ROWOFFSETS_H_
