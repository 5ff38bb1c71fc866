#ifndef GEN_REWARD_ACTIONMODELPAIRCLASS_H_
#define GEN_REWARD_ACTIONMODELPAIRCLASS_H_

#include <string>

// The action that earns an impulse reward, named by the model it belongs to
// and its own name. Both are empty until SetPair.
class ActionModelPairClass {
 public:
  ActionModelPairClass() = default;

  void SetPair(const char* action, const char* model);

  std::string ModelName;
  std::string ActionName;
};

#endif  // GEN_REWARD_ACTIONMODELPAIRCLASS_H_
