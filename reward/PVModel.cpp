#include "reward/PVModel.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/Contract.h"
#include "base/FastSet.h"
#include "base/List.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "reward/PerformanceVariableNode.h"
#include "reward/SetQueries.h"
#include "state/BaseStateVariableClass.h"
#include "state/Place.h"

namespace {

// PVList starts with room for this many nodes.
constexpr std::size_t kInitialPVCapacity = 100;

void FreezeRateSets(BaseActionClass* action, int num_pvs) {
  for (int v = 0; v < num_pvs; ++v) {
    FastSet& set = action->PVRateSets[static_cast<std::size_t>(v)];
    if (!set.IsFrozen()) set.NoMoreModifications();
  }
  if (!action->AffectedNodesByRateReward.IsFrozen()) {
    action->AffectedNodesByRateReward.NoMoreModifications();
  }
}

void FreezeImpulseSets(BaseActionClass* action, int num_pvs) {
  if (!action->IsPVImpulseDSAllocated()) action->AllocatePVImpulseDS(num_pvs);
  for (int v = 0; v < num_pvs; ++v) {
    FastSet& set = action->PVImpulseSets[static_cast<std::size_t>(v)];
    if (!set.IsFrozen()) set.NoMoreModifications();
  }
  if (!action->AffectedNodesByImpulseReward.IsFrozen()) {
    action->AffectedNodesByImpulseReward.NoMoreModifications();
  }
}

}  // namespace

PVModel::PVModel()
    : NumPVs(0),
      LastActionFired(&NoActionFired),
      ActionArray(nullptr),
      MaxStopTime(0.0),
      NumRateDSActions(0),
      NumImpulseDSActions(0),
      NumPVAffectingActions(0),
      NumIndexActions(0),
      SANStateSize(0),
      TotalStateSize(0),
      IndexBytes(0),
      LastActionInState(0),
      IndexActions(nullptr) {
  NoActionFired.defineName("No Action Fired Yet");
  BaseModelClass::LastActionTime = 0.0;
}

PVModel::~PVModel() { Destruct(); }

void PVModel::listModels(const char* name, List<BaseModelClass>* out) {
  ChildModel->listModels(name, out);
}

void PVModel::FindPlaceMarks() {
  place_marks_.clear();
  auto* san = dynamic_cast<SANModel*>(ChildModel.get());
  if (san == nullptr) return;
  std::vector<short*> marks;
  int bytes = 0;
  for (BaseStateVariableClass* variable : san->Places) {
    // Anything but a stored, unshared place of the base type (a derived
    // place might lay out its image differently) keeps the general path.
    if (!variable->getStored() || variable->getShared() ||
        typeid(*variable) != typeid(Place)) {
      return;
    }
    marks.push_back(static_cast<Place*>(variable)->Mark);
    bytes += static_cast<int>(sizeof(short));
  }
  if (bytes == SANStateSize) place_marks_ = std::move(marks);
}

void PVModel::CurrentState(void* image) {
  if (place_marks_.empty()) {
    ChildModel->CurrentState(image);
  } else {
    auto* position = static_cast<unsigned char*>(image);
    for (const short* mark : place_marks_) {
      std::memcpy(position, mark, sizeof(short));
      position += sizeof(short);
    }
  }
  if (LastActionInState == 1) {
    int index = 0;
    for (int i = 0; i < NumIndexActions; ++i) {
      if (IndexActions[i] == LastActionFired) {
        index = i + 1;
        break;
      }
    }
    auto* bytes = static_cast<unsigned char*>(image) + SANStateSize;
    for (int b = IndexBytes - 1; b >= 0; --b) {
      bytes[b] = static_cast<unsigned char>(index & 0xFF);
      index >>= 8;
    }
  }
}

void PVModel::listActions(List<BaseActionClass>* out) {
  if (NumActions > 0) out->append(ActionArray, NumActions);
}

void PVModel::listGroups(List<BaseGroupClass>* out) {
  if (NumGroups > 0) out->append(Groups, NumGroups);
}

void PVModel::SetState(void* image) {
  if (place_marks_.empty()) {
    ChildModel->SetState(image);
    return;
  }
  const auto* position = static_cast<const unsigned char*>(image);
  for (short* mark : place_marks_) {
    std::memcpy(mark, position, sizeof(short));
    position += sizeof(short);
  }
}

