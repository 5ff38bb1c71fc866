#include "generator/StateSpaceGen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <sstream>

#include "framework/BaseActionClass.h"
#include "framework/BaseGroupClass.h"
#include "framework/Fatal.h"
#include "reward/PVModel.h"
#include "reward/PerformanceVariableNode.h"
#include "reward/Reward.h"
#include "trace/TraceFileContainer.h"
#include "trace/TraceFileTolvarSSG.h"

namespace {

constexpr std::uint32_t kAbsent = 0xFFFFFFFFu;

// Result files are written in large chunks; the stream's own buffer is
// enlarged as well so that small header writes do not reach the kernel one
// by one.
constexpr std::size_t kStreamBuffer = 1 << 16;

}  // namespace

double ComputationSeconds(std::clock_t ticks) {
  const double seconds = static_cast<double>(ticks) / CLOCKS_PER_SEC;
  const auto hundred_thousandths =
      static_cast<std::int64_t>(seconds * 100000.0 + 0.5);
  return static_cast<double>(hundred_thousandths) / 100000.0;
}

StateSpaceGen::StateSpaceGen(PVModel* model, const char* path, const char* name,
                             short absorb_flag, double hash_value,
                             const char* db_server,
                             const char* /*db_entity: not used*/,
                             const char* trace_file_name)
    : Model(model),
      Path(path != nullptr ? path : ""),
      Name(name != nullptr ? name : ""),
      AbsorbFlag(absorb_flag),
      HashValue(hash_value) {
  if (db_server != nullptr) {
    ResultsDatabase =
        std::make_unique<ResultsDB>(db_server, -1, nullptr, nullptr, nullptr);
  }
  if (trace_file_name != nullptr) TraceFileName = trace_file_name;

  Model->ConsiderOnly(nullptr, -1);
  Model->listActions(&ActionList);
  Actions = ActionList.getList();

  StateSize = static_cast<std::uint32_t>(Model->StateSize());
  if (StateSize == 0) {
    FatalError(std::cout,
               "The model is empty, i.e., does not have any state "
               "variables.\n",
               1);
  }
  Model->listGroups(&GroupList);
  Groups = GroupList.getList();

  ReachedStates = std::make_unique<HybridHash>(
      StateSize, kInitialTableSize, kBlockSize, kMaxBlocks, HashValue);
  StateQueue = std::make_unique<Queue>(StateSize);

  for (int i = 0; i < ActionList.getNumItems(); ++i) {
    BaseActionClass* action = Actions[i];
    switch (action->DistributionType) {
      case Instantaneous:
        InstantActions.push_back(action);
        DistributionMix |= 1;
        break;
      case Exponential:
        TimedActions.push_back(action);
        DistributionMix |= 1;
        break;
      case Deterministic:
        TimedActions.push_back(action);
        DistributionMix |= 2;
        break;
      case Erlang:
        TimedActions.push_back(action);
        ErlangActions.push_back(action);
        DistributionMix |= 4;
        break;
      default:
        TimedActions.push_back(action);
        DistributionMix = 0xF000;
        break;
    }
  }
  NumInstantActions = static_cast<std::uint32_t>(InstantActions.size());
  NumTimedActions = static_cast<std::uint32_t>(TimedActions.size());
  NumErlangActions = static_cast<std::uint32_t>(ErlangActions.size());

  // The initial state is state 1, reached and queued before exploration.
  std::vector<char> initial(StateSize);
  NumStates = 1;
  Model->CurrentState(initial.data());
  StateQueue->Enqueue(initial.data(), 1);
  ReachedStates->Insert(initial.data(), 1);
  Model->SetState(initial.data());

  explored_copy_.resize(StateSize);
  level_actions_.resize(kMaxRecursionDepth + 1);
  level_weights_.resize(kMaxRecursionDepth + 1);
  level_saved_.assign(kMaxRecursionDepth + 1, std::vector<char>(StateSize));
  for (int level = 0; level <= kMaxRecursionDepth; ++level) {
    level_actions_[level].reserve(NumInstantActions);
    level_weights_[level].reserve(NumInstantActions);
  }
}

