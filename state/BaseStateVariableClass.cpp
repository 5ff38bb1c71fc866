#include "state/BaseStateVariableClass.h"

#include <iostream>

BaseStateVariableClass::BaseStateVariableClass()
    : BaseStateVariableClass("default", "") {}

BaseStateVariableClass::BaseStateVariableClass(const char* name,
                                               const char* prefix)
    : Name(name),
      Prefix(prefix),
      shared(false),
      stored(true),
      functionallyShared(false),
      sharingCount(0),
      AffectingActions(nullptr),
      EnabledActions(nullptr),
      own_affecting_(std::make_unique<List<BaseActionClass>>()),
      own_enabled_(std::make_unique<List<BaseActionClass>>()) {
  AffectingActions = own_affecting_.get();
  EnabledActions = own_enabled_.get();
}

BaseStateVariableClass::~BaseStateVariableClass() = default;

void BaseStateVariableClass::printState(std::ostream*) {}

void BaseStateVariableClass::printState() { printState(&std::cout); }

void BaseStateVariableClass::printStateVal(std::ostream*) {}

void BaseStateVariableClass::appendAffectingAction(BaseActionClass* action) {
  AffectingActions->append(action);
}

void BaseStateVariableClass::removeAffectingAction(BaseActionClass* action) {
  AffectingActions->remove(action);
}

void BaseStateVariableClass::replaceAffectingAction(
    BaseActionClass* old_action, BaseActionClass* new_action) {
  AffectingActions->replaceItem(old_action, new_action);
}

std::unique_ptr<List<BaseStateVariableClass>>
BaseStateVariableClass::getLeafNodes() {
  auto leaves = std::make_unique<List<BaseStateVariableClass>>();
  leaves->append(this);
  return leaves;
}

int BaseStateVariableClass::getNumLeafNodes() { return 1; }

bool BaseStateVariableClass::isLeafNode() { return true; }

void BaseStateVariableClass::appendEnabledAction(BaseActionClass* action) {
  EnabledActions->append(action);
}

void BaseStateVariableClass::removeEnabledAction(BaseActionClass* action) {
  EnabledActions->remove(action);
}

void BaseStateVariableClass::replaceEnabledAction(BaseActionClass* old_action,
                                                  BaseActionClass* new_action) {
  EnabledActions->replaceItem(old_action, new_action);
}

void BaseStateVariableClass::SetName(const char* name) { Name = name; }

void BaseStateVariableClass::SetPrefix(const char* prefix) { Prefix = prefix; }

void BaseStateVariableClass::setAffectingActions(List<BaseActionClass>* list) {
  AffectingActions = list;
}

void BaseStateVariableClass::setEnabledActions(List<BaseActionClass>* list) {
  EnabledActions = list;
}

void BaseStateVariableClass::copyAffectingActions(List<BaseActionClass>* list) {
  AffectingActions->append(list);
}

void BaseStateVariableClass::copyEnabledActions(List<BaseActionClass>* list) {
  EnabledActions->append(list);
}

int BaseStateVariableClass::getNumAffectingActions() const {
  return AffectingActions->getNumItems();
}

int BaseStateVariableClass::getNumEnabledActions() const {
  return EnabledActions->getNumItems();
}

BaseActionClass* BaseStateVariableClass::getAffectingAction(int i) {
  if (i >= AffectingActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getAffectingAction(int): "
              << " AffectingAction index out of bounds" << '\n'
              << std::flush;
    return nullptr;
  }
  return AffectingActions->getItem(i);
}

BaseActionClass* BaseStateVariableClass::getEnabledAction(int i) {
  if (i >= EnabledActions->getNumItems()) {
    std::cerr << "!! BaseStateVariableClass::getEnabledAction(int): "
              << " EnabledAction index out of bounds" << '\n'
              << std::flush;
    return nullptr;
  }
  return EnabledActions->getItem(i);
}

void BaseStateVariableClass::printAffectingActions() {
  std::cout << "Affecting actions for " << Name << ":\n" << std::flush;
  AffectingActions->printList();
}

void BaseStateVariableClass::printEnabledActions() {
  std::cout << "Enabled actions for " << Name << ":\n" << std::flush;
  EnabledActions->printList();
}

void BaseStateVariableClass::AdoptSharedLists(List<BaseActionClass>* affecting,
                                              List<BaseActionClass>* enabled) {
  // A variable may be asked to adopt lists it already created (the hub of a
  // group re-registering itself); those must survive.
  if (own_affecting_.get() != affecting) own_affecting_.reset();
  if (own_enabled_.get() != enabled) own_enabled_.reset();
  AffectingActions = affecting;
  EnabledActions = enabled;
}
