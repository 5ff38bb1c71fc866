#ifndef GEN_REWARD_PERFORMANCEVARIABLEWORKER_H_
#define GEN_REWARD_PERFORMANCEVARIABLEWORKER_H_

#include <string>
#include <vector>

#include "base/Contract.h"
#include "framework/BaseModelClass.h"

// The address of a worker's typed model field (such as `sanSAN* sanModel`)
// together with the way to store a model there. Store() checks that the
// model found by name really is of the field's type.
class ModelBinding {
 public:
  template <typename M>
  static ModelBinding To(M** field) {
    return ModelBinding(field, [](void* address, BaseModelClass* model) {
      M* typed = dynamic_cast<M*>(model);
      GEN_CHECK(typed != nullptr);
      *static_cast<M**>(address) = typed;
    });
  }

  void Store(BaseModelClass* model) const { store_(field_, model); }
  const void* field() const { return field_; }

 private:
  using StoreFunction = void (*)(void*, BaseModelClass*);
  ModelBinding(void* field, StoreFunction store)
      : field_(field), store_(store) {}

  void* field_;
  StoreFunction store_;
};

// Evaluates a reward function on one group of models (one instance of each
// model name the reward variable depends on).
class PerformanceVariableWorker {
 public:
  PerformanceVariableWorker() = default;
  PerformanceVariableWorker(const PerformanceVariableWorker&) = delete;
  PerformanceVariableWorker& operator=(const PerformanceVariableWorker&) =
      delete;
  virtual ~PerformanceVariableWorker();

  // The reward in the current state of the worker's models.
  virtual double Reward_Function() = 0;
  // Accumulates over [last_time, t] clipped to the worker's interval.
  virtual void Accumulate(double t, double last_time) = 0;
  // Brings Value (and, where kept, Square) up to the current state.
  virtual void CurrentReward();
  virtual void Reset();

  void DefineName(const char* name, int index);

  // Entry k receives the model of the node's model name k.
  std::vector<ModelBinding> ModelPointers;
  int NumModelPointers = 0;
  std::string Name;
  int Index = -1;
  int NodeID = -1;
  double Value = 0.0;
  double Square = 0.0;
};

#endif  // GEN_REWARD_PERFORMANCEVARIABLEWORKER_H_