StateSpaceGen::~StateSpaceGen() = default;

void StateSpaceGen::InitializeTrace() {
  Trace = std::make_unique<TraceFileContainer>();
  Trace->setTraceLevel(TraceLevel);
  if (TraceFileName) {
    TraceOutput = std::make_unique<TraceFileTolvarSSG>(TraceFileName->c_str());
  } else {
    TraceOutput = std::make_unique<TraceFileTolvarSSG>(&std::cout);
  }
  TraceOutput->setTraceLevel(TraceLevel);
  Trace->AddTraceFile(TraceOutput.get());
  Trace->addPVModel(Model);
}

void StateSpaceGen::GenStateSpace() {
  FileType = 1;
  const std::clock_t start = std::clock();
  SetMethodPointers();
  if (CurrentStateNumber == 0) CurrentStateNumber = 1;
  std::cout << "_$" << CurrentStateNumber << "$\n" << std::flush;
  if (TraceLevel >= 1) {
    Trace->printf(1, "Generated: %d states",
                  static_cast<int>(CurrentStateNumber));
  }
  std::cout << "Generated: " << CurrentStateNumber << " states\n" << std::flush;
  if (ResultsDatabase &&
      !ResultsDatabase->writeSSGExperInfo(Name.c_str(), CurrentStateNumber)) {
    std::cout << "Error writing ssg experiment info\n" << std::flush;
  }
  const double seconds = ComputationSeconds(std::clock() - start);
  if (TraceLevel >= 1) {
    Trace->printf(1, "Computation time (user + system): %f", seconds);
  }
  std::cout << "Computation Time (user + system): " << seconds << " seconds\n"
            << std::flush;
}

void StateSpaceGen::RefuseErlangActions() {
  if (ErlangActions.empty()) return;
  // An Erlang action's phase lives in the action, not in the state, so the
  // state it finally fires from would depend on the order of exploration.
  FatalError(std::cerr,
             "Error: action " + ErlangActions.front()->ActionName +
                 " has an Erlang distribution; state-space generation does "
                 "not support phase-type actions\n",
             1);
}

void StateSpaceGen::SetMethodPointers() {
  const std::string base = Path + Name;
  const std::string arm = base + ".arm";
  const std::string var = base + ".var";
  type_file_name_ = base + ".pvtype";
  const std::string det = base + ".det";

  type_file_failed_ = !Model->WritePVTypeFile(type_file_name_.c_str());

  if (ActionList.getNumItems() == 0) {
    FindNext = &StateSpaceGen::FindNextNormal;
    GenStateSpaceNormal(arm.c_str(), var.c_str());
    return;
  }
  switch (DistributionMix) {
    case 1:
    case 4:
    case 5:
      RefuseErlangActions();
      if (NumInstantActions > 0) {
        for (BaseActionClass* action : InstantActions) {
          if (action->Enabled()) {
            FatalError(std::cout,
                       "Error: The initial state is not stable, i.e., at "
                       "least one instantaneous action is enabled in that "
                       "state.\n",
                       1);
          }
        }
        FindNext = &StateSpaceGen::FindNextInstant;
      } else {
        FindNext = &StateSpaceGen::FindNextNormal;
      }
      GenStateSpaceNormal(arm.c_str(), var.c_str());
      break;
    case 2:
    case 3:
      FindNext = &StateSpaceGen::FindNextInstant;
      GenStateSpaceDeterministic(arm.c_str(), var.c_str(), det.c_str());
      break;
    default:
      FatalError(std::cout,
                 "Error:  Can not generate state space with Current Action "
                 "Distribution Type\n",
                 1);
  }
}

void StateSpaceGen::InvalidValue(const char* what, double value,
                                 BaseActionClass* action) {
  std::ostringstream text;
  text << "Error: invalid " << what << ' ' << value << " of action "
       << action->ActionName << " while exploring state " << CurrentStateNumber
       << "; it must be a finite number that is not negative\n";
  FatalError(std::cerr, text.str(), 1);
}

