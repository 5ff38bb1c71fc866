#ifndef GEN_FRAMEWORK_BASEGROUPCLASS_H_
#define GEN_FRAMEWORK_BASEGROUPCLASS_H_

#include <memory>
#include <ostream>

#include "framework/BaseActionClass.h"

// The uniform number in [0, 1) that a group selection draws: taken from the
// program-wide random number generator, or from the source installed for a
// test.
double DrawGroupUniform();
// Makes DrawGroupUniform return `source()` instead; null restores the
// program-wide generator.
void SetGroupUniformSourceForTesting(double (*source)());

// An action made of member actions. Timing questions and firing go through
// one selected member, drawn among the enabled members of highest Rank with
// probability proportional to their weights. The group does not own its
// members.
class BaseGroupClass : public BaseActionClass {
 public:
  struct WeightEntry {
    double CumulativeWeight;
    BaseActionClass* Action;
  };

  BaseGroupClass();
  BaseGroupClass(const char* name, int group_id, Distribution distribution,
                 ExecutionPolicyType policy, int num_affected, int num_enabling,
                 bool reactivation);
  BaseGroupClass(const char* name, int group_id, Distribution distribution,
                 ExecutionPolicyType policy, int num_affected, int num_enabling,
                 bool reactivation, int capacity);
  ~BaseGroupClass() override;

  bool Enabled() override;
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  int Rank() override;
  bool EnablingChange() override;
  bool IsAMember(BaseActionClass* action) override;
  double Probability(BaseActionClass* action) override;
  void printEnablingState(std::ostream* os) override;
  BaseActionClass* getPrintedAction() override;
  virtual bool SelectAction();
  virtual void setGroupId(int group_id);

  void BaseGroupClassInitialize(const char* name, int group_id,
                                Distribution distribution,
                                ExecutionPolicyType policy, int num_affected,
                                int num_enabling, bool reactivation);
  void initialize(int capacity, const char* name);
  // No duplicate test; full arrays grow by exactly one slot.
  void appendGroup(BaseActionClass* action);
  void appendMembers(BaseGroupClass* group);
  void enlargeArrays(int capacity);
  void setMember(BaseActionClass* action, int i);
  void replaceMember(BaseActionClass* old_action, BaseActionClass* new_action);
  // Total weight of the candidates, or -1.0 when no member is enabled.
  double CalculateWeightDistribution();
  void printGroup(const char* prefix, int indent);
  void printGroup();
  void PrintInfo();
  void Check() {}

  int getNumMembers() const { return NumMembers; }
  BaseActionClass* getMember(int i) const { return Members[i]; }

  std::unique_ptr<BaseActionClass*[]> Members;
  BaseActionClass* SelectedAction;
  std::unique_ptr<WeightEntry[]> WeightTable;
  int CurrentRank;
  int NumMembers;
  int NumCandidates;
  int MemberCapacity;
};

// Chooses its member before the group's timing is evaluated and keeps it
// until it fires.
class PreselectGroup : public BaseGroupClass {
 public:
  PreselectGroup();
  explicit PreselectGroup(int capacity);

  bool Enabled() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  int Rank() override;
  bool SelectAction() override;

  bool Reselect;
};

// Chooses its member only at the moment of firing. Timing questions are
// answered by its first member; its own Weight is 1.0 and Rank 1.
class PostselectGroup : public BaseGroupClass {
 public:
  PostselectGroup();
  explicit PostselectGroup(int capacity);

  double Weight() override;
  bool ReactivationPredicate() override;
  bool ReactivationFunction() override;
  double SampleDistribution() override;
  BaseActionClass* Fire() override;
  int Rank() override;
};

#endif  // GEN_FRAMEWORK_BASEGROUPCLASS_H_
