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
};

struct Property {
  std::string name;
  PropertyKind kind = PropertyKind::kUnsupported;
  std::size_t variable = 0;  // index into the reward variables
  double time = 0;
  std::string text;  // kUnsupported: what the front end could not hand over
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

PropertyValue EvaluateProperty(const Property& property,
                               const PropertyContext& context);

// The word of the file for a kind ("steady-state", ...).
const char* PropertyKindName(PropertyKind kind);

#endif  // GEN_SOLVE_PROPERTIES_H_
