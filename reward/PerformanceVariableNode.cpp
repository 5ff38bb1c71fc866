#include "reward/PerformanceVariableNode.h"

#include <algorithm>
#include <iostream>

#include "base/Contract.h"
#include "base/Fatal.h"
#include "base/List.h"
#include "framework/BaseActionClass.h"
#include "framework/BaseGroupClass.h"
#include "framework/BaseModelClass.h"
#include "reward/IntervalOfTime.h"
#include "reward/SetQueries.h"

namespace {

int CountModels(BaseModelClass* top, const std::string& name) {
  List<BaseModelClass> models;
  top->listModels(name.c_str(), &models);
  return models.getNumItems();
}

[[noreturn]] void MissingModel(BaseModelClass* top, const std::string& name) {
  std::string text =
      "Number of " + name + "'s was 0.  Model cannot be created.\n";
  const char* top_name = top->getName();
  if (top_name != nullptr) {
    text += "Model Name was: ";
    text += top_name;
    text += "\n.";
  } else {
    text += "Model Name was: NULL\n";
  }
  FatalError(std::cerr, text, 1);
}

// `count` groups holding every combination of the instances of the models
// named in `names` under `top`; the first name varies slowest.
std::vector<ModelGroupClass> BuildModelGroups(
    BaseModelClass* top, const std::vector<std::string>& names, int count) {
  std::vector<ModelGroupClass> groups(static_cast<std::size_t>(count));
  const int num_names = static_cast<int>(names.size());
  for (ModelGroupClass& group : groups) group.CreateModelList(num_names);
  int period = count;
  for (int k = 0; k < num_names; ++k) {
    List<BaseModelClass> models;
    top->listModels(names[static_cast<std::size_t>(k)].c_str(), &models);
    const int num_models = models.getNumItems();
    if (num_models == 0) MissingModel(top, names[static_cast<std::size_t>(k)]);
    period /= num_models;
    int model_index = -1;
    for (int i = 0; i < count; ++i) {
      if (i % period == 0) {
        ++model_index;
        if (model_index == num_models) model_index = 0;
      }
      groups[static_cast<std::size_t>(i)].SetModel(k, models[model_index]);
    }
  }
  return groups;
}

}  // namespace

int PerformanceVariableNode::the_id = 0;

PerformanceVariableNode::~PerformanceVariableNode() = default;

void PerformanceVariableNode::Initialize(
    const char* name, RewardType type, int num_time_points,
    const double* start_times, const double* stop_times, int time_index,
    int num_impulses, int model_capacity, int variable_capacity) {
  ID = the_id;
  the_id += 1;
  Type = type;
  InitializeTimeArrays(num_time_points, start_times, stop_times);
  GEN_CHECK(time_index >= 0 && time_index < NumTimePoints);
  StartTime = StartTimes[static_cast<std::size_t>(time_index)];
  StopTime = StopTimes[static_cast<std::size_t>(time_index)];
  IntervalLength = StopTime - StartTime;
  Name = name;
  variable_capacity_ = variable_capacity;
  model_capacity_ = model_capacity;
  VariableDependencies.reserve(static_cast<std::size_t>(variable_capacity));
  ModelNames.reserve(static_cast<std::size_t>(model_capacity));
  const auto impulses = static_cast<std::size_t>(num_impulses);
  ImpulsePrototypes.assign(impulses, nullptr);
  ImpulseWorkers.resize(impulses);
  NumImpulseWorkers.assign(impulses, 0);
  ImpulseModelNames.resize(impulses);
  ImpulseModelNameCounts.assign(impulses, 0);
  ImpulseSpecs.resize(impulses);
  ImpulseModelGroups.resize(impulses);
  ImpulseActionModelCounts.assign(impulses, 0);
}

void PerformanceVariableNode::InitializeTimeArrays(int n,
                                                   const double* start_times,
                                                   const double* stop_times) {
  NumTimePoints = n;
  StartTimes.assign(start_times, start_times + n);
  StopTimes.assign(stop_times, stop_times + n);
}