void PVModel::RestoreState(const void* current, void* target) {
  if (place_marks_.empty()) {
    SetState(target);
    return;
  }
  const auto* from = static_cast<const unsigned char*>(current);
  const auto* to = static_cast<const unsigned char*>(target);
  short* const* marks = place_marks_.data();
  const std::size_t count = place_marks_.size();
  const auto restore = [&](std::size_t k) {
    short mark;
    std::memcpy(&mark, to + k * sizeof(short), sizeof(short));
    *marks[k] = mark;
  };
  constexpr std::size_t kWord = sizeof(std::uint64_t) / sizeof(short);
  std::size_t i = 0;
  // Four markings are compared at once; in a word that differs all four are
  // written, without a branch per place.
  for (; i + kWord <= count; i += kWord) {
    std::uint64_t was;
    std::uint64_t wanted;
    std::memcpy(&was, from + i * sizeof(short), sizeof(was));
    std::memcpy(&wanted, to + i * sizeof(short), sizeof(wanted));
    if (was == wanted) continue;
    for (std::size_t k = i; k < i + kWord; ++k) restore(k);
  }
  for (; i < count; ++i) restore(i);
}

bool PVModel::CompareState(void* a, void* b) {
  if (!ChildModel->CompareState(a, b)) return false;
  if (LastActionInState == 0) return true;
  const auto* index_a = static_cast<const unsigned char*>(a) + SANStateSize;
  const auto* index_b = static_cast<const unsigned char*>(b) + SANStateSize;
  for (int i = 0; i < IndexBytes; ++i) {
    if (index_a[i] != index_b[i]) return false;
  }
  return true;
}

void PVModel::listActions(const char* name, List<BaseActionClass>* out) {
  ChildModel->listActions(name, out);
}

void PVModel::listSVs(const char* model, const char* sv,
                      List<BaseStateVariableClass>* svs,
                      List<BaseModelClass>* models) {
  ChildModel->listSVs(model, sv, svs, models);
}

void PVModel::printState(std::ostream* os) { ChildModel->printState(os); }

void PVModel::CreatePVList(int num_variables, bool expand_time_points) {
  PVList.clear();
  PVList.reserve(kInitialPVCapacity);
  for (int v = 0; v < num_variables; ++v) {
    std::unique_ptr<PerformanceVariableNode> node(createPVNode(v, 0));
    GEN_CHECK(node != nullptr);
    const int time_points = node->GetNumTimePoints();
    PVList.push_back(std::move(node));
    if (expand_time_points && time_points >= 2) {
      for (int k = 1; k < time_points; ++k) {
        PVList.emplace_back(createPVNode(v, k));
        GEN_CHECK(PVList.back() != nullptr);
      }
    }
  }
  NumPVs = static_cast<int>(PVList.size());
  // A node's ID indexes the per-action reward arrays of this model, which
  // have NumPVs entries: number the nodes of every model from 0, whatever
  // other reward models the process has built before.
  for (int i = 0; i < NumPVs; ++i) {
    PVList[static_cast<std::size_t>(i)]->ID = i;
    PVList[static_cast<std::size_t>(i)]->NumPVsInModel = NumPVs;
  }
}

void PVModel::Initialize() {
  GEN_CHECK(ChildModel != nullptr);
  // The placeholder action affects no reward variable.
  NoActionFired.AllocatePVRateDS(NumPVs);
  NoActionFired.AllocatePVImpulseDS(NumPVs);
  for (int v = 0; v < NumPVs; ++v) {
    NoActionFired.PVRateSets[static_cast<std::size_t>(v)].NoMoreModifications();
    NoActionFired.PVImpulseSets[static_cast<std::size_t>(v)]
        .NoMoreModifications();
  }
  NoActionFired.AffectedNodesByRateReward.NoMoreModifications();
  NoActionFired.AffectedNodesByImpulseReward.NoMoreModifications();

  Actions = ChildModel->Actions;
  ActionArray = ChildModel->Actions;
  NumActions = ChildModel->NumActions;
  NumStateVariables = ChildModel->NumStateVariables;
  NumGroups = ChildModel->NumGroups;
  Groups = ChildModel->Groups;

  for (const auto& node : PVList) node->FixReferences(ChildModel.get());
  for (const auto& node : PVList) {
    if (node->StopTime > MaxStopTime) MaxStopTime = node->StopTime;
  }
  MakeAffectedLists();
  MakeImpulseAffectedLists();
  CreateAffectedLists();
  SANStateSize = ChildModel->StateSize();
  if (LastActionInState == 1) {
    IndexActions = ActionArray;
    NumIndexActions = NumActions;
    IndexBytes = BytesFor(NumIndexActions);
  }
  TotalStateSize = SANStateSize + IndexBytes;
  FindPlaceMarks();
}

