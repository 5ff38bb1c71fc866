#include "output/TransitionList.h"

#include <algorithm>
#include <cstring>

void TransitionList::AssignRecorded(const void* records, std::size_t count) {
  pending_.resize(count);
  if (count > 0) {
    std::memcpy(pending_.data(), records, count * sizeof(Recorded));
  }
  merged_.clear();
  sequence_ = static_cast<std::uint32_t>(count);
  magnitude_ = 0.0;
  for (const Recorded& item : pending_) magnitude_ += std::fabs(item.rate);
}

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
  // Most states have few transitions: insertion sort is allocation-free
  // and fast there; std::sort takes over for long lists.
  if (count <= 32) {
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
  // Written in place and trimmed afterwards: pushing whole entries built on
  // the stack stalls on reading them back.
  merged_.resize(count);
  Entry* out = merged_.data();
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const auto target = static_cast<std::uint32_t>(keys[i] >> 32);
    const double rate = pending_[keys[i] & 0xFFFFFFFFu].rate;
    if (used > 0 && out[used - 1].target == target) {
      out[used - 1].rate += rate;
    } else {
      // An entry starts at 0.0 and the first rate is added to it.
      out[used].target = target;
      out[used].rate = 0.0 + rate;
      ++used;
    }
  }
  merged_.resize(used);
  return merged_;
}