double PerformanceVariableNode::GetStartTime(int k) const {
  return StartTimes[static_cast<std::size_t>(k)];
}

double PerformanceVariableNode::GetStopTime(int k) const {
  return StopTimes[static_cast<std::size_t>(k)];
}

void PerformanceVariableNode::AddVariableDependency(const char* variable,
                                                    const char* model) {
  GEN_CHECK(NumVariableDependencies < variable_capacity_);
  VariableDependencies.emplace_back();
  VariableDependencies.back().SetPair(variable, model);
  NumVariableDependencies += 1;
  AddModelDependency(model);
}

void PerformanceVariableNode::AddModelDependency(const char* model) {
  if (IsDependentOnModel(model)) return;
  GEN_CHECK(NumModelNames < model_capacity_);
  ModelNames.emplace_back(model);
  NumModelNames += 1;
}

bool PerformanceVariableNode::IsDependentOnModel(const char* name) const {
  return std::find(ModelNames.begin(), ModelNames.end(), name) !=
         ModelNames.end();
}

bool PerformanceVariableNode::IsDependentOnImpulseModel(const char* name,
                                                        int impulse) const {
  const auto& names = ImpulseModelNames[static_cast<std::size_t>(impulse)];
  return std::find(names.begin(), names.end(), name) != names.end();
}

int PerformanceVariableNode::GetImpulseNumber(
    const ImpulseNodeClass* prototype) const {
  for (int i = 0; i < NumImpulses; ++i) {
    if (ImpulsePrototypes[static_cast<std::size_t>(i)] == prototype) return i;
  }
  return -1;
}

void PerformanceVariableNode::DefineName(const char* name) {
  for (std::size_t i = 0; i < Workers.size(); ++i) {
    if (Workers[i]) Workers[i]->DefineName(name, static_cast<int>(i));
  }
  for (std::size_t k = 0; k < ImpulseWorkers.size(); ++k) {
    for (std::size_t j = 0; j < ImpulseWorkers[k].size(); ++j) {
      ImpulseWorkers[k][j]->DefineName(name, static_cast<int>(k),
                                       static_cast<int>(j));
    }
  }
}

void PerformanceVariableNode::AddImpulse(const char* action, const char* model,
                                         ImpulseNodeClass* prototype) {
  int impulse = GetImpulseNumber(prototype);
  if (impulse < 0) {
    GEN_CHECK(NumImpulses < static_cast<int>(ImpulsePrototypes.size()));
    impulse = NumImpulses;
    NumImpulses += 1;
    ImpulsePrototypes[static_cast<std::size_t>(impulse)] = prototype;
  }
  ImpulseSpecs[static_cast<std::size_t>(impulse)].SetPair(action, model);
  AddImpulseModelDependency(model, prototype);
}

void PerformanceVariableNode::AddImpulseModelDependency(
    const char* model, ImpulseNodeClass* prototype) {
  const int impulse = GetImpulseNumber(prototype);
  if (impulse < 0) {
    FatalError(std::cerr,
               "Model Dependency requested on undefined impulse.  Check code "
               "generator.  Error code GP0001.\n",
               1);
  }
  if (!IsDependentOnImpulseModel(model, impulse)) {
    AddImpulseModelDependency(model, impulse);
  }
}

void PerformanceVariableNode::AddImpulseActionDependency(const char* action,
                                                         const char* model,
                                                         int impulse) {
  GEN_CHECK(impulse >= 0 && impulse < NumImpulses);
  ImpulseSpecs[static_cast<std::size_t>(impulse)].SetPair(action, model);
}

void PerformanceVariableNode::AddImpulseModelDependency(const char* model,
                                                        int impulse) {
  GEN_CHECK(impulse >= 0 && impulse < NumImpulses);
  const auto i = static_cast<std::size_t>(impulse);
  ImpulseModelNames[i].emplace_back(model);
  ImpulseModelNameCounts[i] += 1;
}

