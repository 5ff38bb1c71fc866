#ifndef GEN_SANSOURCE_SANSOURCE_H_
#define GEN_SANSOURCE_SANSOURCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/List.h"
#include "base/Status.h"
#include "generator/NextStateSource.h"

class BaseActionClass;
class BaseGroupClass;
class PVModel;
class TraceFileContainer;

// A SAN model, through its reward model, as a source of next states. The
// state image is the reward model's state vector.
//
// Expanding a state fires every enabled timed action from it; the rate is
// the action's rate times its group's probability for it. Instantaneous
// actions enabled after a firing fire in zero time, recursively, until a
// stable state is reached, so that vanishing states never become states of
// the chain: among several enabled ones only those of the highest rank
// (0 or above) fire, each with its share of their weights, in both modes.
// In deterministic mode a deterministic firing is reported as minus its
// probability, every deterministic activity enabled in the explored state is
// reported with its delay (once for all its cases, which share its clock), and
// each successor says which firing led to it and, after an exponential firing,
// which of those actions stayed enabled all the way (Successors::Origin). Every
// rate, weight, probability and delay is checked to be finite and not negative;
// a bad one ends the run with a message naming the value, the action and the
// explored state. For a model that asks for it, a timed firing of rate 0
// and a zero-time choice of weight 0 are passed over, never fired, and a
// vanishing initial marking is resolved the same way into the stable
// states it leads to (the model's initial states, in the order the
// resolution first reaches them); other models refuse it.
//
// When the reward model earns impulses on instantaneous or deterministic
// actions, each stable state's reward record also gets, per variable, the
// long-run rate of the impulses that its exponential firings set off: for
// every exponential firing out of the state, its rate times the probability
// of each zero-time path after it times the impulses of the instantaneous
// firings on that path. The state's exponential firings are replayed for
// this each time a transition reaches it. A deterministic firing has no
// such rate (it depends on the firing's clock): in deterministic mode each
// successor it leads to carries instead the impulses earned on the way, its
// own and those of the zero-time firings after it
// (Successors::FiringImpulses), and the solver weighs them by the firing's
// long-run rate.
class SanSource : public NextStateSource {
 public:
  // Zero-time firings allowed in a row before the model counts as
  // undetermined.
  static constexpr int kMaxRecursionDepth = 23;

  // Neither the model nor the trace is owned. The model's current state
  // becomes the initial state; the trace sees every firing at
  // `trace_level` 1 and above.
  SanSource(PVModel& model, TraceFileContainer& trace, int trace_level);
  SanSource(const SanSource&) = delete;
  SanSource& operator=(const SanSource&) = delete;
  ~SanSource() override;

  std::size_t StateSize() const override { return state_size_; }
  std::vector<RewardVariableType> RewardTypes() const override;
  std::vector<std::string> DeterministicActions() const override;
  bool ReportsFiringImpulses() const override {
    return firing_impulses_ && mode_ == ExplorationMode::kDeterministic;
  }
  Status ChooseMode(ExplorationMode* mode) override;
  // The initial marking when it is stable.
  Status Initial(char* image, double* rewards) override;
  Status InitialStates(Successors& out) override;
  Status Expand(std::uint32_t number, const char* image,
                Successors& out) override;
  // A successor's note is the action whose firing reached it last, the
  // one whose impulses its record holds.
  void AllowLateRewards(bool allow) override { late_rewards_ = allow; }
  void LateRewards(const char* image, std::uint32_t note,
                   double* record) override;
  void ReportAbsorbing(std::uint32_t number, const char* image) override;
  std::string DescribeImage(const char* image) override;

 private:
  // Each step returns false once the run has failed; failure_ says why.
  bool Fail(Status status);
  bool InvalidValue(const char* what, double value,
                    const BaseActionClass* action);
  // The group probability of `action`, checked to be finite and not
  // negative.
  bool CheckedProbability(BaseActionClass* action, double* probability);

