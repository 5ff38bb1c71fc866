#include "solve/Properties.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <deque>
#include <limits>
#include <map>
#include <memory>

#include "solve/Absorption.h"
#include "solve/ChainFiles.h"
#include "solve/ChainFormat.h"
#include "solve/CompensatedSum.h"
#include "solve/Components.h"
#include "solve/InitialDistribution.h"

namespace {

struct KindLayout {
  PropertyKind kind;
  const char* name;
  std::size_t variables;  // reward variable fields after the kind
  std::size_t times;      // time fields after them
  bool infinite_ok;       // the last time may be "inf"
};

// stored in .props files; never rename
constexpr KindLayout kKinds[] = {
    {PropertyKind::kSteadyState, "steady-state", 1, 0, false},
    {PropertyKind::kReachProbability, "reach-probability", 1, 1, true},
    {PropertyKind::kReachTime, "reach-time", 1, 0, false},
    {PropertyKind::kRewardInstant, "reward-instant", 1, 1, false},
    {PropertyKind::kRewardCumulative, "reward-cumulative", 1, 1, false},
    {PropertyKind::kUnsupported, "unsupported", 1, 0, false},
    {PropertyKind::kUntil, "until", 2, 2, true},
    {PropertyKind::kRewardReach, "reward-reach", 2, 0, false},
};

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab =
        line.find(chain_format::kPropertiesSeparator, start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

// A time as %.17g writes it; "inf" only where `infinite_ok`.
bool ParseTime(std::string_view text, bool infinite_ok, double* time) {
  if (text.empty()) return false;
  if (text == "inf" || text == "infinity") {
    *time = std::numeric_limits<double>::infinity();
    return infinite_ok;
  }
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), *time);
  return ec == std::errc() && end == text.data() + text.size() &&
         std::isfinite(*time) && *time >= 0;
}

std::string Quoted(std::string_view s) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown(s.substr(0, kMaxShown));
  if (s.size() > kMaxShown) shown += "...";
  return "\"" + shown + "\"";
}

std::vector<bool> NonzeroStates(const std::vector<double>& reward) {
  std::vector<bool> set(reward.size());
  for (std::size_t s = 0; s < reward.size(); ++s) set[s] = reward[s] != 0;
  return set;
}

PropertyValue Failed(std::string message) {
  PropertyValue value;
  value.message = std::move(message);
  return value;
}

PropertyValue Transient(const StateSpace& space, double time,
                        const std::vector<double>& instant,
                        const std::vector<double>& earning, bool accumulated,
                        const TransientOptions& options) {
  const TransientResult result =
      SolveTransient(space, {time}, {&instant}, {&earning}, options);
  if (!result.ok) return Failed(result.message);
  PropertyValue value;
  value.ok = true;
  const TransientPoint& point = result.points.front();
  value.value = accumulated ? point.accumulated[0] : point.instant[0];
  value.bound =
      accumulated ? point.accumulated_bound[0] : point.instant_bound[0];
  return value;
}