void PerformanceVariableNode::FixReferences(BaseModelClass* top) {
  GEN_CHECK(ModelRef != nullptr);
  *ModelRef = top;
  NumberOfWorkers = NumModelNames == 0 ? 0 : 1;
  for (const std::string& name : ModelNames) {
    NumberOfWorkers *= CountModels(top, name);
  }
  GetNumberOfImpulseWorkers();
  Workers.clear();
  Workers.resize(static_cast<std::size_t>(NumberOfWorkers));
}

void PerformanceVariableNode::GetNumberOfImpulseWorkers() {
  BaseModelClass* top = *ModelRef;
  for (int impulse = 0; impulse < NumImpulses; ++impulse) {
    const auto i = static_cast<std::size_t>(impulse);
    int workers = 1;
    for (const std::string& name : ImpulseModelNames[i]) {
      workers *= CountModels(top, name);
    }
    const std::string& action_model = ImpulseSpecs[i].ModelName;
    ImpulseActionModelCounts[i] = CountModels(top, action_model);
    if (!IsDependentOnImpulseModel(action_model.c_str(), impulse)) {
      workers *= ImpulseActionModelCounts[i];
    }
    NumImpulseWorkers[i] = workers;
  }
}

void PerformanceVariableNode::CreateModelGroupList() {
  ModelGroups = BuildModelGroups(*ModelRef, ModelNames, NumberOfWorkers);
}

void PerformanceVariableNode::FixWorkerList() {
  for (int i = 0; i < NumberOfWorkers; ++i) {
    PerformanceVariableWorker* worker =
        Workers[static_cast<std::size_t>(i)].get();
    GEN_CHECK(worker != nullptr);
    if (auto* interval = dynamic_cast<IntervalOfTime*>(worker)) {
      interval->StartTime = StartTime;
      interval->StopTime = StopTime;
    }
    worker->DefineName(Name.c_str(), i);
    worker->NodeID = ID;
    const ModelGroupClass& group = ModelGroups[static_cast<std::size_t>(i)];
    GEN_CHECK(worker->ModelPointers.size() >=
              static_cast<std::size_t>(NumModelNames));
    for (int k = 0; k < NumModelNames; ++k) {
      worker->ModelPointers[static_cast<std::size_t>(k)].Store(
          group.GetModel(k));
    }
  }
}

void PerformanceVariableNode::CheckSlot(const BaseActionClass* action) const {
  GEN_CHECK(ID >= 0 && ID < NumPVsInModel);
  GEN_CHECK(action != nullptr);
}

void PerformanceVariableNode::AddPVWorkersToAction(BaseActionClass* action,
                                                   BaseModelClass* model) {
  CheckSlot(action);
  GEN_CHECK(action->IsPVRateDSAllocated());
  for (int i = 0; i < NumberOfWorkers; ++i) {
    if (ModelGroups[static_cast<std::size_t>(i)].IsDependentOnModel(model)) {
      action->PVRateSets[static_cast<std::size_t>(ID)].insert(i);
    }
  }
}

std::vector<std::string> PerformanceVariableNode::ImpulseGroupNames(
    int impulse) const {
  const auto i = static_cast<std::size_t>(impulse);
  std::vector<std::string> names = ImpulseModelNames[i];
  if (std::find(names.begin(), names.end(), ImpulseSpecs[i].ModelName) ==
      names.end()) {
    names.push_back(ImpulseSpecs[i].ModelName);
  }
  return names;
}

int PerformanceVariableNode::ImpulseActionModelSlot(int impulse) const {
  const std::vector<std::string> names = ImpulseGroupNames(impulse);
  const auto found =
      std::find(names.begin(), names.end(),
                ImpulseSpecs[static_cast<std::size_t>(impulse)].ModelName);
  return static_cast<int>(found - names.begin());
}

