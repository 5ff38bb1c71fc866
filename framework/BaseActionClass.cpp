#include "framework/BaseActionClass.h"

#include <iostream>
#include <new>

#include "base/Fatal.h"
#include "state/BaseStateVariableClass.h"

BaseActionClass::BaseActionClass()
    : GroupId(0),
      ExecutionPolicy(kDefaultExecutionPolicy),
      Disabled(true),
      Reactivation(false),
      ActionName("default"),
      Fired(false),
      DistributionType(Exponential),
      OwnerModel(nullptr),
      Phase(1) {}

BaseActionClass::BaseActionClass(const char* name, int group_id,
                                 Distribution distribution,
                                 ExecutionPolicyType policy, int num_affected,
                                 int num_enabling, bool reactivation)
    : BaseActionClass() {
  BaseActionClassInitialize(name, group_id, distribution, policy, num_affected,
                            num_enabling, reactivation);
}

BaseActionClass::~BaseActionClass() = default;

bool BaseActionClass::isSync() { return false; }
bool BaseActionClass::Enabled() { return false; }
double BaseActionClass::Weight() { return 0.0; }
double BaseActionClass::Rate() { return 0.0; }
bool BaseActionClass::ReactivationPredicate() { return false; }
bool BaseActionClass::ReactivationFunction() { return false; }
double BaseActionClass::SampleDistribution() { return 0.0; }
double* BaseActionClass::ReturnDistributionParameters() { return nullptr; }
void BaseActionClass::SetFired(int fired) { Fired = (fired != 0); }
BaseActionClass* BaseActionClass::Fire() { return nullptr; }
int BaseActionClass::Rank() { return 0; }
bool BaseActionClass::EnablingChange() { return false; }
bool BaseActionClass::IsAMember(BaseActionClass* action) {
  return action == this;
}
double BaseActionClass::Probability(BaseActionClass*) { return 1.0; }

void BaseActionClass::printAffectedState(std::ostream* os) {
  for (int i = 0; i < AffectedSVs.getNumItems(); ++i) {
    AffectedSVs.getItem(i)->printState(os);
  }
}

void BaseActionClass::printEnablingState(std::ostream* os) {
  for (int i = 0; i < EnablingSVs.getNumItems(); ++i) {
    EnablingSVs.getItem(i)->printState(os);
  }
}

BaseActionClass* BaseActionClass::getPrintedAction() { return this; }
double BaseActionClass::ErlangParamM() { return 1.0; }

std::string BaseActionClass::WrittenAt() const { return {}; }

void BaseActionClass::BaseActionClassInitialize(const char* name, int group_id,
                                                Distribution distribution,
                                                ExecutionPolicyType policy,
                                                int /*num_affected*/,
                                                int /*num_enabling*/,
                                                bool reactivation) {
  ActionName = name;
  GroupId = group_id;
  DistributionType = distribution;
  ExecutionPolicy = policy;
  Reactivation = reactivation;
}

void BaseActionClass::defineName(const char* name) { ActionName = name; }

void BaseActionClass::addEnablingSV(BaseStateVariableClass* sv) {
  if (sv->isLeafNode()) {
    EnablingSVs.append(sv);
  } else {
    // A structured variable lists its leaves instead of itself.
    sv->addSelfAsEnablingSVToAction(this);
  }
}

void BaseActionClass::addAffectedSV(BaseStateVariableClass* sv) {
  if (sv->isLeafNode()) {
    AffectedSVs.append(sv);
  } else {
    sv->addSelfAsAffectedSVToAction(this);
  }
}

void BaseActionClass::removeEnablingSV(BaseStateVariableClass* sv) {
  if (sv->isLeafNode()) {
    EnablingSVs.remove(sv);
  } else {
    sv->removeSelfFromEnablingSVOfAction(this);
  }
}

void BaseActionClass::removeAffectedSV(BaseStateVariableClass* sv) {
  if (sv->isLeafNode()) {
    AffectedSVs.remove(sv);
  } else {
    sv->removeSelfFromAffectedSVOfAction(this);
  }
}

void BaseActionClass::AllocatePVRateDS(int num_variables) {
  const auto n = static_cast<std::size_t>(num_variables);
  PVRateSets.reset(new (std::nothrow) FastSet[n]);
  if (!PVRateSets) {
    FatalError(std::cerr,
               "!! Memory allocation error in "
               "BaseActionClass::AllocatePVRateDS()\n");
  }
}

void BaseActionClass::AllocatePVImpulseDS(int num_variables) {
  const auto n = static_cast<std::size_t>(num_variables);
  PVImpulseSets.reset(new (std::nothrow) FastSet[n]);
  PVImpulsePointerRows.reset(
      new (std::nothrow) std::vector<std::unique_ptr<std::vector<int>>>[n]);
  PVImpulseIntRows.reset(new (std::nothrow) std::vector<int>[n]);
  if (!PVImpulseSets || !PVImpulsePointerRows || !PVImpulseIntRows) {
    FatalError(std::cerr,
               "!! Memory allocation error in "
               "BaseActionClass::AllocatePVImpulseDS()\n");
  }
}

void BaseActionClass::DeallocatePVRateDS() { PVRateSets.reset(); }

void BaseActionClass::DeallocatePVImpulseDS() {
  PVImpulseSets.reset();
  PVImpulsePointerRows.reset();
  PVImpulseIntRows.reset();
}

void BaseActionClass::PrintInfo() {
  std::ostream& out = std::cout;
  out << "********* " << ActionName << "**********\n" << std::flush;
  out << '\n' << std::flush;
  out << "Enabled by:\n" << std::flush;
  for (int i = 0; i < EnablingSVs.getNumItems(); ++i) {
    out << "           " << EnablingSVs.getItem(i)->getName() << '\n'
        << std::flush;
  }
  out << "Affects:\n" << std::flush;
  for (int i = 0; i < AffectedSVs.getNumItems(); ++i) {
    out << "           " << AffectedSVs.getItem(i)->getName() << '\n'
        << std::flush;
  }
  out << "Group ID = " << GroupId << '\n' << std::flush;
  out << "Execution Policy = " << static_cast<int>(ExecutionPolicy) << '\n'
      << std::flush;
  out << "Disabled = " << (Disabled ? 1 : 0) << '\n' << std::flush;
  out << "Reactivation = " << (Reactivation ? 1 : 0) << '\n' << std::flush;
  out << "DistributionType = " << static_cast<int>(DistributionType) << '\n'
      << std::flush;
}
