// The state variables' side of the links between state variables and the
// actions they enable or affect. These bodies need the action class, which is
// built on the state variables, so they live with the actions: the state
// layer stays free of any dependency on the action layer above it.

#include "framework/BaseActionClass.h"
#include "state/BaseStateVariableClass.h"

void BaseStateVariableClass::addSelfAsEnablingSVToAction(
    BaseActionClass* action) {
  action->addEnablingSV(this);
}

void BaseStateVariableClass::addSelfAsAffectedSVToAction(
    BaseActionClass* action) {
  action->addAffectedSV(this);
}

void BaseStateVariableClass::removeSelfFromEnablingSVOfAction(
    BaseActionClass* action) {
  action->removeEnablingSV(this);
}

void BaseStateVariableClass::removeSelfFromAffectedSVOfAction(
    BaseActionClass* action) {
  action->removeAffectedSV(this);
}

void BaseStateVariableClass::replaceSelfInActions(
    BaseStateVariableClass* replacement) {
  for (int i = 0; i < AffectingActions->getNumItems(); ++i) {
    AffectingActions->getItem(i)->AffectedSVs.replaceItem(this, replacement);
  }
  for (int i = 0; i < EnabledActions->getNumItems(); ++i) {
    EnabledActions->getItem(i)->EnablingSVs.replaceItem(this, replacement);
  }
}
