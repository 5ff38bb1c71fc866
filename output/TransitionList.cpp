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
  merged_.clear();
  // Most states have few transitions recorded in near order: insertion sort
  // is allocation-free and fast there; std::sort takes over for long lists.
  if (pending_.size() <= 32) {
    for (std::size_t i = 1; i < pending_.size(); ++i) {
      Recorded item = pending_[i];
      std::size_t j = i;
      while (j > 0 && pending_[j - 1].target > item.target) {
        pending_[j] = pending_[j - 1];
        --j;
      }
      pending_[j] = item;
    }
  } else {
    std::sort(pending_.begin(), pending_.end(),
              [](const Recorded& a, const Recorded& b) {
                return a.target != b.target ? a.target < b.target
                                            : a.sequence < b.sequence;
              });
  }
  // Written in place and trimmed afterwards: pushing whole entries built on
  // the stack stalls on reading them back.
  merged_.resize(pending_.size());
  Entry* out = merged_.data();
  std::size_t used = 0;
  for (const Recorded& item : pending_) {
    if (used > 0 && out[used - 1].target == item.target) {
      out[used - 1].rate += item.rate;
    } else {
      // An entry starts at 0.0 and the first rate is added to it.
      out[used].target = item.target;
      out[used].rate = 0.0 + item.rate;
      ++used;
    }
  }
  merged_.resize(used);
  return merged_;
}