void PerformanceVariableNode::CreateImpulseModelGroupList() {
  for (int impulse = 0; impulse < NumImpulses; ++impulse) {
    const auto i = static_cast<std::size_t>(impulse);
    ImpulseModelGroups[i] = BuildModelGroups(
        *ModelRef, ImpulseGroupNames(impulse), NumImpulseWorkers[i]);
  }
}

void PerformanceVariableNode::CreateImpulseWorkerLists() {
  for (int impulse = 0; impulse < NumImpulses; ++impulse) {
    const auto i = static_cast<std::size_t>(impulse);
    ImpulseWorkers[i] =
        ImpulsePrototypes[i]->CreateWorkers(NumImpulseWorkers[i]);
    GEN_CHECK(ImpulseWorkers[i].size() ==
              static_cast<std::size_t>(NumImpulseWorkers[i]));
  }
}

void PerformanceVariableNode::FixImpulseWorkerLists() {
  for (int impulse = 0; impulse < NumImpulses; ++impulse) {
    const auto i = static_cast<std::size_t>(impulse);
    const int slot = ImpulseActionModelSlot(impulse);
    for (std::size_t j = 0; j < ImpulseWorkers[i].size(); ++j) {
      ImpulseNodeClass* worker = ImpulseWorkers[i][j].get();
      GEN_CHECK(worker != nullptr);
      worker->DefineName(Name.c_str(), impulse, static_cast<int>(j));
      const ModelGroupClass& group = ImpulseModelGroups[i][j];
      GEN_CHECK(worker->ModelPointers.size() <= ImpulseModelNames[i].size());
      for (std::size_t k = 0; k < worker->ModelPointers.size(); ++k) {
        worker->ModelPointers[k].Store(group.GetModel(static_cast<int>(k)));
      }
      worker->ActionModel = group.GetModel(slot);
    }
  }
}

void PerformanceVariableNode::CurrentReward(BaseActionClass* action) {
  RewardValue = 0.0;
  RewardSquare = 0.0;
  for (const auto& worker : Workers) {
    worker->CurrentReward();
    RewardValue += worker->Value;
    RewardSquare += worker->Square;
  }
  ImpulseValue = 0.0;
  ImpulseSquare = 0.0;
  if (NumImpulses == 0 || !ImpulseAffectedBy(action)) return;
  if (!action->IsPVImpulseDSAllocated()) return;
  const auto id = static_cast<std::size_t>(ID);
  FastSet& impulses = action->PVImpulseSets[id];
  const auto& index_row = action->PVImpulsePointerRows[id];
  const std::vector<int>& count_row = action->PVImpulseIntRows[id];
  for (int e = 0; e < impulses.size(); ++e) {
    const auto k = static_cast<std::size_t>(impulses[e]);
    GEN_CHECK(k < index_row.size() && k < ImpulseWorkers.size());
    const std::vector<int>& indices = *index_row[k];
    for (int j = 0; j < count_row[k]; ++j) {
      ImpulseNodeClass& worker = *ImpulseWorkers[k][static_cast<std::size_t>(
          indices[static_cast<std::size_t>(j)])];
      worker.CurrentImpulse(action);
      ImpulseValue += worker.Value;
      ImpulseSquare += worker.Square;
    }
  }
}

bool PerformanceVariableNode::ImpulseAffectedBy(BaseActionClass* action) {
  CheckSlot(action);
  if (SetContains(action->AffectedNodesByImpulseReward, ID)) return true;
  if (!action->isSync()) return false;
  auto* sync = dynamic_cast<BaseGroupClass*>(action);
  if (sync == nullptr) return false;
  for (int m = 0; m < sync->NumMembers; ++m) {
    if (ImpulseAffectedBy(sync->getMember(m))) return true;
  }
  return false;
}

