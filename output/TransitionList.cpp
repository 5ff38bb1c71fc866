#include "output/TransitionList.h"

#include <algorithm>

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
  for (const Recorded& item : pending_) {
    if (!merged_.empty() && merged_.back().target == item.target) {
      merged_.back().rate += item.rate;
    } else {
      // An entry starts at 0.0 and the first rate is added to it.
      merged_.push_back({item.target, 0.0 + item.rate});
    }
  }
  return merged_;
}
