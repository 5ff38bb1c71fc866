#ifndef GEN_REWARD_PERFORMANCEVARIABLENODE_H_
#define GEN_REWARD_PERFORMANCEVARIABLENODE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reward/ActionModelPairClass.h"
#include "reward/ImpulseNodeClass.h"
#include "reward/ModelGroupClass.h"
#include "reward/PerformanceVariableWorker.h"
#include "reward/VarModelPairClass.h"

class BaseActionClass;
class BaseModelClass;

// Kind of reward variable; written as a decimal into the reward-variable
// type file. The node itself only tells 0 from every other value.
using RewardType = std::int32_t;

// One reward variable at one time point. Its rate reward is a function of
// the state, summed over one worker per combination of instances of the
// models it depends on; its impulse rewards are earned when given actions
// fire. A derived class calls Initialize, declares its dependencies and
// implements CreateWorkerList.
class PerformanceVariableNode {
 public:
  PerformanceVariableNode() = default;
  PerformanceVariableNode(const PerformanceVariableNode&) = delete;
  PerformanceVariableNode& operator=(const PerformanceVariableNode&) = delete;
  virtual ~PerformanceVariableNode();

  // Fills Workers[0..NumberOfWorkers-1] with workers whose ModelPointers
  // name their model fields.
  virtual void CreateWorkerList() = 0;
  virtual void Reset();

  // `time_index` selects the node's interval among the `num_time_points`
  // start and stop times. The capacities bound the impulses, model names and
  // variable dependencies that may be registered later.
  void Initialize(const char* name, RewardType type, int num_time_points,
                  const double* start_times, const double* stop_times,
                  int time_index, int num_impulses, int model_capacity,
                  int variable_capacity);
  void AddVariableDependency(const char* variable, const char* model);
  // Stores `top` through ModelRef and counts the workers it needs.
  void FixReferences(BaseModelClass* top);
  void GetNumberOfImpulseWorkers();
  // One model group per combination of model instances, the first model
  // name varying slowest. A model name with no instance under the top model
  // is fatal (exit 1).
  void CreateModelGroupList();
  void FixWorkerList();
  // Records in `action`'s rate set for this node the workers whose group
  // contains `model`.
  void AddPVWorkersToAction(BaseActionClass* action, BaseModelClass* model);
  void CreateImpulseModelGroupList();
  void CreateImpulseWorkerLists();
  void FixImpulseWorkerLists();

  // Recomputes RewardValue from the current state and ImpulseValue from the
  // firing of `action`. Allocates nothing.
  void CurrentReward(BaseActionClass* action);
  // True when `action` (or, for a synchronising action, any member) earns
  // this node an impulse.
  bool ImpulseAffectedBy(BaseActionClass* action);

  void CommonAccumulate(double t, double last_time, BaseActionClass* action);
  void TotalAccumulation();
  void Accumulate(double t, double last_time, BaseActionClass* action);
  void EndAccumulate(double t, double last_time, BaseActionClass* action);
  void UpdateAccumulate(double t);

  RewardType GetRewardType() const { return Type; }
  int GetNumTimePoints() const { return NumTimePoints; }
  // `k` in 0..GetNumTimePoints()-1.
  double GetStartTime(int k) const;
  double GetStopTime(int k) const;
  const char* getName() const { return Name.c_str(); }
  bool IsDependentOnModel(const char* name) const;
  bool IsDependentOnImpulseModel(const char* name, int impulse) const;
  // Index of `prototype` among the registered impulses, or -1.
  int GetImpulseNumber(const ImpulseNodeClass* prototype) const;
  void AddModelDependency(const char* model);
  // Renames every worker and impulse worker.
  void DefineName(const char* name);
  void InitializeTimeArrays(int n, const double* start_times,
                            const double* stop_times);

  // Registers `prototype` (not owned; it must outlive the node) as the
  // impulse earned when `action` of `model` fires.
  void AddImpulse(const char* action, const char* model,
                  ImpulseNodeClass* prototype);
  // An unregistered prototype is fatal (exit 1).
  void AddImpulseModelDependency(const char* model,
                                 ImpulseNodeClass* prototype);
  void AddImpulseActionDependency(const char* action, const char* model,
                                  int impulse);
  void AddImpulseModelDependency(const char* model, int impulse);

  // Class-wide counter from which Initialize numbers nodes. A reward model
  // renumbers its nodes by their index in its list.
  static int the_id;

  BaseModelClass** ModelRef = nullptr;
  std::string Name;
  double RewardValue = 0.0;
  double RewardSquare = 0.0;
  double StartTime = -1.0;
  double StopTime = -1.0;
  int NumTimePoints = 0;
  std::vector<double> StartTimes;
  std::vector<double> StopTimes;
  double ImpulseValue = 0.0;
  double ImpulseSquare = 0.0;
  double IntervalLength = 0.0;
  int TimeType = 0;  // 1: Reset moves the interval forward by its length
  RewardType Type = 0;
  int AccumulationStatus = 0;  // 0 not started, 1 accumulating, 2 finished
  // Index of the node's entries in the per-action reward sets; equals its
  // index in its reward model's list.
  int ID = -1;
  std::vector<BaseActionClass*> AffectingActions;  // not owned
  int AffectingActionCount = 0;
  std::vector<ModelGroupClass> ModelGroups;
  int NumberOfWorkers = 0;
  std::vector<std::unique_ptr<PerformanceVariableWorker>> Workers;
  std::vector<VarModelPairClass> VariableDependencies;
  int NumVariableDependencies = 0;
  int NumImpulses = 0;
  std::vector<int> ImpulseModelNameCounts;
  std::vector<int> NumImpulseWorkers;
  std::vector<int> ImpulseActionModelCounts;
  std::vector<ImpulseNodeClass*> ImpulsePrototypes;  // not owned
  std::vector<std::vector<std::unique_ptr<ImpulseNodeClass>>> ImpulseWorkers;
  std::vector<ActionModelPairClass> ImpulseSpecs;
  std::vector<std::vector<std::string>> ImpulseModelNames;
  std::vector<std::vector<ModelGroupClass>> ImpulseModelGroups;
  std::vector<std::string> ModelNames;
  int NumModelNames = 0;
  // Entries of the per-action reward arrays of the node's reward model: the
  // bound that ID is checked against before it indexes them.
  int NumPVsInModel = 0;

 private:
  int variable_capacity_ = 0;
  int model_capacity_ = 0;

  // The model names of impulse `i`, followed by the model of its
  // (model, action) pair when that is not among them.
  std::vector<std::string> ImpulseGroupNames(int i) const;
  // Where the model of the impulse's (model, action) pair sits in its groups.
  int ImpulseActionModelSlot(int i) const;
  void CheckSlot(const BaseActionClass* action) const;
};

#endif  // GEN_REWARD_PERFORMANCEVARIABLENODE_H_
