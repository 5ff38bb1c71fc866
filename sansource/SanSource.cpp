#include "sansource/SanSource.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <unordered_map>

#include "base/Contract.h"
#include "framework/BaseActionClass.h"
#include "framework/BaseGroupClass.h"
#include "reward/PVModel.h"
#include "trace/TraceFileContainer.h"

SanSource::SanSource(PVModel& model, TraceFileContainer& trace, int trace_level)
    : model_(model),
      trace_(trace),
      trace_level_(trace_level),
      skip_impossible_(model.SkipsImpossibleFirings()),
      firing_impulses_(model.EarnsFiringImpulses()),
      resolve_initial_(model.ResolvesVanishingInitialMarking()) {
  model_.ConsiderOnly(nullptr, -1);
  model_.listActions(&ActionList);
  state_size_ = static_cast<std::size_t>(model_.StateSize());
  model_.listGroups(&GroupList);
  Groups = GroupList.getList();

  BaseActionClass** actions = ActionList.getList();
  for (int i = 0; i < ActionList.getNumItems(); ++i) {
    BaseActionClass* action = actions[i];
    // A successor whose record is left for later names the action that
    // reached it by this index: another source of the model, over a copy
    // of its own, computes the record.
    action->ListIndex = static_cast<std::uint32_t>(i);
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
        deterministic_actions_.push_back(action);
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

  // The cases of one deterministic activity are the members of one
  // post-select group, which chooses among them only when it fires: they
  // share its clock, one delay with a branch per case. Members of a
  // pre-select group each have a timing, and a clock, of their own.
  std::vector<const BaseActionClass*> clock_groups;
  for (const BaseActionClass* action : deterministic_actions_) {
    const BaseActionClass* group =
        dynamic_cast<const PostselectGroup*>(Groups[action->GroupId]) != nullptr
            ? Groups[action->GroupId]
            : action;
    const auto found =
        std::find(clock_groups.begin(), clock_groups.end(), group);
    clock_of_.push_back(
        static_cast<std::uint32_t>(found - clock_groups.begin()));
    if (found != clock_groups.end()) continue;
    clock_groups.push_back(group);
    // A case is named <activity>_case<k>; its clock is the activity's.
    std::string name = action->ActionName;
    const std::string first_case = "_case1";
    if (group != action && name.size() > first_case.size() &&
        name.compare(name.size() - first_case.size(), first_case.size(),
                     first_case) == 0) {
      name.resize(name.size() - first_case.size());
    }
    clock_names_.push_back(std::move(name));
  }

  initial_.resize(state_size_);
  explored_copy_.resize(state_size_);
  NextState.resize(state_size_);
  replayed_state_.resize(state_size_);
  if (state_size_ > 0) {
    model_.CurrentState(initial_.data());
    model_.SetState(initial_.data());
  }
  constexpr int kLevels = 2 * (kMaxRecursionDepth + 1);
  level_actions_.resize(kLevels);
  level_weights_.resize(kLevels);
  level_saved_.assign(kLevels, std::vector<char>(state_size_));
  if (firing_impulses_) {
    path_impulses_.assign(kMaxRecursionDepth + 2,
                          std::vector<double>(2 * model_.RewardTypes().size()));
  }
  for (int level = 0; level < kLevels; ++level) {
    level_actions_[level].reserve(InstantActions.size());
    level_weights_[level].reserve(InstantActions.size());
  }
}

SanSource::~SanSource() = default;

std::vector<RewardVariableType> SanSource::RewardTypes() const {
  return model_.RewardTypes();
}

std::vector<std::string> SanSource::DeterministicActions() const {
  return clock_names_;
}

Status SanSource::ChooseMode(ExplorationMode* mode) {
  if (ActionList.getNumItems() == 0) {
    *mode = mode_ = ExplorationMode::kNormal;
    return Status::Ok();
  }
  switch (DistributionMix) {
    case 1:
    case 4:
    case 5:
      if (!ErlangActions.empty()) {
        // An Erlang action's phase lives in the action, not in the state,
        // so the state it finally fires from would depend on the order of
        // exploration.
        return Status::Error(
            "Error: action " + ErlangActions.front()->ActionName +
            " has an Erlang distribution; state-space generation does not "
            "support phase-type actions\n");
      }
      mode_ = ExplorationMode::kNormal;
      break;
    case 2:
    case 3:
      mode_ = ExplorationMode::kDeterministic;
      break;
    default:
      return Status::Error(
          "Error:  Can not generate state space with Current Action "
          "Distribution Type\n",
          Status::Stream::kOutput);
  }
  *mode = mode_;
  return CheckInitialStability();
}

Status SanSource::CheckInitialStability() {
  // A chain cannot start in a vanishing state: the time spent there would
  // be zero and its successors would have no rate. Either it is refused or
  // the states it leads to in zero time become the initial states.
  const std::size_t reward_width = 2 * model_.RewardTypes().size();
  initial_states_.Configure(state_size_, reward_width);
  model_.SetState(initial_.data());
  const bool vanishing =
      std::any_of(InstantActions.begin(), InstantActions.end(),
                  [](BaseActionClass* action) { return action->Enabled(); });
  if (!vanishing) return Status::Ok();
  if (!resolve_initial_) {
    return Status::Error(
        "Error: The initial state is not stable, i.e., at least one "
        "instantaneous action is enabled in that state.\n",
        Status::Stream::kOutput);
  }

  // The trace has no output yet: the resolution is not traced.
  Successors reached;
  reached.Configure(state_size_, reward_width);
  const int trace_level = trace_level_;
  trace_level_ = 0;
  resolving_initial_ = true;
  out_ = &reached;
  Rate = 1.0;
  origin_ = Successors::Origin{};
  RecursionDepth = 0;
  const bool resolved = FireInstant(1.0);
  out_ = nullptr;
  resolving_initial_ = false;
  trace_level_ = trace_level;
  model_.SetState(initial_.data());
  if (!resolved) return std::move(failure_);
  // Every choice has a positive share, so some stable marking is reached.
  GEN_CHECK(reached.Count() > 0);

  // Several paths may end in the same marking: one initial state, with
  // their probabilities added, numbered where it was first reached.
  std::unordered_map<std::string, std::size_t> first;
  std::vector<std::size_t> order;
  std::vector<double> probability;
  for (std::size_t k = 0; k < reached.Count(); ++k) {
    const auto [it, inserted] =
        first.emplace(std::string(reached.Image(k), state_size_), order.size());
    if (inserted) {
      order.push_back(k);
      probability.push_back(reached.Value(k));
    } else {
      probability[it->second] += reached.Value(k);
    }
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    const double* rewards = reached.Rewards(order[i]);
    std::copy(rewards, rewards + reward_width,
              initial_states_.Add(reached.Image(order[i]), probability[i]));
  }
  return Status::Ok();
}

Status SanSource::InitialStates(Successors& out) {
  if (initial_states_.Count() == 0) {
    return NextStateSource::InitialStates(out);
  }
  const std::size_t reward_width = 2 * model_.RewardTypes().size();
  for (std::size_t k = 0; k < initial_states_.Count(); ++k) {
    const double* rewards = initial_states_.Rewards(k);
    std::copy(rewards, rewards + reward_width,
              out.Add(initial_states_.Image(k), initial_states_.Value(k)));
  }
  return Status::Ok();
}

std::string SanSource::Where() const {
  return resolving_initial_
             ? "resolving the initial marking"
             : "exploring state " + std::to_string(CurrentStateNumber);
}

Status SanSource::Initial(char* image, double* rewards) {
  std::memcpy(image, initial_.data(), state_size_);
  model_.SetState(initial_.data());
  // Firing the placeholder action records the initial state's rewards.
  model_.FireAction(NextState.data(), &model_.NoActionFired);
  model_.CurrentRewards(rewards);
  if (firing_impulses_) AddZeroTimeImpulses(rewards);
  return Status::Ok();
}

Status SanSource::Expand(std::uint32_t number, const char* image,
                         Successors& out) {
  CurrentStateNumber = number;
  tracking_path_ = false;
  if (trace_level_ >= 1) {
    trace_.printf(1, "State Number = %d", static_cast<int>(number));
  }
  std::memcpy(explored_copy_.data(), image, state_size_);
  model_.SetState(explored_copy_.data());
  out_ = &out;
  if (ReportsFiringImpulses()) out.SetImpulseWidth(model_.RewardTypes().size());
  // The rewards of every firing on the way would be computed only for the
  // last firing's to be kept, and that only for a successor that is new.
  model_.DeferRewards(late_rewards_);
  const bool expanded = mode_ == ExplorationMode::kNormal
                            ? FindNextNormal()
                            : FindNextDeterministic();
  model_.DeferRewards(false);
  out_ = nullptr;
  if (!expanded) return std::move(failure_);
  return Status::Ok();
}

void SanSource::LateRewards(const char* image, std::uint32_t note,
                            double* record) {
  GEN_CHECK(note < static_cast<std::uint32_t>(ActionList.getNumItems()));
  // The marking first, then the rewards, as the firing that reached the
  // successor left them; the replay of its firings starts from NextState.
  std::memcpy(NextState.data(), image, state_size_);
  std::memcpy(replayed_state_.data(), image, state_size_);
  model_.SetState(replayed_state_.data());
  model_.RecomputeRewards(ActionList.getList()[note]);
  model_.CurrentRewards(record);
  if (firing_impulses_) AddZeroTimeImpulses(record);
}

void SanSource::ReportAbsorbing(std::uint32_t /*number*/,
                                const char* /*image*/) {
  // LateRewards may have moved the model since the expansion.
  model_.SetState(explored_copy_.data());
  if (mode_ == ExplorationMode::kNormal) {
    trace_.printStr(1, "The following state is absorbing: ");
    std::cout << "absorbing state\n" << std::flush;
    trace_.printState();
  } else {
    std::cout << "\nThis following State is absorbing:\n" << std::flush;
    model_.printState(&std::cout);
  }
}

std::string SanSource::DescribeImage(const char* image) {
  // The next expansion sets the model's state from its own image.
  std::memcpy(explored_copy_.data(), image, state_size_);
  model_.SetState(explored_copy_.data());
  return model_.DescribeMarking();
}

bool SanSource::Fail(Status status) {
  failure_ = std::move(status);
  return false;
}

bool SanSource::InvalidValue(const char* what, double value,
                             const BaseActionClass* action) {
  std::ostringstream text;
  text << "Error: invalid " << what << ' ' << value << " of action "
       << action->ActionName;
  const std::string written_at = action->WrittenAt();
  if (!written_at.empty()) text << " (" << written_at << ')';
  text << " while " << Where();
  const std::string marking = model_.DescribeMarking();
  if (!marking.empty()) text << " (marking: " << marking << ')';
  text << "; it must be a finite number that is not negative\n";
  return Fail(Status::Error(text.str()));
}

bool SanSource::CheckedProbability(BaseActionClass* action,
                                   double* probability) {
  *probability = Groups[action->GroupId]->Probability(action);
  if (!std::isfinite(*probability) || *probability < 0.0) {
    return InvalidValue("probability", *probability, action);
  }
  return true;
}

bool SanSource::FindNextNormal() {
  for (BaseActionClass* action : TimedActions) {
    if (trace_level_ >= 4) {
      trace_.printf(4, "Checking Action: %s", action->ActionName.c_str());
    }
    if (!action->Enabled()) continue;
    if (trace_level_ >= 1) trace_.printFireAction(action, 0.0);
    const double rate = action->Rate();
    if (!std::isfinite(rate) || rate < 0.0) {
      return InvalidValue("rate", rate, action);
    }
    double probability = 0.0;
    if (!CheckedProbability(action, &probability)) return false;
    Rate = rate * probability;
    if (skip_impossible_ && Rate == 0.0) continue;
    // The model's firing leaves the successor's image in NextState.
    model_.FireAction(NextState.data(), action);
    marks_at_next_ = true;
    RecursionDepth = 0;
    if (InstantActions.empty()) {
      // Every marking is stable: FireInstant would only report this one.
      SaveStableState(Rate);
    } else if (!FireInstant(1.0)) {
      return false;
    }
    RestoreExplored();
  }
  return true;
}

void SanSource::RestoreExplored() {
  if (marks_at_next_) {
    model_.RestoreState(NextState.data(), explored_copy_.data());
  } else {
    model_.SetState(explored_copy_.data());
  }
}

bool SanSource::FindNextDeterministic() {
  // The deterministic actions enabled here, first, so that every firing
  // can tell which of them it leaves enabled.
  delay_enabled_.clear();
  enabled_clocks_.clear();
  for (std::size_t i = 0; i < deterministic_actions_.size(); ++i) {
    BaseActionClass* action = deterministic_actions_[i];
    if (!action->Enabled() ||
        std::find(enabled_clocks_.begin(), enabled_clocks_.end(),
                  clock_of_[i]) != enabled_clocks_.end()) {
      continue;
    }
    enabled_clocks_.push_back(clock_of_[i]);
    delay_enabled_.push_back(action);
  }
  if (delay_enabled_.size() > Successors::kMaxDelays) {
    return Fail(Status::Error("Error: state " +
                              std::to_string(CurrentStateNumber) + " enables " +
                              std::to_string(delay_enabled_.size()) +
                              " deterministic actions; at most " +
                              std::to_string(Successors::kMaxDelays) +
                              " may be enabled in one state\n"));
  }
  const std::uint64_t all_kept =
      delay_enabled_.size() == Successors::kMaxDelays
          ? ~std::uint64_t{0}
          : (std::uint64_t{1} << delay_enabled_.size()) - 1;
  std::uint32_t delays_reported = 0;
  for (BaseActionClass* action : TimedActions) {
    if (!action->Enabled()) continue;
    if (!CheckedProbability(action, &Rate)) return false;
    if (trace_level_ >= 1) {
      trace_.printf(1, "Enabled: %s", action->ActionName.c_str());
    }
    if (action->DistributionType == Deterministic) {
      Rate = -Rate;
      const double* parameters = action->ReturnDistributionParameters();
      const double delay = parameters != nullptr ? parameters[0] : NAN;
      // The delay goes into the .det file as it is; a solver cannot use a
      // delay that is not a finite time.
      if (!std::isfinite(delay) || delay < 0.0) {
        return InvalidValue("delay", delay, action);
      }
      const auto index = static_cast<std::size_t>(
          std::find(deterministic_actions_.begin(),
                    deterministic_actions_.end(), action) -
          deterministic_actions_.begin());
      // The cases of one activity report its delay once: the clocks come
      // in model order, as the actions do.
      const auto clock = static_cast<std::uint32_t>(
          std::find(enabled_clocks_.begin(), enabled_clocks_.end(),
                    clock_of_[index]) -
          enabled_clocks_.begin());
      GEN_CHECK(clock <= delays_reported);
      if (clock == delays_reported) {
        out_->AddDelay(delay, clock_of_[index]);
        ++delays_reported;
      }
      origin_.delay = clock;
      origin_.kept = 0;
      // Its impulses are earned at the rate of its firings, which the
      // solver finds from its clock: they go with each branch.
      tracking_path_ = firing_impulses_;
      if (tracking_path_) {
        std::vector<double>& earned = path_impulses_[0];
        std::fill(earned.begin(), earned.end(), 0.0);
        model_.AddFiringImpulses(*action, 1.0, earned.data());
      }
    } else {
      const double rate = action->Rate();
      if (!std::isfinite(rate) || rate < 0.0) {
        return InvalidValue("rate", rate, action);
      }
      Rate *= rate;
      origin_.delay = Successors::Origin::kExponential;
      origin_.kept = all_kept;
      tracking_path_ = false;
    }
    // A deterministic case never taken still records its delay above.
    if (skip_impossible_ && Rate == 0.0) continue;
    if (trace_level_ >= 1) trace_.printFireAction(action, 0.0);
    model_.FireAction(NextState.data(), action);
    marks_at_next_ = true;
    RecursionDepth = 0;
    if (!FireInstant(1.0)) return false;
    RestoreExplored();
  }
  return true;
}

bool SanSource::FireInstant(double probability) {
  const bool normal = mode_ == ExplorationMode::kNormal;
  if (RecursionDepth > kMaxRecursionDepth) {
    std::string text =
        normal ? "Error:  Maximum number of zero time transition recursive "
                 "firings exceeded(23)\nPossible undetermined model.\n"
                 "Please check the model and try again\n"
               : "Error:  Maximum number of zero time transition firings "
                 "exceeded(23)\nPossible undetermined model\n"
                 "Please check the model and try again\n";
    const std::string marking = model_.DescribeMarking();
    if (!marking.empty()) {
      text += "while " + Where() + ", at the marking " + marking + "\n";
      // The activities that keep the chain going, for the model's author:
      // those enabled at some level of it, each once, in model order.
      std::string names;
      for (BaseActionClass* action : InstantActions) {
        for (int depth = 0; depth < RecursionDepth; ++depth) {
          const std::vector<BaseActionClass*>& enabled =
              level_actions_[level_base_ + depth];
          if (std::find(enabled.begin(), enabled.end(), action) ==
              enabled.end()) {
            continue;
          }
          names += (names.empty() ? "" : ", ") + action->ActionName;
          break;
        }
      }
      if (!names.empty()) {
        text += "instantaneous activities enabled on the way: " + names + "\n";
      }
    }
    return Fail(Status::Error(text));
  }
  // A deterministic action disabled in this marking, vanishing or stable,
  // restarts its clock whatever follows; the branches below each narrow
  // the set further and get it back afterwards.
  const std::uint64_t kept_before = origin_.kept;
  if (kept_before != 0) origin_.kept = StillEnabled(kept_before);
  const bool resolved = ResolveInstant(probability);
  origin_.kept = kept_before;
  return resolved;
}

bool SanSource::ResolveInstant(double probability) {
  const int level = level_base_ + RecursionDepth;
  std::vector<BaseActionClass*>& enabled = level_actions_[level];
  enabled.clear();
  for (BaseActionClass* action : InstantActions) {
    if (action->Enabled()) enabled.push_back(action);
  }
  if (enabled.empty()) {
    SaveStableState(Rate * probability);
    return true;
  }
  // Alone, an action fires for sure. A model read from a file still has
  // its weight checked, as it would be beside others; compiled models are
  // not asked.
  if (enabled.size() == 1) {
    BaseActionClass* action = enabled.front();
    if (skip_impossible_) {
      const double weight = action->Weight();
      if (!std::isfinite(weight) || weight < 0.0) {
        return InvalidValue("weight", weight, action);
      }
    }
    return FireZeroTime(action, probability);
  }
  if (!SelectHighestRank(enabled)) return false;
  // Each action's share: its weight over the total of the selected ones.
  // The weight of a case carries the case's probability.
  std::vector<double>& weights = level_weights_[level];
  weights.clear();
  double total = 0.0;
  for (BaseActionClass* action : enabled) {
    const double weight = action->Weight();
    if (!std::isfinite(weight) || weight < 0.0) {
      return InvalidValue("weight", weight, action);
    }
    weights.push_back(weight);
    total += weight;
  }
  if (!(total > 0.0) || !std::isfinite(total)) {
    return InvalidValue("total weight", total, enabled.front());
  }
  char* saved = level_saved_[level].data();
  model_.CurrentState(saved);
  for (std::size_t i = 0; i < enabled.size(); ++i) {
    if (skip_impossible_ && weights[i] == 0.0) continue;
    if (!FireZeroTime(enabled[i], probability * weights[i] / total)) {
      return false;
    }
    model_.SetState(saved);
    marks_at_next_ = false;
  }
  return true;
}

std::uint64_t SanSource::StillEnabled(std::uint64_t kept) {
  for (std::size_t j = 0; j < delay_enabled_.size(); ++j) {
    const std::uint64_t bit = std::uint64_t{1} << j;
    if ((kept & bit) != 0 && !delay_enabled_[j]->Enabled()) kept &= ~bit;
  }
  return kept;
}

bool SanSource::FireZeroTime(BaseActionClass* action, double probability) {
  if (impulse_record_ != nullptr) {
    // The impulse is earned in the marking that fires; the replay needs the
    // markings only, not the reward model's bookkeeping of the firing.
    model_.AddFiringImpulses(*action, Rate * probability, impulse_record_);
    action->Fire();
    marks_at_next_ = false;
  } else {
    if (tracking_path_) {
      // The impulses are earned in the marking that fires.
      const std::vector<double>& before = path_impulses_[RecursionDepth];
      std::vector<double>& after = path_impulses_[RecursionDepth + 1];
      std::copy(before.begin(), before.end(), after.begin());
      model_.AddFiringImpulses(*action, 1.0, after.data());
    }
    if (trace_level_ >= 1) trace_.printFireAction(action, 0.0);
    model_.FireAction(NextState.data(), action);
    marks_at_next_ = true;
  }
  ++RecursionDepth;
  const bool resolved = FireInstant(probability);
  --RecursionDepth;
  return resolved;
}

bool SanSource::SelectHighestRank(std::vector<BaseActionClass*>& actions) {
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
    return Fail(Status::Error(
        "Error: a vanishing state reached from " +
        (resolving_initial_ ? std::string("the initial marking")
                            : "state " + std::to_string(CurrentStateNumber)) +
        " leads nowhere: every enabled instantaneous action (" + names +
        ") has a negative rank\n"));
  }
  actions.resize(kept);
  return true;
}

