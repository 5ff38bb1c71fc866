#ifndef GEN_REWARD_IMPULSENODECLASS_H_
#define GEN_REWARD_IMPULSENODECLASS_H_

#include <memory>
#include <string>
#include <vector>

#include "reward/PerformanceVariableWorker.h"

class BaseActionClass;
class BaseModelClass;

// An impulse worker: the amount a reward variable earns when a given action
// of one model instance fires. A reward variable registers one prototype per
// impulse; the prototype makes the workers (one per combination of model
// instances) through CreateWorkers.
class ImpulseNodeClass {
 public:
  ImpulseNodeClass() = default;
  ImpulseNodeClass(const ImpulseNodeClass&) = delete;
  ImpulseNodeClass& operator=(const ImpulseNodeClass&) = delete;
  virtual ~ImpulseNodeClass();

  // Closes the accumulation interval at time `t`.
  virtual void EndInterval(double t) = 0;
  // The amount earned when the impulse's action fires in the current state.
  virtual double Impulse_Function() = 0;
  // Adds the impulse of the latest firing to the accumulated values.
  virtual void Accumulate() = 0;
  // Sets Value and Square to the impulse that firing `action` earns.
  virtual void CurrentImpulse(BaseActionClass* action) = 0;
  // Starts a new accumulation interval.
  virtual void ResetInterval() = 0;
  // `n` new workers of the prototype's class.
  virtual std::vector<std::unique_ptr<ImpulseNodeClass>> CreateWorkers(
      int n) = 0;

  void DefineName(const char* name, int impulse_number, int index);
  void Reset();
  static double min(double a, double b) { return a < b ? a : b; }
  static double max(double a, double b) { return a > b ? a : b; }

  std::string Name;
  int Index = -1;
  int ImpulseNumber = -1;
  double Value = 0.0;
  double Square = 0.0;
  // Entry k receives the model of the impulse's model name k.
  std::vector<ModelBinding> ModelPointers;
  // The instance of the model named in the impulse's (model, action) pair whose
  // action this worker serves; set when the node fixes its impulse workers.
  BaseModelClass* ActionModel = nullptr;
};

#endif  // GEN_REWARD_IMPULSENODECLASS_H_
