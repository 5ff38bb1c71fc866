#include "output/TransitionList.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// The longest list sorted by ranking each key against every other.
constexpr std::size_t kRankedMax = 16;

// Sorts the keys of `count` records (record i's key is its target above i)
// and sums the rates of equal targets into `out`, in recording order;
// returns the entries written. `rate_of(i)` is record i's rate.
template <typename RateOf>
std::size_t SortAndSum(std::uint64_t* keys, std::size_t count, Transition* out,
                       RateOf rate_of) {
  std::uint64_t sorted[kRankedMax];
  if (count <= kRankedMax) {
    // A key's place is the number of keys before it in (target, position)
    // order: counted without a branch, where an insertion sort mispredicts
    // about once per key, and the places of distinct keys never collide.
    std::uint32_t targets[kRankedMax];
    for (std::size_t i = 0; i < count; ++i) {
      targets[i] = static_cast<std::uint32_t>(keys[i] >> 32);
    }
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint32_t target = targets[i];
      std::size_t place = 0;
      for (std::size_t j = 0; j < i; ++j) place += targets[j] <= target;
      for (std::size_t j = i + 1; j < count; ++j) place += targets[j] < target;
      sorted[place] = keys[i];
    }
    keys = sorted;
  } else if (count <= 32) {
    // Insertion sort is allocation-free and still fast here; std::sort
    // takes over for long lists.
    for (std::size_t i = 1; i < count; ++i) {
      const std::uint64_t key = keys[i];
      std::size_t j = i;
      while (j > 0 && keys[j - 1] > key) {
        keys[j] = keys[j - 1];
        --j;
      }
      keys[j] = key;
    }
  } else {
    std::sort(keys, keys + count);
  }
  // Written in place field by field: pushing whole entries built on the
  // stack stalls on reading them back.
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const auto target = static_cast<std::uint32_t>(keys[i] >> 32);
    const double rate = rate_of(keys[i] & 0xFFFFFFFFu);
    if (used > 0 && out[used - 1].target == target) {
      out[used - 1].rate += rate;
    } else {
      // An entry starts at 0.0 and the first rate is added to it.
      out[used].target = target;
      out[used].rate = 0.0 + rate;
      ++used;
    }
  }
  return used;
}

}  // namespace

const std::vector<TransitionList::Entry>& TransitionList::Merge() {
  // Sorted as 64-bit keys, the target above the recording position, rather
  // than as 16-byte records: the order is the same (by target, then as
  // recorded) and moving one register is cheaper than moving a record.
  const std::size_t count = pending_.size();
  if (keys_.size() < count) keys_.resize(count);
  std::uint64_t* keys = keys_.data();
  for (std::size_t i = 0; i < count; ++i) {
    keys[i] = std::uint64_t{pending_[i].target} << 32 | i;
  }
  merged_.resize(count);
  const std::size_t used =
      SortAndSum(keys, count, merged_.data(),
                 [this](std::size_t i) { return pending_[i].rate; });
  merged_.resize(used);
  return merged_;
}

const TransitionList::Entry* TransitionList::MergeRecorded(
    const void* records, std::size_t count, std::size_t& merged) {
  // Fields are copied out of the bytes, which hold records but are not
  // records.
  const auto* bytes = static_cast<const char*>(records);
  const auto field = [bytes](std::size_t i, std::size_t offset) {
    return bytes + i * sizeof(Recorded) + offset;
  };
  if (keys_.size() < count) keys_.resize(count);
  if (merged_recorded_.size() < count) merged_recorded_.resize(count);
  std::uint64_t* keys = keys_.data();
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t target = 0;
    std::memcpy(&target, field(i, offsetof(Recorded, target)), sizeof target);
    keys[i] = std::uint64_t{target} << 32 | i;
  }
  merged =
      SortAndSum(keys, count, merged_recorded_.data(), [&field](std::size_t i) {
        double rate = 0.0;
        std::memcpy(&rate, field(i, offsetof(Recorded, rate)), sizeof rate);
        return rate;
      });
  return merged_recorded_.data();
}
