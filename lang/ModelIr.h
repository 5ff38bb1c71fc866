#ifndef GEN_LANG_MODELIR_H_
#define GEN_LANG_MODELIR_H_

#include <optional>
#include <string>
#include <vector>

#include "lang/Expr.h"
#include "lang/SourceLocation.h"

// The intermediate representation of a stochastic activity network model:
// what the text parser and the importers of other formats produce, what
// CheckModel validates and what BuildModel turns into a runnable model.
// Elements refer to each other by name; CheckModel resolves the names in
// expressions and statements (it fills Expr::index and Expr::type and
// PlaceIr/StatementIr indices) and reports everything it cannot accept.
//
// Composition is already flattened here: one model, one list of places, one
// list of activities (see lang/Composition.h for joining and replicating
// submodels into a ModelIr).

// A global variable of the study. `type` is kInt or kReal.
struct GlobalIr {
  std::string name;
  ValueType type = ValueType::kReal;
  double default_value = 0.0;
  SourceLocation where;
};

// A named expression over globals, places and other definitions, used
// wherever its name appears. Definitions must not refer to themselves
// through any chain of names.
struct DefinitionIr {
  std::string name;
  ExprPtr value;
  SourceLocation where;
};

// One experiment of the study: values for some globals; the others keep
// their defaults.
struct ExperimentIr {
  struct Setting {
    std::string global;
    double value = 0.0;
    SourceLocation where;
  };
  std::vector<Setting> settings;
  SourceLocation where;
};

// The markings a place may hold: the state keeps each in 16 signed bits.
// Without bounds a place holds kDefaultLowMarking..kMaxMarking.
inline constexpr int kMinMarking = -32768;
inline constexpr int kMaxMarking = 32767;
inline constexpr int kDefaultLowMarking = 0;

// A place. `initial` is an integer expression over globals and definitions
// (no markings). With `bounds` (within kMinMarking..kMaxMarking), a marking
// outside [low, high] after a firing is a fatal error naming the state, the
// activity and the place; without, the range is 0..kMaxMarking.
struct PlaceIr {
  std::string name;
  ExprPtr initial;
  std::optional<std::pair<int, int>> bounds;
  // The model's own value is the marking plus this: an importer keeps an
  // integer variable with lower bound L as its value minus L and sets L
  // here, so that run-time messages and traces show the variable's values
  // and range. The state and the result files hold the markings.
  long long value_offset = 0;
  SourceLocation where;

  int low() const { return bounds ? bounds->first : kDefaultLowMarking; }
  int high() const { return bounds ? bounds->second : kMaxMarking; }
};

// An input or output arc. An input arc enables its activity while the place
// holds at least `multiplicity` tokens and removes them on firing; an output
// arc adds them. A null multiplicity is 1.
struct ArcIr {
  std::string place;
  ExprPtr multiplicity;
  SourceLocation where;
  int place_index = -1;  // filled by CheckModel
};

// A statement of a gate function.
struct StatementIr {
  enum class Kind {
    kAssign,    // place = value
    kAdd,       // place += value
    kSubtract,  // place -= value
    kIf,        // if (condition) then_body else else_body
    // then_body's assignments (kAssign only) as one step: every value is
    // computed in the marking before the first of them is written.
    kSimultaneous,
  };
  Kind kind = Kind::kAssign;
  std::string place;
  ExprPtr value;      // integer; kAssign, kAdd, kSubtract
  ExprPtr condition;  // boolean; kIf
  std::vector<StatementIr> then_body;
  std::vector<StatementIr> else_body;
  SourceLocation where;
  int place_index = -1;  // filled by CheckModel
};

// An input gate: the activity is enabled only while `predicate` holds; on
// firing, `function` runs (after the input arcs have removed their tokens).
// A null predicate is true.
struct InputGateIr {
  ExprPtr predicate;
  std::vector<StatementIr> function;
  SourceLocation where;
};

// An output gate: `function` runs when the activity (or its case) fires.
struct OutputGateIr {
  std::vector<StatementIr> function;
  SourceLocation where;
};

// One case of an activity: a non-negative probability (a real expression,
// markings allowed) and the case's own output arcs and gates.
struct CaseIr {
  ExprPtr probability;
  std::vector<ArcIr> outputs;
  std::vector<OutputGateIr> output_gates;
  SourceLocation where;
};

enum class ActivityKind { kExponential, kDeterministic, kInstantaneous };

