#ifndef GEN_FRAMEWORK_ACTIVITY_H_
#define GEN_FRAMEWORK_ACTIVITY_H_

#include "framework/BaseGroupClass.h"

class BaseStateVariableClass;

// Base of every SAN activity and activity case: a group without members
// whose selected action is itself. A concrete activity's Enabled() copies
// NewEnabled into OldEnabled, evaluates its predicate into NewEnabled and
// returns it.
class Activity : public BaseGroupClass {
 public:
  Activity();
  Activity(const char* name, int group_id, Distribution distribution,
           ExecutionPolicyType policy, int num_affected, int num_enabling,
           bool reactivation);

  BaseActionClass* Fire() override = 0;
  bool EnablingChange() override;
  double Probability(BaseActionClass* action) override;
  bool SelectAction() override;
  void setGroupId(int group_id) override;
  // Binds the activity's place and marking pointers.
  virtual void LinkVariables() = 0;

  void ActivityInitialize(const char* name, int group_id,
                          Distribution distribution,
                          ExecutionPolicyType policy, int num_affected,
                          int num_enabling, bool reactivation);
  bool IsAnAffectingStateVariable(BaseStateVariableClass* sv);

  bool NewEnabled = false;
  bool OldEnabled = false;
};

#endif  // GEN_FRAMEWORK_ACTIVITY_H_
