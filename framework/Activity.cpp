#include "framework/Activity.h"

#include "state/BaseStateVariableClass.h"

Activity::Activity() {
  Disabled = true;
  Reactivation = false;
  SelectedAction = this;
}

Activity::Activity(const char* name, int group_id, Distribution distribution,
                   ExecutionPolicyType policy, int num_affected,
                   int num_enabling, bool reactivation)
    : Activity() {
  ActivityInitialize(name, group_id, distribution, policy, num_affected,
                     num_enabling, reactivation);
}

void Activity::ActivityInitialize(const char* name, int group_id,
                                  Distribution distribution,
                                  ExecutionPolicyType policy, int num_affected,
                                  int num_enabling, bool reactivation) {
  BaseGroupClassInitialize(name, group_id, distribution, policy, num_affected,
                           num_enabling, reactivation);
}

bool Activity::EnablingChange() {
  Enabled();  // shifts NewEnabled into OldEnabled and re-evaluates
  return OldEnabled != NewEnabled;
}

double Activity::Probability(BaseActionClass* action) {
  return action == this ? 1.0 : 0.0;
}

bool Activity::SelectAction() { return Enabled(); }

void Activity::setGroupId(int group_id) { GroupId = group_id; }

bool Activity::IsAnAffectingStateVariable(BaseStateVariableClass* sv) {
  return AffectedSVs.contains(sv);
}
