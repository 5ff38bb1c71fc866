#ifndef GEN_REWARD_VARMODELPAIRCLASS_H_
#define GEN_REWARD_VARMODELPAIRCLASS_H_

#include <string>

// A state variable that a rate reward reads, named by the model it belongs to
// and its own name.
class VarModelPairClass {
 public:
  VarModelPairClass() = default;

  void SetPair(const char* variable, const char* model);

  std::string ModelName;
  std::string VariableName;
};

#endif  // GEN_REWARD_VARMODELPAIRCLASS_H_