void PerformanceVariableNode::CommonAccumulate(double t, double last_time,
                                               BaseActionClass* action) {
  double sum = 0.0;
  for (const auto& worker : Workers) {
    worker->Accumulate(t, last_time);
    sum += worker->Value;
  }
  if (Type != 0 && !Workers.empty()) {
    const auto* first = dynamic_cast<IntervalOfTime*>(Workers.front().get());
    const double fraction = first != nullptr ? first->Fraction : 1.0;
    RewardValue += fraction * sum;
    RewardSquare += sum * sum * fraction;
  }
  if (!ImpulseAffectedBy(action)) return;
  if (action->IsPVImpulseDSAllocated()) {
    const auto id = static_cast<std::size_t>(ID);
    FastSet& impulses = action->PVImpulseSets[id];
    for (int e = 0; e < impulses.size(); ++e) {
      const auto k = static_cast<std::size_t>(impulses[e]);
      const std::vector<int>& indices = *action->PVImpulsePointerRows[id][k];
      for (int j = 0; j < action->PVImpulseIntRows[id][k]; ++j) {
        ImpulseWorkers[k][static_cast<std::size_t>(
                              indices[static_cast<std::size_t>(j)])]
            ->Accumulate();
      }
    }
  }
  if (action->isSync()) {
    if (auto* sync = dynamic_cast<BaseGroupClass*>(action)) {
      for (int m = 0; m < sync->NumMembers; ++m) {
        CommonAccumulate(t, last_time, sync->getMember(m));
      }
    }
  }
}

void PerformanceVariableNode::TotalAccumulation() {
  if (Type == 0 && !Workers.empty()) {
    double sum = 0.0;
    for (const auto& worker : Workers) sum += worker->Value;
    const auto* first = dynamic_cast<IntervalOfTime*>(Workers.front().get());
    const double fraction = first != nullptr ? first->Fraction : 1.0;
    RewardSquare += sum * sum * fraction;
    RewardValue += fraction * sum;
  }
  ImpulseValue = 0.0;
  ImpulseSquare = 0.0;
  for (const auto& workers : ImpulseWorkers) {
    for (const auto& worker : workers) {
      ImpulseValue += worker->Value;
      ImpulseSquare += worker->Value * worker->Value;
    }
  }
  RewardValue += ImpulseValue;
  RewardSquare += ImpulseSquare;
}

void PerformanceVariableNode::Accumulate(double t, double last_time,
                                         BaseActionClass* action) {
  if (AccumulationStatus == 2 || t < StartTime) return;
  CommonAccumulate(t, last_time, action);
  if (t <= StopTime) {
    AccumulationStatus = 1;
  } else {
    AccumulationStatus = 2;
    TotalAccumulation();
  }
}

void PerformanceVariableNode::EndAccumulate(double t, double last_time,
                                            BaseActionClass* action) {
  if (AccumulationStatus == 2) return;
  CommonAccumulate(t, last_time, action);
  for (const auto& workers : ImpulseWorkers) {
    for (const auto& worker : workers) worker->EndInterval(t);
  }
  if (t + 1.0 > StopTime) {
    AccumulationStatus = 2;
    TotalAccumulation();
  } else {
    AccumulationStatus = 1;
  }
}

void PerformanceVariableNode::UpdateAccumulate(double t) {
  if (t <= StopTime) {
    AccumulationStatus = 1;
  } else {
    AccumulationStatus = 2;
    TotalAccumulation();
  }
}

void PerformanceVariableNode::Reset() {
  AccumulationStatus = 0;
  RewardValue = 0.0;
  RewardSquare = 0.0;
  for (const auto& worker : Workers) worker->Reset();
  ImpulseValue = 0.0;
  ImpulseSquare = 0.0;
  for (const auto& workers : ImpulseWorkers) {
    for (const auto& worker : workers) worker->ResetInterval();
  }
  if (TimeType == 1) {
    StartTime = StopTime;
    StopTime += IntervalLength;
  }
}
