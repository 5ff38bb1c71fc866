#ifndef GEN_REWARD_SETQUERIES_H_
#define GEN_REWARD_SETQUERIES_H_

#include "base/FastSet.h"

// Membership and emptiness of a FastSet in either phase: the reward sets on
// actions are frozen once the reward model is built, and are then searched
// in their sorted array.
inline bool SetContains(FastSet& set, int value) {
  if (!set.IsFrozen()) return set.find(value);
  int lo = 0;
  int hi = set.size();
  while (lo < hi) {
    const int mid = lo + (hi - lo) / 2;
    if (set[mid] < value) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < set.size() && set[lo] == value;
}

inline bool SetIsEmpty(const FastSet& set) {
  return set.IsFrozen() ? set.size() == 0 : set.empty();
}

#endif  // GEN_REWARD_SETQUERIES_H_
