#include "framework/BaseGroupClass.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "base/StandardErrors.h"

namespace {

BaseGroupClass* AsGroup(BaseActionClass* action) {
  return dynamic_cast<BaseGroupClass*>(action);
}

}  // namespace

BaseGroupClass::BaseGroupClass()
    : SelectedAction(nullptr),
      CurrentRank(0),
      NumMembers(0),
      NumCandidates(0),
      MemberCapacity(0) {}

BaseGroupClass::BaseGroupClass(const char* name, int group_id,
                               Distribution distribution,
                               ExecutionPolicyType policy, int num_affected,
                               int num_enabling, bool reactivation)
    : BaseGroupClass() {
  BaseGroupClassInitialize(name, group_id, distribution, policy, num_affected,
                           num_enabling, reactivation);
}

BaseGroupClass::BaseGroupClass(const char* name, int group_id,
                               Distribution distribution,
                               ExecutionPolicyType policy, int num_affected,
                               int num_enabling, bool reactivation,
                               int capacity)
    : BaseGroupClass(name, group_id, distribution, policy, num_affected,
                     num_enabling, reactivation) {
  enlargeArrays(capacity);
}

BaseGroupClass::~BaseGroupClass() = default;

void BaseGroupClass::BaseGroupClassInitialize(const char* name, int group_id,
                                              Distribution distribution,
                                              ExecutionPolicyType policy,
                                              int num_affected,
                                              int num_enabling,
                                              bool reactivation) {
  BaseActionClassInitialize(name, group_id, distribution, policy, num_affected,
                            num_enabling, reactivation);
}

void BaseGroupClass::initialize(int capacity, const char* name) {
  const auto n = static_cast<std::size_t>(capacity);
  Members = std::make_unique<BaseActionClass*[]>(n);
  WeightTable = std::make_unique<WeightEntry[]>(n);
  MemberCapacity = capacity;
  defineName(name);
  SelectedAction = nullptr;
  CurrentRank = 0;
  NumCandidates = 0;
}

void BaseGroupClass::appendGroup(BaseActionClass* action) {
  if (NumMembers >= MemberCapacity) enlargeArrays(MemberCapacity + 1);
  Members[NumMembers] = action;
  ++NumMembers;
}

void BaseGroupClass::appendMembers(BaseGroupClass* group) {
  const int needed = NumMembers + group->NumMembers;
  if (needed > MemberCapacity) enlargeArrays(needed);
  for (int i = 0; i < group->NumMembers; ++i) {
    Members[NumMembers] = group->Members[i];
    ++NumMembers;
  }
}

void BaseGroupClass::enlargeArrays(int capacity) {
  const auto n = static_cast<std::size_t>(capacity);
  auto members = std::make_unique<BaseActionClass*[]>(n);
  for (int i = 0; i < NumMembers && i < capacity; ++i) members[i] = Members[i];
  Members = std::move(members);
  // The weight table is rebuilt by every weight calculation: no copy.
  WeightTable = std::make_unique<WeightEntry[]>(n);
  MemberCapacity = capacity;
}

void BaseGroupClass::setMember(BaseActionClass* action, int i) {
  if (i >= NumMembers) {
    ArrayOutOfBoundsError("Array out of bounds (BaseGroupClass::setMember()");
    return;
  }
  Members[i] = action;
}

void BaseGroupClass::replaceMember(BaseActionClass* old_action,
                                   BaseActionClass* new_action) {
  for (int i = 0; i < NumMembers; ++i) {
    if (Members[i] == old_action) Members[i] = new_action;
  }
  if (SelectedAction == old_action) SelectedAction = new_action;
}

bool BaseGroupClass::Enabled() {
  // Every member is asked: an activity's Enabled() also records its
  // previous enabling, which EnablingChange relies on.
  bool any = false;
  for (int i = 0; i < NumMembers; ++i) {
    if (Members[i]->Enabled()) any = true;
  }
  return any;
}

double BaseGroupClass::Weight() { return SelectedAction->Weight(); }
double BaseGroupClass::Rate() { return SelectedAction->Rate(); }
bool BaseGroupClass::ReactivationPredicate() { return false; }
bool BaseGroupClass::ReactivationFunction() { return false; }
double BaseGroupClass::SampleDistribution() {
  return SelectedAction->SampleDistribution();
}

BaseActionClass* BaseGroupClass::Fire() {
  BaseActionClass* fired = SelectedAction->Fire();
  SelectedAction = nullptr;
  return fired;
}

int BaseGroupClass::Rank() { return SelectedAction->Rank(); }

bool BaseGroupClass::EnablingChange() {
  bool any = false;
  for (int i = 0; i < NumMembers; ++i) {
    if (Members[i]->EnablingChange()) any = true;
  }
  return any;
}

bool BaseGroupClass::IsAMember(BaseActionClass* action) {
  for (int i = 0; i < NumMembers; ++i) {
    if (Members[i] == action) return true;
  }
  return false;
}

double BaseGroupClass::Probability(BaseActionClass* action) {
  int highest_rank = 0;
  double total_weight = 0.0;
  BaseActionClass* of_interest = nullptr;
  for (int i = 0; i < NumMembers; ++i) {
    BaseActionClass* member = Members[i];
    if (member->Enabled()) {
      const int rank = member->Rank();
      if (rank > highest_rank) {
        highest_rank = rank;
        total_weight = 0.0;
      }
      if (rank == highest_rank) total_weight += member->Weight();
    }
    if (member == action || member->IsAMember(action)) of_interest = member;
  }
  if (of_interest->Rank() < highest_rank) return 0.0;
  if (total_weight == 0.0) {
    std::cout << "BaseGroupClass::Probability() TotalWeight is zero.\n"
              << std::flush;
  }
  return of_interest->Probability(action) *
         (of_interest->Weight() / total_weight);
}