// Reachability of the states where `target` holds, from state 0 or from
// the initial distribution, on the chain stopped there.
PropertyValue Reach(const Property& property, const PropertyContext& context,
                    const std::vector<bool>& target) {
  PropertyValue value;
  value.ok = true;
  const std::vector<double>* initial = context.initial;
  bool starts_in_set = initial == nullptr && target[0];
  if (initial != nullptr) {
    starts_in_set = true;
    for (std::size_t s = 0; s < initial->size(); ++s) {
      starts_in_set &= (*initial)[s] == 0 || target[s];
    }
  }
  if (starts_in_set) {
    value.value = property.kind == PropertyKind::kReachProbability ? 1.0 : 0.0;
    value.note = initial == nullptr ? "state 1 is in the set"
                                    : "every initial state is in the set";
    return value;
  }
  const StateSpace stopped = MakeAbsorbing(*context.space, target);
  std::vector<double> indicator(target.size(), 0.0);
  for (std::size_t s = 0; s < target.size(); ++s) indicator[s] = target[s];
  if (property.kind == PropertyKind::kReachProbability &&
      std::isfinite(property.time)) {
    return Transient(stopped, property.time, indicator, indicator, false,
                     context.transient_options);
  }
  // The solve bounds the reward it is handed, each class's probability and
  // the measures until absorption entry by entry (on small chains; through
  // the flows on large ones), where the bound through the norm of the whole
  // distribution alone is far wider: a class entered through a rate of
  // 2.65e4 beside rates of 1e-8 had P=? [F goal] of 0.56 refused with a
  // bound of 8e-5 on 7 states.
  std::vector<std::vector<double>> sharp(1);
  if (property.kind == PropertyKind::kRewardReach) {
    const RewardValues& values = *context.values;
    sharp[0] = EarningRate(stopped, values.rate[property.variable],
                           values.impulse[property.variable]);
  } else {
    sharp[0] = indicator;
  }
  SolveOptions options = context.solve_options;
  options.rewards = &sharp;
  const StationaryResult result =
      initial != nullptr ? SolveLongRunFrom(stopped, *initial, options)
                         : SolveLongRun(stopped, options);
  if (!result.ok) return Failed(result.message);
  const double reached = ExpectedReward(result.pi, indicator);
  double reached_bound =
      ExpectedRewardBound(result.pi_error, reached, indicator);
  if (property.kind == PropertyKind::kReachProbability) {
    if (!result.reward_error.empty()) {
      reached_bound = std::min(reached_bound, result.reward_error[0]);
    }
    value.value = reached;
    value.bound = reached_bound;
    return value;
  }
  for (const BottomClass& bottom : result.bottoms) {
    if (!target[bottom.first_state]) {
      value.value = std::numeric_limits<double>::infinity();
      value.note = "infinite: the set is reached with probability " +
                   std::to_string(reached) + " only";
      return value;
    }
  }
  if (property.kind == PropertyKind::kRewardReach) {
    // Reward earned in the set itself never counts: the chain stops there.
    const AbsorptionMeasures absorption =
        ComputeAbsorption(result, {&sharp[0]});
    if (!absorption.defined) return Failed(absorption.why_not);
    value.value = absorption.reward[0];
    value.bound = absorption.reward_bound[0];
    if (!result.absorption_reward_error.empty()) {
      value.bound = std::min(value.bound, result.absorption_reward_error[0]);
    }
    return value;
  }
  const AbsorptionMeasures absorption = ComputeAbsorption(result, {});
  if (!absorption.defined) return Failed(absorption.why_not);
  value.value = absorption.time;
  value.bound = std::min(absorption.time_bound, result.absorption_time_error);
  return value;
}

// `space` with a new state 0 in front that leaves for each state s at rate
// start[s] / mass, mass the sum of `start`: from the new state the chain
// enters s with probability start[s] / mass, so what it reaches from there,
// times the mass, is what `start` reaches.
StateSpace StartingFrom(const StateSpace& space,
                        const std::vector<double>& start, double* mass) {
  CompensatedSum sum;
  for (double p : start) sum.Add(p);
  *mass = sum.Value();
  return WithStartState(space, start, 1 / *mass);
}

