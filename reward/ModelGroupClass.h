#ifndef GEN_REWARD_MODELGROUPCLASS_H_
#define GEN_REWARD_MODELGROUPCLASS_H_

#include <vector>

class BaseModelClass;

// One combination of model instances, one per model name a reward depends
// on: the models one worker evaluates its reward on. Not owning.
class ModelGroupClass {
 public:
  ModelGroupClass() = default;

  // Makes room for `n` models, all null.
  void CreateModelList(int n);
  // `i` in 0..NumModels-1.
  void SetModel(int i, BaseModelClass* model);
  BaseModelClass* GetModel(int i) const { return Models[i]; }
  // True when `model` (by identity) is one of the group's models.
  bool IsDependentOnModel(const BaseModelClass* model) const;

  std::vector<BaseModelClass*> Models;
  int NumModels = 0;
};

#endif  // GEN_REWARD_MODELGROUPCLASS_H_