void PVModel::MakeAffectedLists() {
  for (int PVCounter = 0; PVCounter < NumPVs; ++PVCounter) {
    PerformanceVariableNode* node =
        PVList[static_cast<std::size_t>(PVCounter)].get();
    GEN_CHECK(node->ID == PVCounter);
    node->CreateModelGroupList();
    node->CreateWorkerList();
    node->FixWorkerList();
    for (const VarModelPairClass& dependency : node->VariableDependencies) {
      const char* model_name = dependency.ModelName.c_str();
      const char* variable_name = dependency.VariableName.c_str();
      List<BaseStateVariableClass> variables;
      List<BaseModelClass> models;
      ChildModel->listSVs(model_name, variable_name, &variables, &models);
      // Ask each found model for its own variables, so that every variable
      // is paired with the model that holds it.
      for (int m = 0; m < models.getNumItems(); ++m) {
        BaseModelClass* model = models[m];
        List<BaseStateVariableClass> own_variables;
        List<BaseModelClass> ignored;
        model->listSVs(model_name, variable_name, &own_variables, &ignored);
        for (int s = 0; s < own_variables.getNumItems(); ++s) {
          BaseStateVariableClass* variable = own_variables[s];
          for (int a = 0; a < variable->getNumAffectingActions(); ++a) {
            BaseActionClass* Action = variable->getAffectingAction(a);
            if (!Action->IsPVRateDSAllocated()) {
              Action->AllocatePVRateDS(NumPVs);
              NumRateDSActions += 1;
            }
            if (SetIsEmpty(
                    Action->PVRateSets[static_cast<std::size_t>(PVCounter)])) {
              GEN_CHECK(Action->AffectedNodesByRateReward.insert(PVCounter));
              node->AffectingActionCount += 1;
            }
            node->AddPVWorkersToAction(Action, model);
          }
        }
      }
    }
  }
  for (int a = 0; a < NumActions; ++a) {
    BaseActionClass* action = ActionArray[a];
    if (!action->IsPVRateDSAllocated()) action->AllocatePVRateDS(NumPVs);
    FreezeRateSets(action, NumPVs);
  }
}

void PVModel::MakeImpulseAffectedLists() {
  for (int PVCounter = 0; PVCounter < NumPVs; ++PVCounter) {
    const auto v = static_cast<std::size_t>(PVCounter);
    PerformanceVariableNode* node = PVList[v].get();
    node->CreateImpulseModelGroupList();
    node->CreateImpulseWorkerLists();
    node->FixImpulseWorkerLists();
    for (int impulse = 0; impulse < node->NumImpulses; ++impulse) {
      const auto j = static_cast<std::size_t>(impulse);
      const ActionModelPairClass& action_pair = node->ImpulseSpecs[j];
      List<BaseModelClass> models;
      ChildModel->listModels(action_pair.ModelName.c_str(), &models);
      for (int m = 0; m < models.getNumItems(); ++m) {
        BaseModelClass* model = models[m];
        List<BaseActionClass> found;
        model->listActions(action_pair.ActionName.c_str(), &found);
        if (found.getNumItems() == 0) continue;
        BaseActionClass* action = found[0];
        if (!action->IsPVImpulseDSAllocated()) {
          action->AllocatePVImpulseDS(NumPVs);
          NumImpulseDSActions += 1;
        }
        auto& index_row = action->PVImpulsePointerRows[v];
        auto& count_row = action->PVImpulseIntRows[v];
        if (SetIsEmpty(action->PVImpulseSets[v])) {
          GEN_CHECK(action->AffectedNodesByImpulseReward.insert(PVCounter));
          node->AffectingActionCount += 1;
          index_row.clear();
          index_row.resize(static_cast<std::size_t>(node->NumImpulses));
          count_row.assign(static_cast<std::size_t>(node->NumImpulses), 0);
        }
        if (!index_row[j]) {
          action->PVImpulseSets[v].insert(impulse);
          index_row[j] = std::make_unique<std::vector<int>>();
          index_row[j]->reserve(
              static_cast<std::size_t>(node->NumImpulseWorkers[j]));
        }
        const auto& workers = node->ImpulseWorkers[j];
        for (std::size_t w = 0; w < workers.size(); ++w) {
          if (workers[w]->ActionModel == model) {
            index_row[j]->push_back(static_cast<int>(w));
            count_row[j] += 1;
          }
        }
      }
    }
  }
  for (int a = 0; a < NumActions; ++a) {
    BaseActionClass* action = ActionArray[a];
    FreezeImpulseSets(action, NumPVs);
    if (action->isSync()) {
      if (auto* sync = dynamic_cast<BaseGroupClass*>(action)) {
        for (int m = 0; m < sync->NumMembers; ++m) {
          FreezeImpulseSets(sync->getMember(m), NumPVs);
        }
      }
    }
  }
}

