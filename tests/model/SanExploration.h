#ifndef GEN_TESTS_MODEL_SANEXPLORATION_H_
#define GEN_TESTS_MODEL_SANEXPLORATION_H_

#include <deque>
#include <set>
#include <vector>

#include "framework/BaseActionClass.h"
#include "framework/BaseModelClass.h"

using Bytes = std::vector<unsigned char>;

inline Bytes Image(BaseModelClass& model) {
  Bytes image(static_cast<std::size_t>(model.StateSize()));
  model.CurrentState(image.data());
  return image;
}

// Fires enabled instantaneous actions from `state` until none is enabled
// and collects the stable markings reached.
inline void Settle(BaseModelClass& model, const Bytes& state,
                   std::set<Bytes>& stable) {
  bool vanishing = false;
  for (int i = 0; i < model.NumActions; ++i) {
    BaseActionClass* action = model.Actions[i];
    Bytes copy = state;
    model.SetState(copy.data());
    if (action->DistributionType != Instantaneous || !action->Enabled()) {
      continue;
    }
    vanishing = true;
    action->Fire();
    Settle(model, Image(model), stable);
  }
  if (!vanishing) stable.insert(state);
}

// Breadth-first walk over the stable markings reachable from the model's
// current marking, firing each enabled timed action.
inline std::set<Bytes> StableMarkings(BaseModelClass& model) {
  std::set<Bytes> seen;
  Settle(model, Image(model), seen);
  std::deque<Bytes> queue(seen.begin(), seen.end());
  while (!queue.empty()) {
    const Bytes state = queue.front();
    queue.pop_front();
    for (int i = 0; i < model.NumActions; ++i) {
      BaseActionClass* action = model.Actions[i];
      Bytes copy = state;
      model.SetState(copy.data());
      if (action->DistributionType == Instantaneous || !action->Enabled()) {
        continue;
      }
      action->Fire();
      std::set<Bytes> reached;
      Settle(model, Image(model), reached);
      for (const Bytes& next : reached) {
        if (seen.insert(next).second) queue.push_back(next);
      }
    }
  }
  return seen;
}

#endif  // GEN_TESTS_MODEL_SANEXPLORATION_H_
