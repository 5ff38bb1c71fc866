#include <cmath>
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
    for (const std::string& key : transients) {
      if (instantaneous_impulse_keys_.count(key) != 0) {
        Error(path, "the reward reads '" + key +
                        "', which immediate edges assign: impulses on "
                        "immediate edges are not supported");
        return std::nullopt;
      }
    }
    // Impulses: the expression after each transition's assignments, for
    // every transition that assigns one of the variables it reads.
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
  for (std::size_t i = 0; !Failed() && i < properties->size(); ++i) {
    const std::string path = "$.properties[" + std::to_string(i) + "]";
    const Json& property = (*properties)[i];
    PropertyLine line;
    line.name = TextOr(property, "name", "property " + std::to_string(i));
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
    auto time_bound = [&](const Json& owner, const char* key,
                          const std::string& at) -> std::optional<double> {
      const Json* bounds = Member(owner, key, at, false);
      if (bounds == nullptr) return INFINITY;
      if (bounds->contains("lower") || !bounds->contains("upper")) {
        return std::nullopt;
      }
      const std::optional<ConstantValue> upper =
          Constant(MemberOrNull(*bounds, "upper"), at + "." + key + ".upper");
      if (!upper) return std::nullopt;
      return upper->value;
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
    } else if ((op == "Pmin" || op == "Pmax") && values->contains("exp")) {
      const Json& path_formula = MemberOrNull(*values, "exp");
      const std::string pop = TextOr(path_formula, "op", "");
      const Json* target = nullptr;
      if (pop == "F") target = &MemberOrNull(path_formula, "exp");
      if (pop == "U" && MemberOrNull(path_formula, "left") == Json(true)) {
        target = &MemberOrNull(path_formula, "right");
      }
      const std::optional<double> bound =
          target ? time_bound(path_formula, "time-bounds", vpath + ".exp")
                 : std::nullopt;
      if (Failed()) return;
      if (target == nullptr || !bound || path_formula.contains("step-bounds")) {
        unsupported(op + " of a path formula other than a time-bounded F");
      } else {
        const std::optional<std::string> var =
            RewardVariable(*target, vpath + ".exp", line.name, true);
        if (!var) return;
        line.kind = "reach-probability";
        line.fields = {*var, FormatTimeField(*bound)};
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