double StateSpaceGen::CheckedProbability(BaseActionClass* action) {
  const double probability = Groups[action->GroupId]->Probability(action);
  if (!std::isfinite(probability) || probability < 0.0) {
    InvalidValue("probability", probability, action);
  }
  return probability;
}

bool StateSpaceGen::FireAction(BaseActionClass* action, char* image) {
  if (!action->Enabled()) return false;
  if (TraceLevel >= 1) Trace->printFireAction(action, 0.0);
  if (action->DistributionType == Erlang && !action->ReadyToFire()) {
    Model->AgeAction(image, action);
    BaseGroupClass* group = Groups[action->GroupId];
    const int members = group->getNumMembers();
    if (members >= 1) {
      for (int i = 0; i < members; ++i) group->getMember(i)->Age();
      Rate = action->Rate() / members;
    } else {
      action->Age();
      Rate = action->Rate();
    }
    for (BaseActionClass* erlang : ErlangActions) {
      if (!erlang->Enabled()) erlang->ResetPhase();
    }
    Model->CurrentState(NextState.data());
    return true;
  }
  const double rate = action->Rate();
  if (!std::isfinite(rate) || rate < 0.0) InvalidValue("rate", rate, action);
  Rate = rate * CheckedProbability(action);
  // The model's firing leaves the successor's image in NextState already;
  // resetting phases does not change the marking.
  Model->FireAction(NextState.data(), action);
  for (BaseActionClass* erlang : ErlangActions) {
    if (!erlang->Enabled()) erlang->ResetPhase();
  }
  return true;
}

void StateSpaceGen::GenStateSpaceNormal(const char* arm_file_name,
                                        const char* var_file_name) {
  NextState.assign(StateSize, 0);

  std::vector<char> stream_buffer(kStreamBuffer);
  std::ofstream arm_stream;
  arm_stream.rdbuf()->pubsetbuf(stream_buffer.data(),
                                static_cast<std::streamsize>(kStreamBuffer));
  arm_stream.open(arm_file_name,
                  std::ios::out | std::ios::binary | std::ios::trunc);
  if (!arm_stream) {
    FatalError(std::cerr, "Error: Could not open state space output file\n", 1);
  }
  RegisterResultStream(&arm_stream);
  if (type_file_failed_) {
    FatalError(std::cerr,
               "Error: Could not write reward variable type file " +
                   type_file_name_ + "\n",
               1);
  }
  std::cout << std::scientific;

  RewardWriter = std::make_unique<Reward>(Model, FileType, var_file_name);
  Model->FireAction(NextState.data(), &Model->NoActionFired);
  RewardWriter->Calculate(NumStates);

  StateSpaceFile arm(arm_stream);
  arm.WriteHeader(FileType, StateSpaceFile::kNormalPlaceholder);

  while (state_struct* record = StateQueue->Dequeue()) {
    if (record->number == 0) continue;
    CurrentStateNumber = record->number;
    if (TraceLevel >= 1) {
      Trace->printf(1, "State Number = %d",
                    static_cast<int>(CurrentStateNumber));
    }
    (this->*FindNext)(record->image.get());
    if (CurrentStateNumber % 1000 == 0) {
      std::cout << "_$" << CurrentStateNumber << "$\n" << std::flush;
    }
    if (AbsorbFlag == 1 && Transitions.empty()) {
      Trace->printStr(1, "The following state is absorbing: ");
      std::cout << "absorbing state\n" << std::flush;
      Trace->printState();
    }
    WriteStateBlock(arm);
  }

  FinishResultFiles(arm, arm_stream, arm_file_name, var_file_name);
  ReachedStates->ReleaseTable();
  NextState.clear();
  NextState.shrink_to_fit();
}

void StateSpaceGen::WriteStateBlock(StateSpaceFile& arm) {
  const std::vector<TransitionList::Entry>& transitions = Transitions.Merge();
  for (const TransitionList::Entry& entry : transitions) {
    // Each recorded value is finite; only their sum can overflow.
    if (!std::isfinite(entry.rate)) {
      FatalError(
          std::cerr,
          "Error: the rates from state " + std::to_string(CurrentStateNumber) +
              " to state " + std::to_string(entry.target) + " add up to " +
              std::to_string(entry.rate) + ", which is not a finite number\n",
          1);
    }
  }
  arm.WriteState(CurrentStateNumber, transitions);
  Transitions.Clear();
  ++states_written_;
}