  // Fires every enabled timed action from the explored state.
  bool FindNextNormal();
  // Brings the model back to the explored state after a timed firing.
  void RestoreExplored();
  bool FindNextDeterministic();
  // Resolves the vanishing or stable state the model is in, reached with
  // probability `probability` times Rate, one zero-time level deeper than
  // the last.
  bool FireInstant(double probability);
  // FireInstant once the marking's deterministic actions are accounted for.
  bool ResolveInstant(double probability);
  bool FireZeroTime(BaseActionClass* action, double probability);
  // The bits of `kept` whose deterministic action (in delay_enabled_) is
  // still enabled in the model's current marking.
  std::uint64_t StillEnabled(std::uint64_t kept);
  // Keeps the actions whose rank is the highest of 0 and their ranks, in
  // model order; fails when none qualifies, since the vanishing state would
  // lead nowhere and the rate that reached it would vanish from the chain.
  bool SelectHighestRank(std::vector<BaseActionClass*>& actions);
  // Reports the stable state the model is in with `value`, unless 0, and
  // the origin of the firing being resolved.
  void SaveStableState(double value);
  // Refuses a vanishing initial marking, or resolves it into
  // initial_states_ for a model that asks for it.
  Status CheckInitialStability();
  // Adds the impulses of zero-time firings to `record`, the reward record of
  // the stable state the model is in, whose image is in NextState. A fault
  // on the way (a bad rate, weight or rank, too deep a chain) is left for
  // the state's own expansion to report. The model ends in that state.
  void AddZeroTimeImpulses(double* record);
  // Where the run stands, for messages: "exploring state N" or "resolving
  // the initial marking".
  std::string Where() const;

  PVModel& model_;
  TraceFileContainer& trace_;
  int trace_level_;
  // Passes over firings of rate or weight 0 (see PVModel).
  bool skip_impossible_;
  // Set when the reward model earns impulses on instantaneous or
  // deterministic actions.
  bool firing_impulses_;
  bool resolve_initial_;
  ExplorationMode mode_ = ExplorationMode::kNormal;
  std::size_t state_size_;

  List<BaseActionClass> ActionList;
  List<BaseGroupClass> GroupList;
  BaseGroupClass** Groups = nullptr;
  std::vector<BaseActionClass*> InstantActions;
  std::vector<BaseActionClass*> TimedActions;
  std::vector<BaseActionClass*> ErlangActions;
  std::vector<BaseActionClass*> deterministic_actions_;  // model order
  // Per deterministic action, its clock: the index of its activity (its
  // group: the cases of one activity share it) in clock_names_, the
  // deterministic activities in model order.
  std::vector<std::uint32_t> clock_of_;
  std::vector<std::string> clock_names_;
  // Summary of the actions' distribution types: exponential and
  // instantaneous set bit 0, deterministic bit 1, Erlang bit 2; any other
  // type makes it 0xF000.
  std::uint32_t DistributionMix = 0;

  // Whether Expand leaves reward records to LateRewards.
  bool late_rewards_ = false;
  // The state being expanded, its private copy and the successor buffer.
  std::uint32_t CurrentStateNumber = 0;
  std::vector<char> initial_;
  std::vector<char> explored_copy_;
  std::vector<char> NextState;
  // Whether the model's marking is still the one the last FireAction wrote
  // to NextState; RestoreExplored then writes only the places that differ.
  // Cleared by whatever else moves the marking during a timed firing.
  bool marks_at_next_ = false;
  Successors* out_ = nullptr;
  // The stable states a vanishing initial marking resolves to, merged and
  // in order of first reaching; empty when the initial marking is stable.
  Successors initial_states_;
  bool resolving_initial_ = false;
  double Rate = 0.0;  // of the timed firing being resolved
  // Deterministic mode: the clocks enabled in the explored state, each with
  // one of its enabled actions, and the origin of the timed firing being
  // resolved, whose kept bits narrow at each zero-time level.
  std::vector<BaseActionClass*> delay_enabled_;
  std::vector<std::uint32_t> enabled_clocks_;
  Successors::Origin origin_;
  int RecursionDepth = 0;
  Status failure_;

  // While AddZeroTimeImpulses replays a state's firings: the record the
  // impulses go to (null otherwise), the state itself, and the first of the
  // zero-time levels it uses (above those of the firing that reached it).
  double* impulse_record_ = nullptr;
  std::vector<char> replayed_state_;
  int level_base_ = 0;

  // While the firings after a deterministic firing are resolved: per
  // zero-time level, the impulses earned on the path so far, as a reward
  // record (the impulse of variable v at 2v + 1).
  bool tracking_path_ = false;
  std::vector<std::vector<double>> path_impulses_;

  // Per zero-time level (twice: expansion, then replay): the enabled
  // instantaneous actions, their weights and the saved vanishing state.
  std::vector<std::vector<BaseActionClass*>> level_actions_;
  std::vector<std::vector<double>> level_weights_;
  std::vector<std::vector<char>> level_saved_;
};

#endif  // GEN_SANSOURCE_SANSOURCE_H_
