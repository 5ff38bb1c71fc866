#include "framework/BaseModelClass.h"

#include <iostream>

#include "base/Contract.h"
#include "framework/BaseActionClass.h"
#include "state/BaseStateVariableClass.h"

double BaseModelClass::LastActionTime = 0.0;

namespace {

int NextModelId() {
  static int globalModelId = 0;
  return ++globalModelId;
}

}  // namespace

BaseModelClass::BaseModelClass()
    : NumStateVariables(0),
      NumActions(0),
      NumGroups(0),
      Groups(nullptr),
      HasName(false),
      ModelId(NextModelId()),
      Actions(nullptr) {}

BaseModelClass::~BaseModelClass() = default;

void BaseModelClass::printState(std::ostream*) {}

void BaseModelClass::printState() { printState(&std::cout); }

BaseStateVariableClass** BaseModelClass::GetLocalStateVariables(std::ostream*) {
  return nullptr;
}

BaseStateVariableClass** BaseModelClass::GetSharedStateVariables() {
  return nullptr;
}

BaseStateVariableClass* BaseModelClass::getMainSharedVariable(
    BaseStateVariableClass*) {
  return nullptr;
}

List<BaseStateVariableClass>* BaseModelClass::getListOfSharedVariables(
    BaseStateVariableClass*) {
  return nullptr;
}

void BaseModelClass::AddAffectArc(BaseStateVariableClass* sv,
                                  BaseActionClass* a) {
  sv->appendAffectingAction(a);
  a->addAffectedSV(sv);
}

void BaseModelClass::AddEnableArc(BaseStateVariableClass* sv,
                                  BaseActionClass* a) {
  sv->appendEnabledAction(a);
  a->addEnablingSV(sv);
}

// The operations below exist only for model kinds this system never builds.

int BaseModelClass::GetModelType() {
  GEN_CHECK(false);
  return 0;
}

int BaseModelClass::GetNumberOfChildren() {
  GEN_CHECK(false);
  return 0;
}

BaseModelClass* BaseModelClass::GetChild(int) {
  GEN_CHECK(false);
  return nullptr;
}

void BaseModelClass::GetLocalActions(ActionChain&) { GEN_CHECK(false); }

void BaseModelClass::GetGlobalActions(ActionChain&) { GEN_CHECK(false); }

bool BaseModelClass::HasLocalState() {
  GEN_CHECK(false);
  return false;
}

void BaseModelClass::GetLocalState(State*) { GEN_CHECK(false); }

void BaseModelClass::SetLocalState(const State*) { GEN_CHECK(false); }

void BaseModelClass::ConstructLocalState(State*&) { GEN_CHECK(false); }

void BaseModelClass::DestructLocalState(State*) { GEN_CHECK(false); }

void BaseModelClass::DefineName(const char* name) {
  Name = name;
  HasName = true;
}