void StateSpaceGen::FinishResultFiles(StateSpaceFile& arm,
                                      std::ofstream& arm_stream,
                                      const std::string& arm_file_name,
                                      const std::string& var_file_name) {
  const bool arm_ok = arm.Finish(FileType, states_written_);
  arm_stream.close();
  UnregisterResultStream(&arm_stream);
  if (!arm_ok || arm_stream.fail()) {
    FatalError(std::cerr,
               "Error: Could not write state space output file " +
                   arm_file_name + "\n",
               1);
  }
  const bool var_ok = RewardWriter->Finish();
  RewardWriter.reset();
  if (!var_ok) {
    FatalError(std::cerr,
               std::string("Error: Could not write reward values file ") +
                   var_file_name + "\n",
               1);
  }
}

void StateSpaceGen::FindNextNormal(char* image) {
  std::memcpy(explored_copy_.data(), image, StateSize);
  char* copy = explored_copy_.data();
  Model->SetState(copy);
  // The trace reports each firing next to its lookup: one pass then.
  if (TraceLevel == 0) {
    FindNextBatched(copy);
    return;
  }
  for (BaseActionClass* action : TimedActions) {
    if (TraceLevel >= 4) {
      Trace->printf(4, "Checking Action: %s", action->ActionName.c_str());
    }
    if (FireAction(action, copy)) {
      SaveStableState(Rate, ReachedStates->Lookup(NextState.data()));
      Model->SetState(copy);
    }
  }
}

void StateSpaceGen::FindNextInstant(char* image) {
  std::memcpy(explored_copy_.data(), image, StateSize);
  char* copy = explored_copy_.data();
  Model->SetState(copy);
  for (BaseActionClass* action : TimedActions) {
    if (TraceLevel >= 4) {
      Trace->printf(4, "Checking Action: %s", action->ActionName.c_str());
    }
    if (FireAction(action, copy)) {
      RecursionDepth = 0;
      FireInstant(1.0);
    }
    Model->SetState(copy);
  }
}

void StateSpaceGen::FindNextBatched(char* copy) {
  const std::size_t nodes = Model->PVList.size();
  if (batch_rates_.size() < TimedActions.size()) {
    batch_images_.resize(TimedActions.size() * StateSize);
    batch_rates_.resize(TimedActions.size());
    batch_probes_.resize(TimedActions.size());
    batch_rewards_.resize(TimedActions.size() * nodes * 2);
  }
  std::size_t fired = 0;
  for (BaseActionClass* action : TimedActions) {
    if (!FireAction(action, copy)) continue;
    char* successor = batch_images_.data() + fired * StateSize;
    std::memcpy(successor, NextState.data(), StateSize);
    batch_rates_[fired] = Rate;
    batch_probes_[fired] = ReachedStates->Locate(successor);
    // A new state's reward record is written when it is numbered, from the
    // values its firing left in the nodes.
    double* rewards = batch_rewards_.data() + fired * nodes * 2;
    for (const auto& node : Model->PVList) {
      *rewards++ = node->ImpulseValue;
      *rewards++ = node->RewardValue;
    }
    ++fired;
    Model->SetState(copy);
  }
  for (std::size_t k = 0; k < fired; ++k) {
    ReachedStates->PrefetchImage(batch_probes_[k]);
  }
  for (std::size_t k = 0; k < fired; ++k) {
    const char* successor = batch_images_.data() + k * StateSize;
    const std::uint32_t number =
        ReachedStates->Lookup(successor, batch_probes_[k]);
    if (number == kAbsent) {
      const double* rewards = batch_rewards_.data() + k * nodes * 2;
      for (const auto& node : Model->PVList) {
        node->ImpulseValue = *rewards++;
        node->RewardValue = *rewards++;
      }
    }
    if (batch_rates_[k] > 0.0) {
      RecordTransition(batch_rates_[k], number, successor, &batch_probes_[k]);
    }
  }
}