void PVModel::CreateTotalPVAffectsList(BaseActionClass* Action) {
  GEN_CHECK(Action->AffectedNodes.empty());
  FastSet& by_rate = Action->AffectedNodesByRateReward;
  for (int e = 0; e < by_rate.size(); ++e)
    Action->AffectedNodes.insert(by_rate[e]);
  FastSet& by_impulse = Action->AffectedNodesByImpulseReward;
  for (int e = 0; e < by_impulse.size(); ++e) {
    Action->AffectedNodes.insert(by_impulse[e]);
  }
  Action->AffectedNodes.NoMoreModifications();
}

void PVModel::CreateAffectedLists() {
  for (const auto& node : PVList) {
    if (node->AffectingActionCount != 0) {
      node->AffectingActions.clear();
      node->AffectingActions.reserve(
          static_cast<std::size_t>(node->AffectingActionCount));
      node->AffectingActionCount = 0;
    }
  }
  const int affecting = NumRateDSActions + NumImpulseDSActions;
  if (affecting == 0) return;
  PVAffectingActions.reserve(static_cast<std::size_t>(affecting));
  PVAffectedSets.reserve(static_cast<std::size_t>(affecting));
  for (int a = 0; a < NumActions; ++a) {
    BaseActionClass* action = ActionArray[a];
    if (SetIsEmpty(action->AffectedNodesByRateReward) &&
        SetIsEmpty(action->AffectedNodesByImpulseReward)) {
      continue;
    }
    CreateTotalPVAffectsList(action);
    PVAffectingActions.push_back(action);
    PVAffectedSets.push_back(&action->AffectedNodes);
    NumPVAffectingActions += 1;
    FastSet& affected = action->AffectedNodes;
    for (int e = 0; e < affected.size(); ++e) {
      const int k = affected[e];
      GEN_CHECK(k >= 0 && k < NumPVs);
      PerformanceVariableNode& node = *PVList[static_cast<std::size_t>(k)];
      node.AffectingActions.push_back(action);
      node.AffectingActionCount += 1;
    }
  }
}

void PVModel::ConsiderOnly(int* indices, int count) {
  if (indices == nullptr) {
    for (const auto& node : PVList) ConsideredPVs.push_back(node.get());
    return;
  }
  ConsideredPVs.reserve(ConsideredPVs.size() + static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    GEN_CHECK(indices[k] >= 0 && indices[k] < NumPVs);
    ConsideredPVs.push_back(PVList[static_cast<std::size_t>(indices[k])].get());
  }
}

void PVModel::FireAction(void* state, BaseActionClass* action) {
  action->Fire();
  LastActionFired = action;
  if (!defer_rewards_) RecomputeRewards(action);
  CurrentState(state);
}

void PVModel::RecomputeRewards(BaseActionClass* action) {
  for (PerformanceVariableNode* node : ConsideredPVs) {
    node->CurrentReward(action);
  }
}

void PVModel::AgeAction(char* state, BaseActionClass* /*action*/) {
  const int index = StateIndexLookup(state + SANStateSize);
  LastActionFired = index == 0 ? &NoActionFired : IndexActions[index - 1];
  for (PerformanceVariableNode* node : ConsideredPVs) {
    node->CurrentReward(LastActionFired);
  }
}

std::vector<RewardVariableType> PVModel::RewardTypes() const {
  std::vector<RewardVariableType> types;
  for (const auto& node : PVList) {
    RewardVariableType& type = types.emplace_back();
    type.name = node->getName();
    type.type = node->GetRewardType();
    for (int k = 0; k < node->GetNumTimePoints(); ++k) {
      type.start_times.push_back(node->GetStartTime(k));
      type.stop_times.push_back(node->GetStopTime(k));
    }
  }
  return types;
}

std::vector<std::string> PVModel::RewardNames() const {
  std::vector<std::string> names;
  for (const auto& node : PVList) names.push_back(node->Name);
  return names;
}

