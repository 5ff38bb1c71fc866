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
                                                        bool indicator,
                                                        Accumulation earn) {
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
  // Without `time` the expression earns nothing while the model stays in a
  // state, only on the transitions.
  reward.rate = earn.time ? std::move(rate) : IntConstant(0, where);
  const std::set<std::string> transients = transients_read_;
  if (!indicator && earn.steps && !transients.empty()) {
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

std::optional<JaniImporter::Reads> JaniImporter::ReadsOf(
    const Json& expression, const std::string& path) {
  transients_read_.clear();
  state_read_ = false;
  if (!Translate(expression, path, Scope())) return std::nullopt;
  return Reads{!transients_read_.empty(), state_read_};
}

namespace {

// Whether `json` holds a P, E or S operator or a filter below its top
// (`top`: `json` itself is the property's own operator).
bool NestsQuery(const Json& json, bool top) {
  if (json.is_object()) {
    static const std::set<std::string> kQueries = {
        "Pmin", "Pmax", "Emin", "Emax", "Smin", "Smax", "filter"};
    if (!top && kQueries.count(TextOr(json, "op", "")) != 0) return true;
    for (const auto& [key, member] : json.items()) {
      if (NestsQuery(member, false)) return true;
    }
  } else if (json.is_array()) {
    for (const Json& member : json) {
      if (NestsQuery(member, false)) return true;
    }
  }
  return false;
}

// The first of the state predicates "deadlock", "timelock" and "initial"
// that `json` reads, or "" where it reads none. Properties read them only
// as the states of a filter.
std::string StatePredicateIn(const Json& json) {
  if (json.is_object()) {
    const std::string op = TextOr(json, "op", "");
    if (op == "deadlock" || op == "timelock" || op == "initial") return op;
    for (const auto& [key, member] : json.items()) {
      std::string found = StatePredicateIn(member);
      if (!found.empty()) return found;
    }
  } else if (json.is_array()) {
    for (const Json& member : json) {
      std::string found = StatePredicateIn(member);
      if (!found.empty()) return found;
    }
  }
  return "";
}

}  // namespace

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
    // A filter over the initial states: the model has exactly one, so the
    // value, the minimum, maximum, sum and average over them are one number.
    // count, argmin, argmax and the quantifiers over booleans are not that
    // number (the quantifiers need a bool, which no supported operator
    // gives).
    const Json* values = expression;
    std::string vpath = epath;
    std::string other_filter;  // why a filter is not that number
    if (TextOr(*expression, "op", "") == "filter") {
      const Json& states = MemberOrNull(*expression, "states");
      const std::string fun = TextOr(*expression, "fun", "");
      static const std::set<std::string> kFunctions = {
          "min", "max", "sum",    "avg",    "count",
          "∀",   "∃",   "argmin", "argmax", "values"};
      if (kFunctions.count(fun) == 0) {
        Error(epath + ".fun",
              "unknown filter function " +
                  Dump(MemberOrNull(*expression, "fun")) +
                  " (expected one of min, max, sum, avg, count, ∀, ∃, "
                  "argmin, argmax, values)");
        return;
      }
      if (TextOr(states, "op", "") != "initial") {
        other_filter = "filter over states other than the initial one";
      } else if (fun != "values" && fun != "min" && fun != "max" &&
                 fun != "sum" && fun != "avg") {
        other_filter = "filter " + Dump(MemberOrNull(*expression, "fun"));
      } else if (expression->contains("values")) {
        values = &(*expression)["values"];
        vpath = epath + ".values";
      }
    }
    const std::string op = TextOr(*values, "op", "");
    auto unsupported = [&](const std::string& why) {
      line.kind = "unsupported";
      line.fields = {why};
    };
    if (!other_filter.empty()) {
      unsupported(other_filter);
      result_.properties.push_back(std::move(line));
      continue;
    }
    // P, E and S inside the operands are nested queries, which the
    // translation of state expressions does not read.
    if (NestsQuery(*values, true)) {
      unsupported("nested " + (op.empty() ? std::string("query") : op));
      result_.properties.push_back(std::move(line));
      continue;
    }
    if (const std::string predicate = StatePredicateIn(*values);
        !predicate.empty()) {
      unsupported("the \"" + predicate + "\" state predicate");
      result_.properties.push_back(std::move(line));
      continue;
    }
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
        // An infinite bound given would read as no bound at all.
        if (!(end->value >= 0) || std::isinf(end->value)) {
          Error(at + ".time-bounds." + keys[k],
                "a time bound must be a finite number that is not negative");
          return std::nullopt;
        }
        *ends[k] = end->value;
      }
      if (interval.second < interval.first) {
        Error(at + ".time-bounds", "the time interval ends before it starts");
        return std::nullopt;
      }
      // [t, t) and (t, t] hold no time point; [t, t] is the instant t.
      if (interval.first == interval.second &&
          (MemberOrNull(*bounds, "lower-exclusive") == Json(true) ||
           MemberOrNull(*bounds, "upper-exclusive") == Json(true))) {
        Error(at + ".time-bounds", "the time interval is empty");
        return std::nullopt;
      }
      return interval;
    };
    // The `accumulate` list of an E or S operator: what the expression earns
    // over time and on the transitions; nullopt for other entries.
    auto accumulation =
        [&](Accumulation absent) -> std::optional<Accumulation> {
      const Json& list = MemberOrNull(*values, "accumulate");
      if (list.is_null()) return absent;
      if (!list.is_array()) return std::nullopt;
      Accumulation earn{false, false};
      for (const Json& entry : list) {
        if (entry == Json("time")) {
          earn.time = true;
        } else if (entry == Json("steps")) {
          earn.steps = true;
        } else {
          return std::nullopt;
        }
      }
      return earn;
    };
    // On each step an expression earns its value after the step's
    // assignments. Impulses give that for transient variables only: an
    // expression that reads no transient variable (1 counts the steps) or
    // also reads state variables (read after the step) is not computed.
    // By convention a plain state expression in a long-run average with the
    // default list earns over time only.
    const char* const kStepsOfState =
        " accumulating steps of an expression that reads state variables or "
        "no transient variable";
    auto steps_unsupported = [&](const Json& exp, const std::string& at,
                                 bool state_expression_allowed) {
      const std::optional<Reads> reads = ReadsOf(exp, at);
      if (!reads) return false;
      if (!reads->transient) return !state_expression_allowed;
      return reads->state;
    };
    if (op == "Smin" || op == "Smax") {
      const Json& exp = MemberOrNull(*values, "exp");
      // A state formula becomes a 0/1 rate reward, a long-run fraction of
      // time whatever the list says.
      const bool indicator = IsBool(exp);
      const std::optional<Accumulation> earn =
          accumulation(Accumulation{true, true});
      if (!earn && !indicator) {
        unsupported(op + " with an accumulate list other than steps and time");
      } else if (earn && earn->steps && !indicator &&
                 steps_unsupported(exp, vpath + ".exp", earn->time)) {
        if (Failed()) return;
        unsupported(op + kStepsOfState);
      } else {
        const std::optional<std::string> var =
            RewardVariable(exp, vpath + ".exp", line.name, indicator,
                           earn.value_or(Accumulation{}));
        if (!var) return;
        line.kind = "steady-state";
        line.fields = {*var};
      }
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
        const std::optional<std::string> var =
            RewardVariable(MemberOrNull(path_formula, "exp"), fpath + ".exp",
                           line.name, true, Accumulation{});
        if (!var) return;
        line.kind = "reward-instant";
        line.fields = {*var, FormatTimeField(0.0)};
      } else {
        const std::optional<std::string> holds =
            RewardVariable(MemberOrNull(path_formula, "exp"), fpath + ".exp",
                           line.name + "_left", true, Accumulation{});
        if (!holds) return;
        const std::optional<std::string> everywhere =
            RewardVariable(Json(true), fpath, line.name, true, Accumulation{});
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
            RewardVariable(*target, tpath, line.name, true, Accumulation{});
        if (!var) return;
        if (left != nullptr) {
          const std::optional<std::string> holds =
              RewardVariable(*left, fpath + ".left", line.name + "_left", true,
                             Accumulation{});
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
      const std::optional<Accumulation> earn =
          accumulation(Accumulation{false, false});
      const Json& exp = MemberOrNull(*values, "exp");
      const bool time_only = earn && earn->time && !earn->steps;
      const bool accumulates = earn && (earn->time || earn->steps);
      const bool reach = values->contains("reach");
      const bool instant = values->contains("time-instant");
      if (!earn) {
        unsupported(op + " with an accumulate list other than steps and time");
      } else if (reach && time_only && exp == Json(1)) {
        const std::optional<std::string> var =
            RewardVariable(MemberOrNull(*values, "reach"), vpath + ".reach",
                           line.name, true, Accumulation{});
        if (!var) return;
        line.kind = "reach-time";
        line.fields = {*var};
      } else if (earn->steps && (reach || instant) &&
                 steps_unsupported(exp, vpath + ".exp", false)) {
        if (Failed()) return;
        unsupported(op + kStepsOfState);
      } else if (reach && !instant && accumulates) {
        // The reward accumulated until the set is reached: the rate reward
        // over time, the impulses on the transitions, as the list says.
        const std::optional<std::string> earned =
            RewardVariable(exp, vpath + ".exp", line.name, false, *earn);
        if (!earned) return;
        const std::optional<std::string> var =
            RewardVariable(MemberOrNull(*values, "reach"), vpath + ".reach",
                           line.name + "_target", true, Accumulation{});
        if (!var) return;
        line.kind = "reward-reach";
        line.fields = {*earned, *var};
      } else if (instant && !reach) {
        const std::optional<ConstantValue> t = Constant(
            MemberOrNull(*values, "time-instant"), vpath + ".time-instant");
        if (!t) return;
        if (!(t->value >= 0) || std::isinf(t->value)) {
          Error(vpath + ".time-instant",
                "a time instant must be a finite number that is not negative");
          return;
        }
        // Without a list: the expression's value in the state at that time,
        // which no transition's impulse is part of.
        const std::optional<std::string> var =
            RewardVariable(exp, vpath + ".exp", line.name, false,
                           accumulates ? *earn : Accumulation{true, false});
        if (!var) return;
        line.kind = accumulates ? "reward-cumulative" : "reward-instant";
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