std::vector<BaseActionClass*>& StateSpaceGen::EnabledInstantActions(int level) {
  std::vector<BaseActionClass*>& enabled = level_actions_[level];
  enabled.clear();
  for (BaseActionClass* action : InstantActions) {
    if (action->Enabled()) enabled.push_back(action);
  }
  return enabled;
}

void StateSpaceGen::SelectHighestRank(std::vector<BaseActionClass*>& actions) {
  int max_rank = 0;
  for (BaseActionClass* action : actions) {
    max_rank = std::max(max_rank, action->Rank());
  }
  std::size_t kept = 0;
  for (BaseActionClass* action : actions) {
    if (action->Rank() == max_rank) actions[kept++] = action;
  }
  if (kept == 0) {
    std::string names;
    for (BaseActionClass* action : actions) {
      names += names.empty() ? "" : ", ";
      names += action->ActionName;
    }
    FatalError(std::cerr,
               "Error: a vanishing state reached from state " +
                   std::to_string(CurrentStateNumber) +
                   " leads nowhere: every enabled instantaneous action (" +
                   names + ") has a negative rank\n",
               1);
  }
  actions.resize(kept);
}

void StateSpaceGen::FireZeroTime(BaseActionClass* action, double probability,
                                 void (StateSpaceGen::*resolve)(double)) {
  if (TraceLevel >= 1) Trace->printFireAction(action, 0.0);
  Model->FireAction(NextState.data(), action);
  ++RecursionDepth;
  (this->*resolve)(probability);
  --RecursionDepth;
}

void StateSpaceGen::FireInstant(double probability) {
  if (RecursionDepth > kMaxRecursionDepth) {
    FatalError(std::cerr,
               "Error:  Maximum number of zero time transition recursive "
               "firings exceeded(23)\nPossible undetermined model.\n"
               "Please check the model and try again\n",
               1);
  }
  const int level = RecursionDepth;
  std::vector<BaseActionClass*>& enabled = EnabledInstantActions(level);
  if (enabled.empty()) {
    SaveStableState(Rate * probability,
                    ReachedStates->Lookup(NextState.data()));
    return;
  }
  if (enabled.size() == 1) {
    FireZeroTime(enabled.front(), probability, &StateSpaceGen::FireInstant);
    return;
  }
  SelectHighestRank(enabled);
  std::vector<double>& weights = level_weights_[level];
  weights.clear();
  double total = 0.0;
  for (BaseActionClass* action : enabled) {
    const double weight = action->Weight();
    if (!std::isfinite(weight) || weight < 0.0) {
      InvalidValue("weight", weight, action);
    }
    weights.push_back(weight);
    total += weight;
  }
  if (!(total > 0.0) || !std::isfinite(total)) {
    InvalidValue("total weight", total, enabled.front());
  }
  char* saved = level_saved_[level].data();
  Model->CurrentState(saved);
  for (std::size_t i = 0; i < enabled.size(); ++i) {
    FireZeroTime(enabled[i], probability * weights[i] / total,
                 &StateSpaceGen::FireInstant);
    Model->SetState(saved);
  }
}

void StateSpaceGen::SaveStableState(double rate, std::uint32_t target_number) {
  if (TraceLevel >= 4) Trace->printf(4, "The rate to this state: %f", rate);
  if (rate > 0.0) {
    RecordTransition(rate, target_number, NextState.data(), nullptr);
  }
}

void StateSpaceGen::RecordTransition(double rate, std::uint32_t target_number,
                                     const char* image,
                                     const HybridHash::Probe* probe) {
  if (target_number == kAbsent) {
    ++NumStates;
    StateQueue->Enqueue(image, NumStates);
    if (probe != nullptr) {
      ReachedStates->Insert(image, NumStates, *probe);
    } else {
      ReachedStates->Insert(image, NumStates);
    }
    Transitions.Add(NumStates, rate);
    RewardWriter->Calculate(NumStates);
  } else {
    Transitions.Add(target_number, rate);
  }
}