// Probabilities that a model file gives explicitly, where the cases' weights
// and rates would otherwise take any value: wherever the activity is
// enabled, each must be finite and not negative and, with `add_up_to_one`,
// their total must be 1 within 1e-9 (or 0, which leaves nothing to fire);
// else the run stops, naming `of`, the value and the state.
struct ProbabilityCheckIr {
  std::string of;  // for messages: "<file>: <position>"
  std::vector<ExprPtr> probabilities;
  bool add_up_to_one = false;
};

// An activity. Timed ones have `timing`: the exponential rate or the
// deterministic delay. Instantaneous ones have a rank (integer, default 1:
// among the enabled instantaneous activities only those of highest rank
// fire) and a weight (default 1) that decides among them; an instantaneous
// activity or case whose weight (times the case's probability) is 0 in a
// marking is not enabled there. With no case the activity has one implicit
// case of probability 1.
//
// Firing order: input arcs, input gate functions, the activity's output
// arcs, its output gates, then the chosen case's output arcs and gates.
struct ActivityIr {
  std::string name;
  ActivityKind kind = ActivityKind::kExponential;
  ExprPtr timing;  // rate or delay; null for instantaneous activities
  ExprPtr rank;    // instantaneous only; null means 1
  ExprPtr weight;  // instantaneous only; null means 1
  std::vector<ArcIr> inputs;
  std::vector<InputGateIr> input_gates;
  std::vector<ArcIr> outputs;
  std::vector<OutputGateIr> output_gates;
  std::vector<CaseIr> cases;
  std::vector<ProbabilityCheckIr> probability_checks;
  SourceLocation where;
  // Where the model file states what this activity does, for messages while
  // exploring ("r.prism:4", or one "file:line" per synchronised command,
  // joined by ", "); empty when `where` already says it or nothing would.
  std::string written_at;
};

// An impulse reward: `amount` (a real expression over markings, evaluated in
// the state before the firing) earned each time `activity` completes.
struct ImpulseIr {
  std::string activity;
  ExprPtr amount;
  SourceLocation where;
  int activity_index = -1;  // filled by CheckModel
  // Filled by CheckModel: for "<activity>_case<k>", one case of an activity
  // with two or more, k - 1; -1 for the whole activity.
  int case_index = -1;
};

// A steady-state reward variable: a rate reward (null means 0) and impulse
// rewards of timed exponential activities or of single cases of them. The .var
// file carries, per state, the rate reward plus the long-run equivalent of the
// impulses: the sum over the impulses' enabled activities and cases of rate x
// case probability x amount.
struct RewardIr {
  std::string name;
  ExprPtr rate;
  std::vector<ImpulseIr> impulses;
  SourceLocation where;
};

// What a property asks of its subject.
enum class PropertyKindIr {
  kSteady,       // long-run expected value (of a condition: its probability)
  kReach,        // probability of reaching the condition within `time`
  kReachTime,    // expected time until the condition first holds
  kInstant,      // expected value at `time`
  kCumulative,   // expected reward earned over [0, time]
  kUntil,        // probability that `condition` holds until the subject does
  kReachReward,  // expected reward earned until `condition` first holds
};

// A property for the solver: `subject` is a reward variable's name, or a
// condition or an amount over markings, which CheckModel turns into a
// reward variable of its own, "prop_<name>", appended to the model's.
// kUntil and kReachReward have a second such expression, `condition`, whose
// own variable is "prop_<name>_while" and "prop_<name>_goal" respectively.
// kReach and kUntil reach the subject within [0, time], or within
// [start, time] when `interval` is set, or ever when `unbounded` is.
struct PropertyIr {
  std::string name;
  PropertyKindIr kind = PropertyKindIr::kSteady;
  ExprPtr subject;
  ExprPtr condition;  // kUntil (null: true) and kReachReward
  double start = 0.0;
  double time = 0.0;
  bool interval = false;
  bool unbounded = false;
  SourceLocation where;
  // Filled by CheckModel: the reward variables of the subject and of the
  // condition (empty for an until whose condition is true).
  std::string variable;
  std::string condition_variable;
};

struct ModelIr {
  std::string name = "model";  // the SAN model's name (in traces)
  std::string study_name = "study";
  std::vector<GlobalIr> globals;
  std::vector<DefinitionIr> definitions;
  std::vector<ExperimentIr> experiments;  // empty: one experiment of defaults
  std::vector<PropertyIr> properties;
  std::vector<PlaceIr> places;  // state image order
  std::vector<ActivityIr> activities;
  std::vector<RewardIr> rewards;
  SourceLocation where;  // the model as a whole (its file)
};

// Index of the element called `name` in `items`, or -1.
template <typename Item>
int FindByName(const std::vector<Item>& items, const std::string& name) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

#endif  // GEN_LANG_MODELIR_H_
