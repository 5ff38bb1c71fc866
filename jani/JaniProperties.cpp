#include <cmath>
#include <set>
#include <string>
#include <utility>

#include "jani/JaniImporter.h"
#include "peer/PropertiesFile.h"

namespace jani {

std::optional<std::string> JaniImporter::RewardVariable(const Json& expression,
                                                        const std::string& path,
                                                        const std::string& name,
                                                        bool indicator) {
  transients_read_.clear();
  Scope scope;
  ExprPtr rate = Translate(expression, path, scope);
  if (!rate) return std::nullopt;
  const SourceLocation where = At(path);
  RewardIr reward;
  reward.name = reward_names_.Unique(name);
  reward.where = where;
  if (indicator) {
    rate = Condition(std::move(rate), IntConstant(1, where),
                     IntConstant(0, where), where);
  }
  reward.rate = std::move(rate);
  const std::set<std::string> transients = transients_read_;
  if (!indicator && !transients.empty()) {
    // Impulses: the expression after each transition's assignments, for
    // every transition that assigns one of the variables it reads; an
    // immediate one earns at the rate of the timed firing that sets it off
    // times the probability of its zero-time path.
    for (std::size_t a = 0; a < impulses_.size(); ++a) {
      std::map<std::string, const Expr*> values;
      for (const auto& [key, value] : impulses_[a]) {
        if (transients.count(key) != 0) values[key] = value.get();
      }
      if (values.empty()) continue;
      Scope on_transition;
      on_transition.transient_values = &values;
      ImpulseIr impulse;
      impulse.activity = impulse_activities_[a];
      impulse.amount = Translate(expression, path, on_transition);
      if (!impulse.amount) return std::nullopt;
      impulse.where = where;
      reward.impulses.push_back(std::move(impulse));
    }
  }
  const std::string unique = reward.name;
  result_.model.rewards.push_back(std::move(reward));
  return unique;
}

void JaniImporter::ReadProperties() {
  const Json* properties = Member(root_, "properties", "$", false);
  if (properties == nullptr) return;
  // Each name is one row of the results.
  std::set<std::string> names;
  for (std::size_t i = 0; !Failed() && i < properties->size(); ++i) {
    const std::string path = "$.properties[" + std::to_string(i) + "]";
    const Json& property = (*properties)[i];
    PropertyLine line;
    line.name = TextOr(property, "name", "property " + std::to_string(i));
    if (!names.insert(line.name).second) {
      Error(path + ".name",
            "property name \"" + line.name + "\" is used twice");
      return;
    }
    const Json* expression = Member(property, "expression", path, true);
    if (expression == nullptr) return;
    const std::string epath = path + ".expression";
    // A filter over the initial states: the model has exactly one.
    const Json* values = expression;
    std::string vpath = epath;
    if (TextOr(*expression, "op", "") == "filter") {
      const Json& states = MemberOrNull(*expression, "states");
      const std::string fun = TextOr(*expression, "fun", "");
      if (TextOr(states, "op", "") == "initial" &&
          expression->contains("values") && fun != "count" && fun != "argmin" &&
          fun != "argmax") {
        values = &(*expression)["values"];
        vpath = epath + ".values";
      }
    }
    const std::string op = TextOr(*values, "op", "");
    auto unsupported = [&](const std::string& why) {
      line.kind = "unsupported";
      line.fields = {why};
    };
    // A path formula's time bounds [lower, upper]: 0 and inf where absent
    // (whether a bound is strict makes no difference in continuous time).
    auto time_bounds =
        [&](const Json& owner,
            const std::string& at) -> std::optional<std::pair<double, double>> {
      std::pair<double, double> interval(0.0, INFINITY);
      const Json* bounds = Member(owner, "time-bounds", at, false);
      if (bounds == nullptr) return interval;
      double* const ends[] = {&interval.first, &interval.second};
      const char* const keys[] = {"lower", "upper"};
      for (int k = 0; k < 2; ++k) {
        if (!bounds->contains(keys[k])) continue;
        const std::optional<ConstantValue> end = Constant(
            MemberOrNull(*bounds, keys[k]), at + ".time-bounds." + keys[k]);
        if (!end) return std::nullopt;
        if (!(end->value >= 0)) {
          Error(at + ".time-bounds." + keys[k],
                "a time bound must not be negative");
          return std::nullopt;
        }
        *ends[k] = end->value;
      }
      if (interval.second < interval.first) {
        Error(at + ".time-bounds", "the time interval ends before it starts");
        return std::nullopt;
      }
      return interval;
    };
    if (op == "Smin" || op == "Smax") {
      const Json& exp = MemberOrNull(*values, "exp");
      // A state formula becomes a 0/1 rate reward.
      const bool indicator = IsBool(exp);
      const std::optional<std::string> var =
          RewardVariable(exp, vpath + ".exp", line.name, indicator);
      if (!var) return;
      line.kind = "steady-state";
      line.fields = {*var};
    } else if ((op == "Pmin" || op == "Pmax") &&
               TextOr(MemberOrNull(*values, "exp"), "op", "") == "G") {
      // G with time bounds [0, t]: exp holds throughout, which is exp until
      // the whole state space at t; at t = 0, exp in the initial state.
      // Other bounds need the complement of a reach probability.
      const Json& path_formula = MemberOrNull(*values, "exp");
      const std::string fpath = vpath + ".exp";
      const std::optional<std::pair<double, double>> bounds =
          time_bounds(path_formula, fpath);
      if (!bounds) return;
      const auto [low, high] = *bounds;
      if (low != 0 || std::isinf(high) ||
          path_formula.contains("step-bounds") ||
          path_formula.contains("reward-bounds")) {
        unsupported(op + " of G other than with time bounds [0, t]");
      } else if (high == 0) {
        const std::optional<std::string> var = RewardVariable(
            MemberOrNull(path_formula, "exp"), fpath + ".exp", line.name, true);
        if (!var) return;
        line.kind = "reward-instant";
        line.fields = {*var, FormatTimeField(0.0)};
      } else {
        const std::optional<std::string> holds =
            RewardVariable(MemberOrNull(path_formula, "exp"), fpath + ".exp",
                           line.name + "_left", true);
        if (!holds) return;
        const std::optional<std::string> everywhere =
            RewardVariable(Json(true), fpath, line.name, true);
        if (!everywhere) return;
        line.kind = "until";
        line.fields = {*holds, *everywhere, FormatTimeField(high),
                       FormatTimeField(high)};
      }
    } else if ((op == "Pmin" || op == "Pmax") && values->contains("exp")) {
      const Json& path_formula = MemberOrNull(*values, "exp");
      const std::string pop = TextOr(path_formula, "op", "");
      const std::string fpath = vpath + ".exp";
      const Json* target = nullptr;
      const Json* left = nullptr;  // null: true
      if (pop == "F") target = &MemberOrNull(path_formula, "exp");
      if (pop == "U") {
        target = &MemberOrNull(path_formula, "right");
        if (MemberOrNull(path_formula, "left") != Json(true)) {
          left = &MemberOrNull(path_formula, "left");
        }
      }
      const std::optional<std::pair<double, double>> bounds =
          target ? time_bounds(path_formula, fpath) : std::nullopt;
      if (Failed()) return;
      if (target == nullptr || !bounds ||
          path_formula.contains("step-bounds") ||
          path_formula.contains("reward-bounds")) {
        unsupported(op +
                    " of a path formula other than F or U with time "
                    "bounds");
      } else {
        const auto [low, high] = *bounds;
        const std::string tpath = fpath + (pop == "F" ? ".exp" : ".right");
        const std::optional<std::string> var =
            RewardVariable(*target, tpath, line.name, true);
        if (!var) return;
        if (left != nullptr) {
          const std::optional<std::string> holds =
              RewardVariable(*left, fpath + ".left", line.name + "_left", true);
          if (!holds) return;
          line.kind = "until";
          line.fields = {*holds, *var, FormatTimeField(low),
                         FormatTimeField(high)};
        } else if (low == 0) {
          line.kind = "reach-probability";
          line.fields = {*var, FormatTimeField(high)};
        } else if (low == high) {
          line.kind = "reward-instant";
          line.fields = {*var, FormatTimeField(high)};
        } else {
          line.kind = "until";
          line.fields = {"-", *var, FormatTimeField(low),
                         FormatTimeField(high)};
        }
      }
    } else if (op == "Emin" || op == "Emax") {
      const Json& accumulate = MemberOrNull(*values, "accumulate");
      const bool time_only = accumulate == Json::array({"time"});
      if (values->contains("reach") && time_only &&
          MemberOrNull(*values, "exp") == Json(1)) {
        const std::optional<std::string> var = RewardVariable(
            MemberOrNull(*values, "reach"), vpath + ".reach", line.name, true);
        if (!var) return;
        line.kind = "reach-time";
        line.fields = {*var};
      } else if (values->contains("reach") &&
                 !values->contains("time-instant") && !accumulate.empty()) {
        // The reward accumulated until the set is reached: rate reward and
        // impulses, as for a cumulative reward.
        const std::optional<std::string> earned = RewardVariable(
            MemberOrNull(*values, "exp"), vpath + ".exp", line.name, false);
        if (!earned) return;
        const std::optional<std::string> var =
            RewardVariable(MemberOrNull(*values, "reach"), vpath + ".reach",
                           line.name + "_target", true);
        if (!var) return;
        line.kind = "reward-reach";
        line.fields = {*earned, *var};
      } else if (values->contains("time-instant") &&
                 !values->contains("reach")) {
        const std::optional<ConstantValue> t = Constant(
            MemberOrNull(*values, "time-instant"), vpath + ".time-instant");
        if (!t) return;
        const std::optional<std::string> var = RewardVariable(
            MemberOrNull(*values, "exp"), vpath + ".exp", line.name, false);
        if (!var) return;
        line.kind = accumulate.empty() ? "reward-instant" : "reward-cumulative";
        line.fields = {*var, FormatTimeField(t->value)};
      } else {
        unsupported(op + " of this form");
      }
    } else {
      unsupported(op.empty() ? "a state formula" : op);
    }
    result_.properties.push_back(std::move(line));
  }
}

}  // namespace jani
