#include "solve/Properties.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <limits>

#include "solve/Absorption.h"
#include "solve/ChainFormat.h"
#include "solve/InitialDistribution.h"

namespace {

struct KindLayout {
  PropertyKind kind;
  const char* name;
  bool has_time;
};

// stored in .props files; never rename
constexpr KindLayout kKinds[] = {
    {PropertyKind::kSteadyState, "steady-state", false},
    {PropertyKind::kReachProbability, "reach-probability", true},
    {PropertyKind::kReachTime, "reach-time", false},
    {PropertyKind::kRewardInstant, "reward-instant", true},
    {PropertyKind::kRewardCumulative, "reward-cumulative", true},
    {PropertyKind::kUnsupported, "unsupported", false},
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
    value.value = property.kind == PropertyKind::kReachTime ? 0.0 : 1.0;
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
  const StationaryResult result =
      initial != nullptr
          ? SolveLongRunFrom(stopped, *initial, context.solve_options)
          : SolveLongRun(stopped, context.solve_options);
  if (!result.ok) return Failed(result.message);
  const double reached = ExpectedReward(result.pi, indicator);
  const double reached_bound =
      ExpectedRewardBound(result.pi_error, reached, indicator);
  if (property.kind == PropertyKind::kReachProbability) {
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
  const AbsorptionMeasures absorption = ComputeAbsorption(result, {});
  if (!absorption.defined) return Failed(absorption.why_not);
  value.value = absorption.time;
  value.bound = absorption.time_bound;
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
    const std::size_t end = text.find('\n', pos);
    ++line_number;
    if (end == std::string_view::npos) {
      return Status::Error(at(line_number) +
                           "the last line does not end with a line feed "
                           "(truncated?)");
    }
    const std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
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
          "reward-cumulative or unsupported)");
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
    const std::size_t expected = layout->kind == PropertyKind::kUnsupported ? 3
                                 : layout->has_time                         ? 4
                                                                            : 3;
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
    std::size_t v = 0;
    while (v < variable_names.size() && variable_names[v] != fields[2]) ++v;
    if (v == variable_names.size()) {
      return Status::Error(at(line_number) + "unknown reward variable " +
                           Quoted(fields[2]) + " in property " +
                           Quoted(fields[0]));
    }
    property.variable = v;
    if (layout->has_time &&
        !ParseTime(fields[3], layout->kind == PropertyKind::kReachProbability,
                   &property.time)) {
      return Status::Error(at(line_number) + "bad time " + Quoted(fields[3]) +
                           " in property " + Quoted(fields[0]) +
                           (layout->kind == PropertyKind::kReachProbability
                                ? " (a number >= 0, or inf)"
                                : " (a finite number >= 0)"));
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

PropertyValue EvaluateProperty(const Property& property,
                               const PropertyContext& context) {
  const StateSpace& space = *context.space;
  const RewardValues& values = *context.values;
  if (property.kind == PropertyKind::kUnsupported) {
    return Failed("not supported yet: " + property.text);
  }
  const std::vector<double>& rate = values.rate[property.variable];
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
    case PropertyKind::kUnsupported:
      break;
  }
  return Failed("not supported yet");
}