// P(A U[T1,T2] B) in two phases: up to T1 the chain runs with the states
// outside A stopped, and only the mass still in A counts (at T1 = 0, the
// mass in A or B); from there, with the states outside A and those in B
// stopped, the mass that is in B after T2 - T1, or ever.
PropertyValue Until(const Property& property, const PropertyContext& context) {
  const StateSpace& space = *context.space;
  const RewardValues& values = *context.values;
  const std::size_t n = space.num_states;
  const std::vector<bool> right = NonzeroStates(values.rate[property.target]);
  std::vector<bool> left(n, true);
  if (property.variable != kEverywhere) {
    left = NonzeroStates(values.rate[property.variable]);
  }
  std::vector<double> start(n, 0.0);
  if (context.transient_options.initial != nullptr) {
    start = *context.transient_options.initial;
  } else if (n > 0) {
    start[0] = 1;
  }
  TransientOptions options = context.transient_options;
  options.initial = &start;
  double start_error = 0;
  if (property.time > 0) {
    std::vector<bool> outside(n);
    for (std::size_t s = 0; s < n; ++s) outside[s] = !left[s];
    TransientDistribution at =
        DistributionAt(MakeAbsorbing(space, outside), property.time, options);
    if (!at.ok) return Failed(at.message);
    start = std::move(at.pi);
    start_error = at.error;
    for (std::size_t s = 0; s < n; ++s) {
      if (!left[s]) start[s] = 0;
    }
  } else {
    for (std::size_t s = 0; s < n; ++s) {
      if (!left[s] && !right[s]) start[s] = 0;
    }
  }
  std::vector<bool> stop(n);
  std::vector<double> indicator(n);
  for (std::size_t s = 0; s < n; ++s) {
    stop[s] = !left[s] || right[s];
    indicator[s] = right[s];
  }
  const StateSpace stopped = MakeAbsorbing(space, stop);
  PropertyValue value;
  value.ok = true;
  const double horizon = property.time_to - property.time;
  if (std::isfinite(horizon)) {
    const TransientResult result =
        SolveTransient(stopped, {horizon}, {&indicator}, {&indicator}, options);
    if (!result.ok) return Failed(result.message);
    value.value = result.points[0].instant[0];
    value.bound = result.points[0].instant_bound[0] + start_error;
    return value;
  }
  double mass = 0;
  const StateSpace from = StartingFrom(stopped, start, &mass);
  value.bound = start_error;
  if (!(mass > 0)) return value;
  // Where no state of B can be reached through A the probability is 0
  // exactly, not 0 within a rounding of the solve: a long-run value of 0
  // with any bound above 0 misses every relative accuracy.
  const std::vector<bool> reachable = ReachableFrom(from, 0);
  bool any = false;
  for (std::size_t s = 0; s < n && !any; ++s) {
    any = right[s] && reachable[s + 1];
  }
  if (!any) return value;
  indicator.insert(indicator.begin(), 0.0);
  // The solve's own bound of the reward, where it has one, as for Reach.
  const std::vector<std::vector<double>> sharp = {indicator};
  SolveOptions solve_options = context.solve_options;
  solve_options.rewards = &sharp;
  const StationaryResult result = SolveLongRun(from, solve_options);
  if (!result.ok) return Failed(result.message);
  const double reached = ExpectedReward(result.pi, indicator);
  double reached_bound =
      ExpectedRewardBound(result.pi_error, reached, indicator);
  if (!result.reward_error.empty()) {
    reached_bound = std::min(reached_bound, result.reward_error[0]);
  }
  value.value = mass * reached;
  value.bound += mass * reached_bound +
                 2 * std::numeric_limits<double>::epsilon() * value.value;
  return value;
}

}  // namespace

const char* PropertyKindName(PropertyKind kind) {
  for (const KindLayout& layout : kKinds) {
    if (layout.kind == kind) return layout.name;
  }
  return "unsupported";
}

Status ParseProperties(std::string_view text, const std::string& file_name,
                       const std::vector<std::string>& variable_names,
                       std::vector<Property>* properties) {
  properties->clear();
  std::size_t line_number = 0;
  std::size_t pos = 0;
  auto at = [&](std::size_t line) {
    return file_name + ":" + std::to_string(line) + ": ";
  };
  while (pos < text.size()) {
    std::string_view line;
    const Status read = NextLine(text, file_name, &pos, &line_number, &line);
    if (!read.ok) return read;
    if (line_number == 1) {
      if (line != chain_format::kPropertiesHeader) {
        return Status::Error(at(1) + "expected \"" +
                             chain_format::kPropertiesHeader + "\", found " +
                             Quoted(line));
      }
      continue;
    }
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 2) {
      return Status::Error(at(line_number) +
                           "expected NAME<TAB>KIND<TAB>..., found " +
                           Quoted(line));
    }
    const KindLayout* layout = nullptr;
    for (const KindLayout& candidate : kKinds) {
      if (fields[1] == candidate.name) layout = &candidate;
    }
    if (layout == nullptr) {
      return Status::Error(
          at(line_number) + "unknown kind " + Quoted(fields[1]) +
          " (steady-state, reach-probability, reach-time, reward-instant, "
          "reward-cumulative, until, reward-reach or unsupported)");
    }
    Property property;
    property.name = std::string(fields[0]);
    property.kind = layout->kind;
    property.line = line_number;
    if (property.name.empty() ||
        property.name.find('\r') != std::string::npos) {
      return Status::Error(at(line_number) + "bad property name " +
                           Quoted(fields[0]));
    }
    // Each name is one row of the results: a second one would be
    // ambiguous in the CSV, the JSON and the database.
    for (const Property& earlier : *properties) {
      if (earlier.name == property.name) {
        return Status::Error(at(line_number) + "property " + Quoted(fields[0]) +
                             " is named twice (line " +
                             std::to_string(earlier.line) + ")");
      }
    }
    const std::size_t expected = 2 + layout->variables + layout->times;
    if (fields.size() != expected) {
      return Status::Error(at(line_number) + "kind " + layout->name +
                           " takes " + std::to_string(expected) +
                           " fields, found " + std::to_string(fields.size()));
    }
    if (layout->kind == PropertyKind::kUnsupported) {
      property.text = std::string(fields[2]);
      properties->push_back(std::move(property));
      continue;
    }
    std::size_t* const slots[] = {&property.variable, &property.target};
    for (std::size_t f = 0; f < layout->variables; ++f) {
      const std::string_view field = fields[2 + f];
      if (f == 0 && layout->kind == PropertyKind::kUntil && field == "-") {
        property.variable = kEverywhere;
        continue;
      }
      std::size_t v = 0;
      while (v < variable_names.size() && variable_names[v] != field) ++v;
      if (v == variable_names.size()) {
        return Status::Error(at(line_number) + "unknown reward variable " +
                             Quoted(field) + " in property " +
                             Quoted(fields[0]));
      }
      *slots[f] = v;
    }
    double* const times[] = {&property.time, &property.time_to};
    for (std::size_t f = 0; f < layout->times; ++f) {
      const std::string_view field = fields[2 + layout->variables + f];
      const bool infinite_ok = layout->infinite_ok && f + 1 == layout->times;
      if (!ParseTime(field, infinite_ok, times[f])) {
        return Status::Error(at(line_number) + "bad time " + Quoted(field) +
                             " in property " + Quoted(fields[0]) +
                             (infinite_ok ? " (a number >= 0, or inf)"
                                          : " (a finite number >= 0)"));
      }
    }
    if (layout->kind == PropertyKind::kUntil &&
        !(property.time_to >= property.time)) {
      return Status::Error(at(line_number) + "the interval of property " +
                           Quoted(fields[0]) + " ends before it starts");
    }
    properties->push_back(std::move(property));
  }
  if (line_number == 0) {
    return Status::Error(at(1) + "the file is empty; expected \"" +
                         chain_format::kPropertiesHeader + "\"");
  }
  return Status::Ok();
}