void SanSource::SaveStableState(double value) {
  // A replay ends in stable states that are not successors of anything.
  if (impulse_record_ != nullptr) return;
  if (trace_level_ >= 4) {
    trace_.printf(4, "The rate to this state: %f", value);
  }
  // A transition of rate 0 is no transition; its target is not numbered.
  if (value == 0.0) return;
  double* record = out_->Add(NextState.data(), value, origin_);
  if (tracking_path_) {
    const double* earned = path_impulses_[RecursionDepth].data();
    double* impulses = out_->FiringImpulses(out_->Count() - 1);
    for (std::size_t v = 0; v < out_->ImpulseWidth(); ++v) {
      impulses[v] = earned[2 * v + 1];
    }
  }
  if (late_rewards_ && !resolving_initial_) {
    const std::uint32_t note = model_.LastActionFired->ListIndex;
    if (note != BaseActionClass::kNoIndex) {
      out_->DeferRewards(out_->Count() - 1, note);
      return;
    }
    // Not one of the model's actions: its rewards are up to date only if
    // computed now.
    model_.RecomputeRewards(model_.LastActionFired);
  }
  model_.CurrentRewards(record);
  if (firing_impulses_) AddZeroTimeImpulses(record);
}

void SanSource::AddZeroTimeImpulses(double* record) {
  std::memcpy(replayed_state_.data(), NextState.data(), state_size_);
  const double rate_before = Rate;
  const int depth_before = RecursionDepth;
  const Successors::Origin origin_before = origin_;
  // No deterministic clock matters in a replay.
  origin_.kept = 0;
  impulse_record_ = record;
  level_base_ = kMaxRecursionDepth + 1;
  for (BaseActionClass* action : TimedActions) {
    // A deterministic firing's impulses go with its branches instead.
    if (action->DistributionType == Deterministic || !action->Enabled()) {
      continue;
    }
    Rate = action->Rate() * Groups[action->GroupId]->Probability(action);
    if (!(Rate > 0.0) || !std::isfinite(Rate)) continue;
    action->Fire();
    RecursionDepth = 0;
    const bool resolved = FireInstant(1.0);
    model_.SetState(replayed_state_.data());
    if (!resolved) break;
  }
  failure_ = Status::Ok();
  marks_at_next_ = false;
  impulse_record_ = nullptr;
  level_base_ = 0;
  Rate = rate_before;
  RecursionDepth = depth_before;
  origin_ = origin_before;
}
