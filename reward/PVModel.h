#ifndef GEN_REWARD_PVMODEL_H_
#define GEN_REWARD_PVMODEL_H_

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/BaseActionClass.h"
#include "framework/BaseModelClass.h"
#include "output/RewardTypeFile.h"

class FastSet;
class PerformanceVariableNode;

// Root of the model tree that the generator works on. It wraps one child
// model, owns the reward variables, and defines the state vector: the flat
// byte image that the generator stores, hashes and compares. Two states are
// the same state exactly when their vectors are byte-for-byte equal.
// Abstract: a derived class creates the child, sets ChildModel, implements
// createPVNode and calls CreatePVList and then Initialize.
class PVModel : public BaseModelClass {
 public:
  PVModel();
  ~PVModel() override;

  void listModels(const char* name, List<BaseModelClass>* out) override;
  void CurrentState(void* image) override;
  void listActions(List<BaseActionClass>* out) override;
  void listGroups(List<BaseGroupClass>* out) override;
  void SetState(void* image) override;
  // SetState(target) for a model whose marking is `current`, an image that
  // CurrentState wrote and that still holds the marking: only the places
  // whose markings differ are written. A firing changes few places, so this
  // undoes one cheaply. Index bytes are ignored, as SetState ignores them.
  void RestoreState(const void* current, void* target);
  int StateSize() override { return TotalStateSize; }
  bool CompareState(void* a, void* b) override;
  void listActions(const char* name, List<BaseActionClass>* out) override;
  void listSVs(const char* model, const char* sv,
               List<BaseStateVariableClass>* svs,
               List<BaseModelClass>* models) override;
  void printState(std::ostream* os) override;
  // The child model's marking.
  std::string DescribeMarking() const override;
  using BaseModelClass::printState;
  // Creates the node of reward variable `variable` at time point
  // `time_index`; null for an unknown variable. Owned by the caller.
  virtual PerformanceVariableNode* createPVNode(int variable,
                                                int time_index) = 0;

  // Whether exploration passes over a timed firing of rate 0 and a
  // zero-time choice of weight 0 instead of firing them: a case of
  // probability 0 of a model read from a file may hold values that it
  // never produces. Compiled models fire them (their firings record
  // nothing). Such a model also has the weight of a lone zero-time action
  // checked, as beside others.
  virtual bool SkipsImpossibleFirings() const { return false; }
  // Whether a vanishing initial marking is resolved in zero time into the
  // stable markings it leads to, each an initial state with its
  // probability, instead of being refused. Compiled models refuse it.
  virtual bool ResolvesVanishingInitialMarking() const { return false; }

  // Whether a reward variable earns an impulse when an instantaneous or a
  // deterministic action fires: such firings have no rate that the state
  // alone determines, so the explorer adds their impulses (see SanSource):
  // to the rate reward of the stable state whose exponential firing sets
  // them off, at that firing's rate times the probability of the zero-time
  // path; or, after a deterministic firing, to the branch it takes.
  virtual bool EarnsFiringImpulses() const { return false; }
  // Adds `rate` times the impulse that each reward variable earns when
  // `action` fires in the current marking to that variable's rate reward
  // in `record`, a reward record as CurrentRewards writes it.
  virtual void AddFiringImpulses(const BaseActionClass& /*action*/,
                                 double /*rate*/, double* /*record*/) {}

  void CreatePVList(int num_variables, bool expand_time_points);
  void Initialize();
  // A null list considers every node; the count is then ignored.
  void ConsiderOnly(int* indices, int count);
  // Fires `action` in the current state, brings the considered nodes'
  // current rewards up to date (unless deferred) and writes the new state
  // vector to `state`.
  void FireAction(void* state, BaseActionClass* action);
  // While set, FireAction leaves the current rewards as they were:
  // RecomputeRewards brings them up to date when they are needed.
  void DeferRewards(bool defer) { defer_rewards_ = defer; }
  // Brings the considered nodes' current rewards up to date for the
  // current marking as FireAction would have right after `action` fired.
  void RecomputeRewards(BaseActionClass* action);
  // Restores the last action from `state` and recomputes current rewards;
  // nothing fires.
  void AgeAction(char* state, BaseActionClass* action);
  // Writes the reward-variable type file. False when the file could not be
  // written completely.
  [[nodiscard]] bool WritePVTypeFile(const char* file_name);
  // The reward variables as the type file describes them, and their names
  // (the .var header), in node order.
  std::vector<RewardVariableType> RewardTypes() const;
  std::vector<std::string> RewardNames() const;
  // The reward record of the current state: each node's impulse and rate
  // reward as the latest firing left them (2 * PVList.size() doubles).
  void CurrentRewards(double* out) const;
  void FireAction(BaseActionClass* action, double time);
  int CreatePVStateIndex();
  int BytesFor(int n);
  int StateIndexLookup(void* image);
  void GetPVState(void* image);
  void PutPVState(void* image);
  void PVReset();
  void SteadyState();
  void Accumulate(double t);
  void EndAccumulate(double t);
  void MakeAffectedLists();
  void MakeImpulseAffectedLists();
  void CreateAffectedLists();
  void CreateTotalPVAffectsList(BaseActionClass* action);
  void RemakeAffectedLists() {}
  void Destruct();

  std::vector<std::unique_ptr<PerformanceVariableNode>> PVList;
  int NumPVs;
  std::unique_ptr<BaseModelClass> ChildModel;
  BaseActionClass* LastActionFired;  // not owned
  BaseActionClass** ActionArray;     // the child's, NumActions entries
  double MaxStopTime;
  std::vector<BaseActionClass*> PVAffectingActions;
  std::vector<FastSet*> PVAffectedSets;
  int NumRateDSActions;
  int NumImpulseDSActions;
  int NumPVAffectingActions;
  int NumIndexActions;
  int SANStateSize;
  int TotalStateSize;
  int IndexBytes;
  int LastActionInState;
  BaseActionClass** IndexActions;  // borrowed
  BaseActionClass NoActionFired;
  std::vector<PerformanceVariableNode*> ConsideredPVs;

 private:
  // When the child is a SAN model whose stored places are all plain, unshared
  // places, their markings in image order: SetState and CurrentState then
  // copy the markings directly instead of asking each place through its
  // virtual interface. Empty otherwise. Places are shared only while models
  // are built, so the markings do not move after Initialize.
  void FindPlaceMarks();

  std::vector<short*> place_marks_;
  bool defer_rewards_ = false;
  bool destructed_ = false;
};

#endif  // GEN_REWARD_PVMODEL_H_