Status ReadProperties(const std::string& file_name,
                      const std::vector<std::string>& variable_names,
                      std::vector<Property>* properties, bool* exists) {
  properties->clear();
  struct stat info;
  *exists = stat(file_name.c_str(), &info) == 0;
  if (!*exists) return Status::Ok();
  std::string text;
  Status status = LoadFile(file_name, &text);
  if (!status.ok) return status;
  return ParseProperties(text, file_name, variable_names, properties);
}

bool IsLongRun(const Property& property) {
  switch (property.kind) {
    case PropertyKind::kSteadyState:
    case PropertyKind::kReachTime:
    case PropertyKind::kRewardReach:
      return true;
    case PropertyKind::kReachProbability:
      return std::isinf(property.time);
    case PropertyKind::kUntil:
      return property.time == 0 && std::isinf(property.time_to);
    default:
      return false;
  }
}

PropertyValue EvaluateProperty(const Property& property,
                               const PropertyContext& context) {
  const StateSpace& space = *context.space;
  const RewardValues& values = *context.values;
  if (property.kind == PropertyKind::kUnsupported) {
    return Failed("not supported yet: " + property.text);
  }
  const std::vector<double>& rate =
      values.rate[property.kind == PropertyKind::kUntil ? property.target
                                                        : property.variable];
  switch (property.kind) {
    case PropertyKind::kSteadyState: {
      const StationaryResult& long_run = *context.long_run;
      const std::vector<double> earning =
          EarningRate(space, rate, values.impulse[property.variable]);
      PropertyValue value;
      value.ok = true;
      value.value = ExpectedReward(long_run.pi, earning);
      value.bound =
          ExpectedRewardBound(long_run.pi_error, value.value, earning);
      // The variable's own bound, as its steady-state row has it, where the
      // solve formed one.
      if (property.variable < long_run.reward_error.size()) {
        value.bound =
            std::min(value.bound, long_run.reward_error[property.variable]);
      }
      return value;
    }
    case PropertyKind::kRewardInstant:
      return Transient(space, property.time, rate, rate, false,
                       context.transient_options);
    case PropertyKind::kRewardCumulative:
      return Transient(
          space, property.time, rate,
          EarningRate(space, rate, values.impulse[property.variable]), true,
          context.transient_options);
    case PropertyKind::kReachProbability:
    case PropertyKind::kReachTime:
      return Reach(property, context, NonzeroStates(rate));
    case PropertyKind::kRewardReach:
      return Reach(property, context,
                   NonzeroStates(values.rate[property.target]));
    case PropertyKind::kUntil:
      return Until(property, context);
    case PropertyKind::kUnsupported:
      break;
  }
  return Failed("not supported yet");
}

