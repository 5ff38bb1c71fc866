#ifndef GEN_FRAMEWORK_BASEACTIONCLASS_H_
#define GEN_FRAMEWORK_BASEACTIONCLASS_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/FastSet.h"
#include "base/List.h"

class BaseModelClass;
class BaseStateVariableClass;

// Distribution type of an action. Any other value is stored and printed
// unchanged; state-space generation does not support it.
enum Distribution : int {
  Exponential = 1,
  Deterministic = 2,
  Erlang = 7,
  Instantaneous = 18,
};

enum ExecutionPolicyType : int { kDefaultExecutionPolicy = 1 };

// Root of everything that can change a model's state when it completes: an
// activity, one case of an activity, or a group of actions.
class BaseActionClass {
 public:
  BaseActionClass();
  BaseActionClass(const char* name, int group_id, Distribution distribution,
                  ExecutionPolicyType policy, int num_affected,
                  int num_enabling, bool reactivation);
  BaseActionClass(const BaseActionClass&) = delete;
  BaseActionClass& operator=(const BaseActionClass&) = delete;
  virtual ~BaseActionClass();

  virtual bool isSync();
  virtual bool Enabled();
  virtual double Weight();
  virtual double Rate();
  virtual bool ReactivationPredicate();
  virtual bool ReactivationFunction();
  virtual double SampleDistribution();
  // The action's distribution parameters (for a deterministic action, entry
  // 0 is its delay), or null.
  virtual double* ReturnDistributionParameters();
  virtual void SetFired(int fired);
  // Changes the marking; returns the action that really fired, or null.
  virtual BaseActionClass* Fire();
  virtual int Rank();
  virtual bool EnablingChange();
  virtual bool IsAMember(BaseActionClass* action);
  virtual double Probability(BaseActionClass* action);
  virtual void printAffectedState(std::ostream* os);
  virtual void printEnablingState(std::ostream* os);
  virtual BaseActionClass* getPrintedAction();
  virtual double ErlangParamM();
  // Where a model file writes the action ("m.prism:5"), for messages; empty
  // when no file does (a compiled model).
  virtual std::string WrittenAt() const;

  // The two unnamed counts are accepted and not stored.
  void BaseActionClassInitialize(const char* name, int group_id,
                                 Distribution distribution,
                                 ExecutionPolicyType policy, int num_affected,
                                 int num_enabling, bool reactivation);
  void defineName(const char* name);
  void addEnablingSV(BaseStateVariableClass* sv);
  void addAffectedSV(BaseStateVariableClass* sv);
  void removeEnablingSV(BaseStateVariableClass* sv);
  void removeAffectedSV(BaseStateVariableClass* sv);

  bool IsPVRateDSAllocated() const { return PVRateSets != nullptr; }
  bool IsPVImpulseDSAllocated() const { return PVImpulseSets != nullptr; }
  void AllocatePVRateDS(int num_variables);
  void AllocatePVImpulseDS(int num_variables);
  void DeallocatePVRateDS();
  void DeallocatePVImpulseDS();

  void ResetPhase() { Phase = 1; }
  void Age() { Phase += 1; }
  bool ReadyToFire() { return static_cast<double>(Phase) == ErlangParamM(); }
  void PrintInfo();

  int GroupId;
  ExecutionPolicyType ExecutionPolicy;
  bool Disabled;
  bool Reactivation;
  std::string ActionName;
  bool Fired;
  Distribution DistributionType;
  BaseModelClass* OwnerModel;  // not owned
  FastSet AffectedNodesByImpulseReward;
  // One entry per reward variable, or null. Row i of the impulse rows is
  // empty until the reward model gives reward variable i impulse data: then
  // PVImpulsePointerRows[i][k] holds the worker indices of impulse k (null
  // until allocated) and PVImpulseIntRows[i][k] how many of them are used.
  std::unique_ptr<FastSet[]> PVImpulseSets;
  std::unique_ptr<std::vector<std::unique_ptr<std::vector<int>>>[]>
      PVImpulsePointerRows;
  std::unique_ptr<std::vector<int>[]> PVImpulseIntRows;
  std::unique_ptr<FastSet[]> PVRateSets;
  FastSet AffectedNodes;
  FastSet AffectedNodesByRateReward;
  short Phase;
  // The action's position in its model's list of actions, as the explorer's
  // source numbers them (the same in every copy of the model); kNoIndex
  // until it does.
  static constexpr std::uint32_t kNoIndex = 0xFFFFFFFF;
  std::uint32_t ListIndex = kNoIndex;
  List<BaseStateVariableClass> AffectedSVs;
  List<BaseStateVariableClass> EnablingSVs;
};

#endif  // GEN_FRAMEWORK_BASEACTIONCLASS_H_