void PVModel::CurrentRewards(double* out) const {
  for (const auto& node : PVList) {
    *out++ = node->ImpulseValue;
    *out++ = node->RewardValue;
  }
}

bool PVModel::WritePVTypeFile(const char* file_name) {
  std::ofstream out(file_name, std::ios::out | std::ios::trunc);
  if (!out || !WriteRewardTypes(out, RewardTypes())) return false;
  out.close();
  return !out.fail();
}

void PVModel::FireAction(BaseActionClass* action, double time) {
  BaseModelClass::LastActionTime = time;
  BaseActionClass* fired = action->Fire();
  // Null means nothing fired; keep the placeholder rather than a null action.
  LastActionFired = fired != nullptr ? fired : &NoActionFired;
}

int PVModel::CreatePVStateIndex() {
  SANStateSize = ChildModel->StateSize();
  if (LastActionInState == 1) {
    IndexActions = ActionArray;
    NumIndexActions = NumActions;
    IndexBytes = BytesFor(NumIndexActions);
  }
  TotalStateSize = SANStateSize + IndexBytes;
  FindPlaceMarks();
  return TotalStateSize;
}

int PVModel::BytesFor(int n) {
  if (n <= 0) return 0;
  if (n <= 0xFF) return 1;
  if (n <= 0xFFFF) return 2;
  if (n <= 0xFFFFFF) return 3;
  return 4;
}

int PVModel::StateIndexLookup(void* image) {
  const auto* bytes = static_cast<const unsigned char*>(image);
  unsigned index = 0;
  for (int b = 0; b < IndexBytes; ++b) index = (index << 8) | bytes[b];
  return static_cast<int>(index);
}

void PVModel::GetPVState(void* image) {
  if (LastActionInState != 1) return;
  int index = 0;
  for (int i = 0; i < NumIndexActions; ++i) {
    if (IndexActions[i] == LastActionFired) {
      index = i + 1;
      break;
    }
  }
  auto* bytes = static_cast<unsigned char*>(image);
  for (int b = IndexBytes - 1; b >= 0; --b) {
    bytes[b] = static_cast<unsigned char>(index & 0xFF);
    index >>= 8;
  }
}

void PVModel::PutPVState(void* image) {
  if (LastActionInState == 0) {
    for (PerformanceVariableNode* node : ConsideredPVs) {
      node->CurrentReward(&NoActionFired);
      node->ImpulseValue = 0.0;
    }
    return;
  }
  const int index = StateIndexLookup(image);
  LastActionFired = index == 0 ? &NoActionFired : IndexActions[index - 1];
  for (PerformanceVariableNode* node : ConsideredPVs) {
    node->CurrentReward(LastActionFired);
  }
}

void PVModel::PVReset() {
  for (const auto& node : PVList) {
    if (node->AccumulationStatus == 1 || node->AccumulationStatus == 2) {
      node->Reset();
    }
  }
  BaseModelClass::LastActionTime = 0.0;
  LastActionFired = &NoActionFired;
}

void PVModel::SteadyState() {
  PVReset();
  for (const auto& node : PVList) {
    if (node->TimeType == 1) node->AccumulationStatus = 1;
  }
}

void PVModel::Accumulate(double t) {
  for (PerformanceVariableNode* node : ConsideredPVs) {
    node->Accumulate(t, BaseModelClass::LastActionTime, LastActionFired);
  }
}

void PVModel::EndAccumulate(double t) {
  for (PerformanceVariableNode* node : ConsideredPVs) {
    if (node->AccumulationStatus != 2) {
      node->EndAccumulate(t, BaseModelClass::LastActionTime, LastActionFired);
    }
  }
}

void PVModel::Destruct() {
  if (destructed_) return;
  destructed_ = true;
  NoActionFired.DeallocatePVRateDS();
  NoActionFired.DeallocatePVImpulseDS();
  for (int a = 0; a < NumActions && ActionArray != nullptr; ++a) {
    ActionArray[a]->DeallocatePVRateDS();
    if (ActionArray[a]->IsPVImpulseDSAllocated()) {
      ActionArray[a]->DeallocatePVImpulseDS();
    }
  }
  for (const auto& node : PVList) node->AffectingActions.clear();
  PVAffectingActions.clear();
  PVAffectedSets.clear();
  ConsideredPVs.clear();
  // The nodes' workers point into the child model: nodes go first.
  PVList.clear();
  ChildModel.reset();
}

std::string PVModel::DescribeMarking() const {
  return ChildModel != nullptr ? ChildModel->DescribeMarking() : std::string();
}