namespace {

// One uniformization series and the properties it serves.
struct Series {
  std::unique_ptr<StateSpace> stopped;  // null: the model's chain
  std::vector<double> times;
  std::vector<const std::vector<double>*> instant;
  std::vector<const std::vector<double>*> earning;
  struct User {
    std::size_t property;
    std::size_t point;
    std::size_t vector;
    bool accumulated;
  };
  std::vector<User> users;

  std::size_t TimeIndex(double t) {
    for (std::size_t i = 0; i < times.size(); ++i) {
      if (times[i] == t) return i;
    }
    times.push_back(t);
    return times.size() - 1;
  }
  std::size_t VectorIndex(const std::vector<double>* r,
                          const std::vector<double>* e) {
    for (std::size_t v = 0; v < instant.size(); ++v) {
      if (instant[v] == r && earning[v] == e) return v;
    }
    instant.push_back(r);
    earning.push_back(e);
    return instant.size() - 1;
  }
};

std::string Thousands(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) {
    digits.insert(at - 3, ",");
  }
  return digits;
}

}  // namespace

std::vector<PropertyValue> EvaluateProperties(
    const std::vector<Property>& properties, const PropertyContext& context,
    std::vector<std::string>* notes) {
  const StateSpace& space = *context.space;
  const RewardValues& values = *context.values;
  std::vector<PropertyValue> results(properties.size());
  std::vector<bool> done(properties.size(), false);
  // Reward vectors the series point into: stable addresses.
  std::deque<std::vector<double>> owned;
  Series plain;
  std::map<std::size_t, Series> reach;  // by the set's variable
  for (std::size_t p = 0; p < properties.size(); ++p) {
    const Property& property = properties[p];
    const bool transient = property.kind == PropertyKind::kRewardInstant ||
                           property.kind == PropertyKind::kRewardCumulative ||
                           property.kind == PropertyKind::kReachProbability;
    if (!transient) continue;
    const std::vector<double>& rate = values.rate[property.variable];
    if (property.kind == PropertyKind::kRewardInstant) {
      plain.users.push_back({p, plain.TimeIndex(property.time),
                             plain.VectorIndex(&rate, &rate), false});
    } else if (property.kind == PropertyKind::kRewardCumulative) {
      owned.push_back(
          EarningRate(space, rate, values.impulse[property.variable]));
      plain.users.push_back({p, plain.TimeIndex(property.time),
                             plain.VectorIndex(&rate, &owned.back()), true});
    } else if (property.kind == PropertyKind::kReachProbability &&
               std::isfinite(property.time) && rate.size() > 0 &&
               rate[0] == 0 && context.transient_options.initial == nullptr) {
      Series& series = reach[property.variable];
      if (!series.stopped) {
        const std::vector<bool> target = NonzeroStates(rate);
        series.stopped =
            std::make_unique<StateSpace>(MakeAbsorbing(space, target));
        owned.emplace_back(target.begin(), target.end());
        series.VectorIndex(&owned.back(), &owned.back());
      }
      series.users.push_back({p, series.TimeIndex(property.time), 0, false});
    }
  }
  TransientOptions options = context.transient_options;
  options.stop_at_steady_state = true;
  auto run = [&](const Series& series) {
    if (series.users.empty()) return;
    const TransientResult result =
        SolveTransient(series.stopped ? *series.stopped : space, series.times,
                       series.instant, series.earning, options);
    std::string names;
    for (const Series::User& user : series.users) {
      done[user.property] = true;
      if (!result.ok) {
        results[user.property] = Failed(result.message);
        continue;
      }
      const TransientPoint& point = result.points[user.point];
      PropertyValue& value = results[user.property];
      value.ok = true;
      value.value = user.accumulated ? point.accumulated[user.vector]
                                     : point.instant[user.vector];
      value.bound = user.accumulated ? point.accumulated_bound[user.vector]
                                     : point.instant_bound[user.vector];
      names += (names.empty() ? "" : ", ") + properties[user.property].name;
    }
    if (result.ok && result.steady) {
      notes->push_back(names + ": steady state after " +
                       Thousands(result.iterations) + " of " +
                       Thousands(result.planned) +
                       " uniformization steps; the rest at the limit, "
                       "within the bound");
    }
  };
  run(plain);
  for (const auto& [variable, series] : reach) run(series);
  for (std::size_t p = 0; p < properties.size(); ++p) {
    if (!done[p]) results[p] = EvaluateProperty(properties[p], context);
  }
  return results;
}