void BaseGroupClass::printEnablingState(std::ostream* os) {
  if (NumMembers > 0) {
    Members[0]->printEnablingState(os);
  } else {
    BaseActionClass::printEnablingState(os);
  }
}

BaseActionClass* BaseGroupClass::getPrintedAction() {
  return NumMembers > 0 ? Members[0] : this;
}

double BaseGroupClass::CalculateWeightDistribution() {
  int i = 0;
  while (i < NumMembers && !Members[i]->Enabled()) {
    Members[i]->Disabled = true;
    ++i;
  }
  if (i == NumMembers) return -1.0;

  BaseActionClass* first = Members[i];
  CurrentRank = first->Rank();
  first->Disabled = false;
  WeightTable[0] = WeightEntry{first->Weight(), first};
  int entries = 1;
  for (++i; i < NumMembers; ++i) {
    BaseActionClass* member = Members[i];
    if (!member->Enabled()) {
      member->Disabled = true;
      continue;
    }
    const int rank = member->Rank();
    if (rank < CurrentRank) {
      member->Disabled = true;
    } else if (rank == CurrentRank) {
      member->Disabled = false;
      WeightTable[entries] = WeightEntry{
          member->Weight() + WeightTable[entries - 1].CumulativeWeight, member};
      ++entries;
    } else {
      // Members taken earlier at the lower rank keep their cleared flag.
      CurrentRank = rank;
      WeightTable[0] = WeightEntry{member->Weight(), member};
      entries = 1;
      member->Disabled = false;
    }
  }
  NumCandidates = entries;
  return WeightTable[entries - 1].CumulativeWeight;
}

bool BaseGroupClass::SelectAction() {
  // The draw comes first so that the random stream advances once per
  // selection, whether or not a member is enabled.
  const double u = DrawGroupUniform();
  const double total = CalculateWeightDistribution();
  if (total < 0.0) return false;
  const double x = total * u;

  int lo = 0;
  int hi = NumCandidates - 1;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (WeightTable[mid].CumulativeWeight > x) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  BaseActionClass* chosen = WeightTable[lo].Action;
  if (BaseGroupClass* group = AsGroup(chosen)) {
    group->SelectAction();
    SelectedAction = group->SelectedAction;
  } else {
    SelectedAction = chosen;
  }
  return true;
}

void BaseGroupClass::setGroupId(int group_id) {
  for (int i = 0; i < NumMembers; ++i) {
    if (BaseGroupClass* group = AsGroup(Members[i])) {
      group->setGroupId(group_id);
    } else {
      Members[i]->GroupId = group_id;
    }
  }
}

void BaseGroupClass::printGroup(const char* prefix, int indent) {
  for (int i = 0; i < NumMembers; ++i) {
    BaseActionClass* member = Members[i];
    std::cout << std::string(static_cast<std::size_t>(indent), ' ') << '['
              << prefix << i << "] " << member->ActionName << '\n'
              << std::flush;
    BaseGroupClass* group = AsGroup(member);
    if (group != nullptr && group->NumMembers > 1) {
      const std::string extended =
          std::string(prefix) + std::to_string(i) + ".";
      group->printGroup(extended.c_str(), indent + 2);
    }
  }
}

void BaseGroupClass::printGroup() {
  std::cout << "** Members of Group " << ActionName << '\n' << std::flush;
  printGroup("", 0);
}

void BaseGroupClass::PrintInfo() {
  std::cout << "************ Group: " << ActionName << " ****************\n"
            << "Contains the following actions:\n"
            << std::flush;
  for (int i = 0; i < NumMembers; ++i) {
    std::cout << "  " << Members[i]->ActionName << '\n' << std::flush;
  }
  std::cout << "Selected Action = "
            << (SelectedAction != nullptr ? SelectedAction->ActionName : "")
            << '\n'
            << std::flush;
}

PreselectGroup::PreselectGroup() : Reselect(true) {}

PreselectGroup::PreselectGroup(int capacity) : PreselectGroup() {
  enlargeArrays(capacity);
}

bool PreselectGroup::SelectAction() {
  const bool selected = BaseGroupClass::SelectAction();
  Reselect = !selected;
  return selected;
}

bool PreselectGroup::Enabled() {
  if (Reselect) SelectAction();
  return BaseGroupClass::Enabled();
}

bool PreselectGroup::ReactivationPredicate() {
  if (Reselect) SelectAction();
  return SelectedAction->ReactivationPredicate();
}

bool PreselectGroup::ReactivationFunction() {
  if (Reselect) SelectAction();
  return SelectedAction->ReactivationFunction();
}

double PreselectGroup::SampleDistribution() {
  if (Reselect) SelectAction();
  return SelectedAction->SampleDistribution();
}

BaseActionClass* PreselectGroup::Fire() {
  // The selection stays until the next timing question.
  Reselect = true;
  return SelectedAction->Fire();
}

int PreselectGroup::Rank() {
  if (Reselect) SelectAction();
  return SelectedAction->Rank();
}

PostselectGroup::PostselectGroup() = default;

PostselectGroup::PostselectGroup(int capacity) { enlargeArrays(capacity); }

double PostselectGroup::Weight() { return 1.0; }

bool PostselectGroup::ReactivationPredicate() {
  return Members[0]->ReactivationPredicate();
}

bool PostselectGroup::ReactivationFunction() {
  return Members[0]->ReactivationFunction();
}

double PostselectGroup::SampleDistribution() {
  return Members[0]->SampleDistribution();
}

BaseActionClass* PostselectGroup::Fire() {
  SelectAction();
  BaseActionClass* fired = SelectedAction->Fire();
  SelectedAction = nullptr;
  return fired;
}

int PostselectGroup::Rank() { return 1; }
