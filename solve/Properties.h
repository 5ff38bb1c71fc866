#ifndef GEN_SOLVE_PROPERTIES_H_
#define GEN_SOLVE_PROPERTIES_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/Stationary.h"
#include "solve/Transient.h"

// The properties file that model front ends leave beside the chain
// (<path><name>.props): "props 1", then one property per line,
// NAME<TAB>KIND<TAB>ARGS..., every line ended by a line feed.

enum class PropertyKind {
  kSteadyState,       // VAR: long-run earning rate of VAR
  kReachProbability,  // VAR T: P(reach VAR != 0 within T), T may be inf
  kReachTime,         // VAR: expected time to reach VAR != 0
  kRewardInstant,     // VAR T: expected rate reward of VAR at T
  kRewardCumulative,  // VAR T: expected reward of VAR earned over [0, T]
  kUnsupported,       // TEXT: listed, never evaluated
  // A B T1 T2: P(A U[T1,T2] B), A "-" for every state, T2 may be inf
  kUntil,
  // VAR SET: expected reward of VAR earned until SET is first reached
  kRewardReach,
};

// A set of states is a reward variable read as "its rate reward is not 0".
struct Property {
  std::string name;
  PropertyKind kind = PropertyKind::kUnsupported;
  // Index into the reward variables: the measured variable or set, for
  // kUntil the left-hand set A (kEverywhere: "-").
  std::size_t variable = 0;
  // kUntil: the set B; kRewardReach: SET.
  std::size_t target = 0;
  double time = 0;     // T; kUntil: T1
  double time_to = 0;  // kUntil: T2
  std::string text;    // kUnsupported: what the front end could not hand over
  std::size_t line = 0;
};

// Parses the file; `variable_names` are the run's reward variables, which
// the properties refer to by name.
Status ParseProperties(std::string_view text, const std::string& file_name,
                       const std::vector<std::string>& variable_names,
                       std::vector<Property>* properties);
// As above, from the file; a missing file is no error and sets *exists to
// false.
Status ReadProperties(const std::string& file_name,
                      const std::vector<std::string>& variable_names,
                      std::vector<Property>* properties, bool* exists);

struct PropertyValue {
  bool ok = false;
  std::string message;  // why not ok
  double value = 0;     // may be infinite (reach-time never certain)
  double bound = 0;
  std::string note;  // for example why a value is infinite
};

// What a property needs of the run: the chain, the rewards, the long-run
// solution of the chain (for steady-state) and the solver settings.
struct PropertyContext {
  const StateSpace* space = nullptr;
  const RewardValues* values = nullptr;
  const StationaryResult* long_run = nullptr;
  // The probabilities of states 1..k when the chain starts in several
  // states (its .init); null when it starts in state 1. The transient
  // options then carry the same distribution as their start vector.
  const std::vector<double>* initial = nullptr;
  SolveOptions solve_options;
  TransientOptions transient_options;
};

// Property::variable of an until whose left-hand set is every state.
constexpr std::size_t kEverywhere = static_cast<std::size_t>(-1);

PropertyValue EvaluateProperty(const Property& property,
                               const PropertyContext& context);

// Every property, in order. The transient ones that run on the same chain
// share one uniformization series up to their largest time, which stops
// early once the iterate has settled: the instant and cumulative rewards
// one series, the reachability probabilities within a time one per set.
// `notes` receives one line per series that stopped early, with the steps
// it took.
std::vector<PropertyValue> EvaluateProperties(
    const std::vector<Property>& properties, const PropertyContext& context,
    std::vector<std::string>* notes);

// Whether the property's value comes from a long-run or absorption solve
// alone, with no transient part: held to the accuracy asked, as the
// steady-state and absorption rows are.
bool IsLongRun(const Property& property);

// The word of the file for a kind ("steady-state", ...).
const char* PropertyKindName(PropertyKind kind);

#endif  // GEN_SOLVE_PROPERTIES_H_
