#include "state/StructStateVariable.h"

#include "base/Contract.h"

BaseStructStateVariable::BaseStructStateVariable()
    : BaseStateVariableClass(), stateSize(0) {}

BaseStructStateVariable::BaseStructStateVariable(const char* name,
                                                 const char* prefix)
    : BaseStateVariableClass(name, prefix), stateSize(-1) {}

BaseStructStateVariable::BaseStructStateVariable(const char* name,
                                                 const char* prefix,
                                                 const ArrayType* types, int n)
    : BaseStructStateVariable(name, prefix) {
  makeArrays(types, n);
}

BaseStructStateVariable::~BaseStructStateVariable() = default;

int BaseStructStateVariable::FieldWidth(const fieldType& f) {
  switch (f.type) {
    case kShortElement:
      return 2;
    case kIntElement:
    case kFloatElement:
      return 4;
    case kCharElement:
      return 1;
    case kDoubleElement:
      return 8;
    default:
      return f.variable->StateSize();
  }
}

void BaseStructStateVariable::makeArrays(const ArrayType* types, int n) {
  for (int i = 0; i < n; ++i) fields.push_back(field(types[i], nullptr));
  stateSize = -1;
}

BaseStructStateVariable::fieldType BaseStructStateVariable::field(
    ArrayType type, BaseStateVariableClass* sv) const {
  return fieldType{sv, type};
}

int BaseStructStateVariable::calculateStateSize() {
  int size = 0;
  for (const fieldType& f : fields) size += FieldWidth(f);
  return size;
}

int BaseStructStateVariable::StateSize() {
  if (stateSize < 0) stateSize = calculateStateSize();
  return stateSize;
}

void BaseStructStateVariable::CurrentState(void* image) {
  auto* position = static_cast<unsigned char*>(image);
  for (const fieldType& f : fields) {
    f.variable->CurrentState(position);
    position += FieldWidth(f);
  }
}

void BaseStructStateVariable::SetState(void* image) {
  auto* position = static_cast<unsigned char*>(image);
  for (const fieldType& f : fields) {
    f.variable->SetState(position);
    position += FieldWidth(f);
  }
}

void BaseStructStateVariable::printState(std::ostream* os) {
  *os << Name << " = {\n" << std::flush;
  for (const fieldType& f : fields) {
    *os << '.';
    f.variable->printState(os);
  }
  *os << "}\n" << std::flush;
}

void BaseStructStateVariable::share(BaseStateVariableClass* other) {
  auto* otherStruct = dynamic_cast<BaseStructStateVariable*>(other);
  GEN_CHECK(otherStruct);
  ShareWith(otherStruct);
}

void BaseStructStateVariable::ShareWith(BaseStructStateVariable* other) {
  BaseStructStateVariable* otherStruct = other;
  auto otheri = otherStruct->fields.begin();
  for (const fieldType& f : fields) {
    // clang-format off
    GEN_CHECK(otheri!=otherStruct->fields.end());
    // clang-format on
    // Field types are not compared: the fields' own share decides.
    f.variable->share(otheri->variable);
    ++otheri;
  }

  AffectingActions->append(other->AffectingActions);
  EnabledActions->append(other->EnabledActions);
  other->AdoptSharedLists(AffectingActions, EnabledActions);
  other->shared = true;
  other->stored = false;

  other->replaceSelfInActions(this);
}

void BaseStructStateVariable::appendAffectingAction(BaseActionClass* action) {
  for (const fieldType& f : fields) f.variable->appendAffectingAction(action);
  BaseStateVariableClass::appendAffectingAction(action);
}

void BaseStructStateVariable::appendEnabledAction(BaseActionClass* action) {
  BaseStateVariableClass::appendEnabledAction(action);
  for (const fieldType& f : fields) f.variable->appendEnabledAction(action);
}

void BaseStructStateVariable::addSelfAsEnablingSVToAction(
    BaseActionClass* action) {
  for (const fieldType& f : fields) {
    f.variable->addSelfAsEnablingSVToAction(action);
  }
}

void BaseStructStateVariable::addSelfAsAffectedSVToAction(
    BaseActionClass* action) {
  for (const fieldType& f : fields) {
    f.variable->addSelfAsAffectedSVToAction(action);
  }
}

void BaseStructStateVariable::removeSelfFromEnablingSVOfAction(
    BaseActionClass* action) {
  for (const fieldType& f : fields) {
    f.variable->removeSelfFromEnablingSVOfAction(action);
  }
}

void BaseStructStateVariable::removeSelfFromAffectedSVOfAction(
    BaseActionClass* action) {
  for (const fieldType& f : fields) {
    f.variable->removeSelfFromAffectedSVOfAction(action);
  }
}

std::unique_ptr<List<BaseStateVariableClass>>
BaseStructStateVariable::getLeafNodes() {
  auto leaves = std::make_unique<List<BaseStateVariableClass>>();
  for (const fieldType& f : fields) {
    std::unique_ptr<List<BaseStateVariableClass>> childTemp =
        f.variable->getLeafNodes();
    GEN_CHECK(childTemp);
    leaves->append(childTemp.get());
  }
  return leaves;
}

int BaseStructStateVariable::getNumLeafNodes() {
  int count = 0;
  for (const fieldType& f : fields) count += f.variable->getNumLeafNodes();
  return count == 0 ? 1 : count;
}

bool BaseStructStateVariable::isLeafNode() { return fields.empty(); }
