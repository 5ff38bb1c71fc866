#include "lang/Checker.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "base/Contract.h"
#include "lang/Program.h"

namespace {

bool IsNumber(ValueType type) { return type != ValueType::kBool; }

// What an expression may read.
enum class Scope {
  kGlobalsOnly,  // initial markings, definitions used there
  kMarkings,     // everything else
};

class Checker {
 public:
  explicit Checker(ModelIr& model) : model_(model) {}

  std::vector<Diagnostic> Run() {
    CheckUniqueNames();
    for (std::size_t i = 0; i < model_.definitions.size(); ++i) {
      definition_index_[model_.definitions[i].name] = i;
    }
    definition_state_.assign(model_.definitions.size(), kUnvisited);
    for (std::size_t i = 0; i < model_.definitions.size(); ++i) {
      CheckDefinition(i);
    }
    CheckExperiments();
    if (model_.places.empty()) {
      Error(model_.where, "the model has no places");
    }
    for (PlaceIr& place : model_.places) CheckPlace(place);
    for (ActivityIr& activity : model_.activities) CheckActivity(activity);
    for (RewardIr& reward : model_.rewards) CheckReward(reward);
    for (PropertyIr& property : model_.properties) CheckProperty(property);
    return std::move(diagnostics_);
  }

  std::optional<ValueType> CheckAlone(Expr& expr,
                                      std::vector<Diagnostic>* errors) {
    for (std::size_t i = 0; i < model_.definitions.size(); ++i) {
      definition_index_[model_.definitions[i].name] = i;
    }
    definition_state_.assign(model_.definitions.size(), kUnvisited);
    const std::optional<ValueType> type = Check(expr, Scope::kMarkings);
    for (Diagnostic& diagnostic : diagnostics_) {
      errors->push_back(std::move(diagnostic));
    }
    return diagnostics_.empty() ? type : std::nullopt;
  }

 private:
  enum State { kUnvisited, kVisiting, kDone, kFailed };

  void Error(const SourceLocation& where, std::string message) {
    diagnostics_.push_back({where, std::move(message)});
  }

  template <typename Item>
  void Unique(const std::vector<Item>& items, const char* what,
              std::map<std::string, const char*>& seen) {
    for (const Item& item : items) {
      auto [it, inserted] = seen.emplace(item.name, what);
      if (!inserted) {
        Error(item.where, std::string(what) + " '" + item.name +
                              "' has the name of an earlier " + it->second);
      }
    }
  }

  void CheckUniqueNames() {
    std::map<std::string, const char*> values;  // one name space for values
    Unique(model_.globals, "global variable", values);
    Unique(model_.definitions, "definition", values);
    Unique(model_.places, "place", values);
    std::map<std::string, const char*> activities;
    Unique(model_.activities, "activity", activities);
    std::map<std::string, const char*> rewards;
    Unique(model_.rewards, "reward variable", rewards);
  }

  void CheckDefinition(std::size_t i) {
    if (definition_state_[i] != kUnvisited) return;
    definition_state_[i] = kVisiting;
    definition_path_.push_back(model_.definitions[i].name);
    DefinitionIr& definition = model_.definitions[i];
    const std::optional<ValueType> type =
        Check(*definition.value, Scope::kMarkings);
    definition_path_.pop_back();
    definition_state_[i] = type ? kDone : kFailed;
  }

  void CheckExperiments() {
    for (const ExperimentIr& experiment : model_.experiments) {
      for (const ExperimentIr::Setting& setting : experiment.settings) {
        const int g = FindByName(model_.globals, setting.global);
        if (g < 0) {
          Error(setting.where,
                "unknown global variable '" + setting.global + "'");
          continue;
        }
        const GlobalIr& global = model_.globals[static_cast<std::size_t>(g)];
        if (global.type == ValueType::kInt &&
            setting.value != std::floor(setting.value)) {
          Error(setting.where, "int global variable '" + setting.global +
                                   "' cannot take the value " +
                                   std::to_string(setting.value));
        }
      }
    }
  }

  void CheckPlace(PlaceIr& place) {
    if (place.initial) {
      Expect(*place.initial, Scope::kGlobalsOnly, ValueType::kInt,
             "the initial marking of place '" + place.name + "'");
    }
    if (place.bounds && (place.bounds->first > place.bounds->second ||
                         place.bounds->first < kMinMarking ||
                         place.bounds->second > kMaxMarking)) {
      Error(place.where, "bounds [" + std::to_string(place.bounds->first) +
                             ", " + std::to_string(place.bounds->second) +
                             "] of place '" + place.name +
                             "' are not a range within " +
                             std::to_string(kMinMarking) + ".." +
                             std::to_string(kMaxMarking));
    }
  }

  void CheckArc(ArcIr& arc, const std::string& activity) {
    arc.place_index = FindByName(model_.places, arc.place);
    if (arc.place_index < 0) {
      Error(arc.where, "unknown place '" + arc.place + "' in an arc of '" +
                           activity + "'");
    }
    if (arc.multiplicity) {
      Expect(*arc.multiplicity, Scope::kMarkings, ValueType::kInt,
             "an arc multiplicity");
    }
  }

  void CheckStatements(std::vector<StatementIr>& statements) {
    for (StatementIr& statement : statements) {
      if (statement.kind == StatementIr::Kind::kIf) {
        Expect(*statement.condition, Scope::kMarkings, ValueType::kBool,
               "an if condition");
        CheckStatements(statement.then_body);
        CheckStatements(statement.else_body);
        continue;
      }
      if (statement.kind == StatementIr::Kind::kSimultaneous) {
        for (const StatementIr& part : statement.then_body) {
          GEN_CHECK(part.kind == StatementIr::Kind::kAssign);
        }
        CheckStatements(statement.then_body);
        continue;
      }
      statement.place_index = FindByName(model_.places, statement.place);
      if (statement.place_index < 0) {
        Error(statement.where,
              "unknown place '" + statement.place + "' assigned");
      }
      Expect(*statement.value, Scope::kMarkings, ValueType::kInt,
             "the value assigned to '" + statement.place + "'");
    }
  }

  void CheckActivity(ActivityIr& activity) {
    const bool timed = activity.kind != ActivityKind::kInstantaneous;
    if (timed && !activity.timing) {
      Error(activity.where,
            "timed activity '" + activity.name + "' has no rate or delay");
    }
    if (activity.timing) {
      Expect(*activity.timing, Scope::kMarkings, ValueType::kReal,
             std::string(activity.kind == ActivityKind::kDeterministic
                             ? "the delay"
                             : "the rate") +
                 " of '" + activity.name + "'");
    }
    if (activity.rank) {
      Expect(*activity.rank, Scope::kMarkings, ValueType::kInt,
             "the rank of '" + activity.name + "'");
    }
    if (activity.weight) {
      Expect(*activity.weight, Scope::kMarkings, ValueType::kReal,
             "the weight of '" + activity.name + "'");
    }
    for (ArcIr& arc : activity.inputs) CheckArc(arc, activity.name);
    for (ArcIr& arc : activity.outputs) CheckArc(arc, activity.name);
    for (InputGateIr& gate : activity.input_gates) {
      if (gate.predicate) {
        Expect(*gate.predicate, Scope::kMarkings, ValueType::kBool,
               "an input gate predicate");
      }
      CheckStatements(gate.function);
    }
    for (OutputGateIr& gate : activity.output_gates) {
      CheckStatements(gate.function);
    }
    for (CaseIr& one_case : activity.cases) {
      if (one_case.probability) {
        Expect(*one_case.probability, Scope::kMarkings, ValueType::kReal,
               "a case probability of '" + activity.name + "'");
      }
      for (ArcIr& arc : one_case.outputs) CheckArc(arc, activity.name);
      for (OutputGateIr& gate : one_case.output_gates) {
        CheckStatements(gate.function);
      }
    }
    for (ProbabilityCheckIr& check : activity.probability_checks) {
      for (ExprPtr& probability : check.probabilities) {
        Expect(*probability, Scope::kMarkings, ValueType::kReal,
               "a probability of " + check.of);
      }
    }
  }

  void CheckReward(RewardIr& reward) {
    if (reward.rate) {
      Expect(*reward.rate, Scope::kMarkings, ValueType::kReal,
             "the rate reward of '" + reward.name + "'");
    }
    for (ImpulseIr& impulse : reward.impulses) {
      impulse.activity_index = FindByName(model_.activities, impulse.activity);
      if (impulse.activity_index < 0) FindCase(impulse);
      if (impulse.activity_index < 0) {
        Error(impulse.where,
              "unknown activity '" + impulse.activity + "' in an impulse");
      }
      if (impulse.amount) {
        Expect(*impulse.amount, Scope::kMarkings, ValueType::kReal,
               "the impulse of '" + reward.name + "'");
      }
    }
  }

  void CheckProperty(PropertyIr& property) {
    for (const PropertyIr& other : model_.properties) {
      if (&other == &property) break;
      if (other.name == property.name) {
        Error(property.where, "property '" + property.name +
                                  "' has the name of an earlier property");
        return;
      }
    }
    property.variable =
        PropertyVariable(property, *property.subject, "prop_" + property.name);
    if (!property.condition) return;
    const Expr& condition = *property.condition;
    // "until(true, b)" asks only that b be reached: no variable for true.
    if (condition.kind == ExprKind::kConstant &&
        condition.type == ValueType::kBool && condition.value != 0.0 &&
        property.kind == PropertyKindIr::kUntil) {
      return;
    }
    const char* role =
        property.kind == PropertyKindIr::kUntil ? "_while" : "_goal";
    property.condition_variable = PropertyVariable(
        property, *property.condition, "prop_" + property.name + role);
  }

  // A subject that names a reward variable is that variable; any other is
  // an expression over markings that becomes a reward variable of its own,
  // `name`: a condition counts 1 where it holds. Empty after an error.
  std::string PropertyVariable(const PropertyIr& property, Expr& subject,
                               const std::string& name) {
    if (subject.kind == ExprKind::kName) {
      for (const RewardIr& reward : model_.rewards) {
        if (reward.name == subject.name) return reward.name;
      }
    }
    const std::optional<ValueType> type = Check(subject, Scope::kMarkings);
    if (!type) return {};
    RewardIr reward;
    reward.name = name;
    reward.where = property.where;
    for (const RewardIr& other : model_.rewards) {
      if (other.name == reward.name) {
        Error(property.where, "property '" + property.name +
                                  "' needs the reward variable name '" +
                                  reward.name + "', which is taken");
        return {};
      }
    }
    if (*type == ValueType::kBool) {
      reward.rate = Condition(Clone(subject), IntConstant(1), IntConstant(0),
                              subject.where);
      reward.rate->type = ValueType::kInt;
      reward.rate->args[1]->type = ValueType::kInt;
      reward.rate->args[2]->type = ValueType::kInt;
    } else {
      reward.rate = Clone(subject);
    }
    model_.rewards.push_back(std::move(reward));
    return name;
  }

  // Resolves "<activity>_case<k>", the name the run gives case k of an
  // activity with two or more cases; leaves the impulse unresolved when the
  // name is not of that form.
  void FindCase(ImpulseIr& impulse) {
    const std::string& name = impulse.activity;
    const std::size_t at = name.rfind("_case");
    if (at == std::string::npos || at == 0) return;
    const std::string digits = name.substr(at + 5);
    if (digits.empty() || digits.size() > 6 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return;
    }
    const int activity = FindByName(model_.activities, name.substr(0, at));
    if (activity < 0) return;
    const std::size_t cases =
        model_.activities[static_cast<std::size_t>(activity)].cases.size();
    const std::size_t k = std::stoul(digits);
    if (cases < 2 || k > cases) return;
    impulse.activity_index = activity;
    impulse.case_index = static_cast<int>(k - 1);
  }

  // Checks `expr` and that its type suits `wanted`: kReal accepts any
  // number, kInt only integers, kBool only booleans.
  void Expect(Expr& expr, Scope scope, ValueType wanted,
              const std::string& what) {
    const std::optional<ValueType> type = Check(expr, scope);
    if (!type) return;
    const bool fits =
        wanted == ValueType::kReal ? IsNumber(*type) : *type == wanted;
    if (!fits) {
      const char* need = wanted == ValueType::kReal  ? "a number"
                         : wanted == ValueType::kInt ? "an int"
                                                     : "a bool";
      Error(expr.where,
            what + " must be " + need + ", not " + ValueTypeName(*type));
    }
  }

  std::optional<ValueType> Fail(const Expr& expr, std::string message) {
    Error(expr.where, std::move(message));
    return std::nullopt;
  }

  std::optional<ValueType> Resolve(Expr& expr, Scope scope) {
    const int global = FindByName(model_.globals, expr.name);
    if (global >= 0) {
      expr.kind = ExprKind::kGlobal;
      expr.index = global;
      expr.type = model_.globals[static_cast<std::size_t>(global)].type;
      return expr.type;
    }
    const auto definition = definition_index_.find(expr.name);
    if (definition != definition_index_.end()) {
      const std::size_t d = definition->second;
      if (definition_state_[d] == kVisiting) {
        std::string chain;
        for (const std::string& name : definition_path_) chain += name + " -> ";
        return Fail(expr, "definition '" + expr.name +
                              "' depends on itself: " + chain + expr.name);
      }
      CheckDefinition(d);
      if (definition_state_[d] != kDone) return std::nullopt;
      // Expand the checked body here, keeping this use's location for
      // messages about it.
      const SourceLocation where = expr.where;
      ExprPtr body = Clone(*model_.definitions[d].value);
      if (scope == Scope::kGlobalsOnly && ReadsPlaces(*body)) {
        return Fail(expr, "definition '" + expr.name +
                              "' reads markings, which cannot be used here");
      }
      expr = std::move(*body);
      expr.where = where;
      return expr.type;
    }
    const int place = FindByName(model_.places, expr.name);
    if (place >= 0) {
      if (scope == Scope::kGlobalsOnly) {
        return Fail(expr, "the marking of '" + expr.name +
                              "' cannot be used here: only globals and "
                              "constants");
      }
      expr.kind = ExprKind::kPlace;
      expr.index = place;
      expr.type = ValueType::kInt;
      return expr.type;
    }
    return Fail(expr, "unknown name '" + expr.name + "'");
  }

  static bool ReadsPlaces(const Expr& expr) {
    if (expr.kind == ExprKind::kPlace) return true;
    for (const ExprPtr& arg : expr.args) {
      if (ReadsPlaces(*arg)) return true;
    }
    return false;
  }

  std::optional<ValueType> Check(Expr& expr, Scope scope) {
    switch (expr.kind) {
      case ExprKind::kConstant:
        return expr.type;
      case ExprKind::kName:
        return Resolve(expr, scope);
      case ExprKind::kGlobal:
      case ExprKind::kPlace:
        return expr.type;  // already resolved
      case ExprKind::kUnary:
        return CheckUnary(expr, scope);
      case ExprKind::kBinary:
        return CheckBinary(expr, scope);
      case ExprKind::kCondition:
        return CheckCondition(expr, scope);
      case ExprKind::kCall:
        return CheckCall(expr, scope);
    }
    return std::nullopt;
  }

  // Checks every argument; nullopt when any failed.
  std::optional<std::vector<ValueType>> CheckArgs(Expr& expr, Scope scope) {
    std::vector<ValueType> types;
    bool ok = true;
    for (ExprPtr& arg : expr.args) {
      const std::optional<ValueType> type = Check(*arg, scope);
      if (type) {
        types.push_back(*type);
      } else {
        ok = false;
      }
    }
    if (!ok) return std::nullopt;
    return types;
  }

  std::optional<ValueType> Typed(Expr& expr, ValueType type) {
    expr.type = type;
    return type;
  }

  std::optional<ValueType> CheckUnary(Expr& expr, Scope scope) {
    const auto types = CheckArgs(expr, scope);
    if (!types) return std::nullopt;
    const ValueType operand = (*types)[0];
    if (expr.op == Op::kNot) {
      if (operand != ValueType::kBool) {
        return Fail(expr, "'" + OpSpelling(expr) + "' needs a bool, not " +
                              ValueTypeName(operand));
      }
      return Typed(expr, ValueType::kBool);
    }
    if (!IsNumber(operand)) return Fail(expr, "'-' needs a number, not bool");
    return Typed(expr, operand);
  }

  std::optional<ValueType> CheckBinary(Expr& expr, Scope scope) {
    const auto types = CheckArgs(expr, scope);
    if (!types) return std::nullopt;
    const ValueType a = (*types)[0];
    const ValueType b = (*types)[1];
    const std::string op = "'" + OpSpelling(expr) + "'";
    switch (expr.op) {
      case Op::kAnd:
      case Op::kOr:
        if (a != ValueType::kBool || b != ValueType::kBool) {
          return Fail(expr, op + " needs two bools, not " + ValueTypeName(a) +
                                " and " + ValueTypeName(b));
        }
        return Typed(expr, ValueType::kBool);
      case Op::kEqual:
      case Op::kNotEqual:
        if (IsNumber(a) != IsNumber(b)) {
          return Fail(expr, op + " compares a bool with a number");
        }
        return Typed(expr, ValueType::kBool);
      case Op::kIntDivide:
      case Op::kModulo:
        if (a != ValueType::kInt || b != ValueType::kInt) {
          return Fail(expr, op + " needs two ints, not " + ValueTypeName(a) +
                                " and " + ValueTypeName(b));
        }
        return Typed(expr, ValueType::kInt);
      default:
        break;
    }
    if (!IsNumber(a) || !IsNumber(b)) {
      return Fail(expr, op + " needs two numbers, not " + ValueTypeName(a) +
                            " and " + ValueTypeName(b));
    }
    switch (expr.op) {
      case Op::kLess:
      case Op::kLessEqual:
      case Op::kGreater:
      case Op::kGreaterEqual:
        return Typed(expr, ValueType::kBool);
      case Op::kDivide:
        return Typed(expr, ValueType::kReal);
      default:
        return Typed(expr, a == ValueType::kInt && b == ValueType::kInt
                               ? ValueType::kInt
                               : ValueType::kReal);
    }
  }

  std::optional<ValueType> CheckCondition(Expr& expr, Scope scope) {
    const auto types = CheckArgs(expr, scope);
    if (!types) return std::nullopt;
    if ((*types)[0] != ValueType::kBool) {
      return Fail(*expr.args[0],
                  std::string("a condition must be a bool, not ") +
                      ValueTypeName((*types)[0]));
    }
    const ValueType a = (*types)[1];
    const ValueType b = (*types)[2];
    if (IsNumber(a) != IsNumber(b)) {
      return Fail(expr,
                  "the two branches of '?' must both be numbers or "
                  "both be bools");
    }
    if (a == ValueType::kBool) return Typed(expr, ValueType::kBool);
    return Typed(expr, a == ValueType::kInt && b == ValueType::kInt
                           ? ValueType::kInt
                           : ValueType::kReal);
  }

  std::optional<ValueType> CheckCall(Expr& expr, Scope scope) {
    const std::string name = OpSpelling(expr);
    const std::size_t count = expr.args.size();
    const bool variadic = expr.op == Op::kMin || expr.op == Op::kMax;
    const std::size_t wanted = expr.op == Op::kPow ? 2 : 1;
    if (variadic ? count < 2 : count != wanted) {
      return Fail(expr, name + " takes " +
                            (variadic ? std::string("two or more arguments")
                                      : std::to_string(wanted) +
                                            (wanted == 1 ? " argument"
                                                         : " arguments")) +
                            ", not " + std::to_string(count));
    }
    const auto types = CheckArgs(expr, scope);
    if (!types) return std::nullopt;
    bool all_int = true;
    for (const ValueType type : *types) {
      if (!IsNumber(type)) return Fail(expr, name + " needs numbers, not bool");
      all_int = all_int && type == ValueType::kInt;
    }
    switch (expr.op) {
      case Op::kMin:
      case Op::kMax:
      case Op::kAbs:
        return Typed(expr, all_int ? ValueType::kInt : ValueType::kReal);
      case Op::kFloor:
      case Op::kCeil:
        return Typed(expr, ValueType::kInt);
      default:
        return Typed(expr, ValueType::kReal);
    }
  }

  ModelIr& model_;
  std::vector<Diagnostic> diagnostics_;
  std::map<std::string, std::size_t> definition_index_;
  std::vector<State> definition_state_;
  std::vector<std::string> definition_path_;
};

}  // namespace

std::vector<Diagnostic> CheckModel(ModelIr& model) {
  return Checker(model).Run();
}

std::optional<ValueType> CheckExpression(ModelIr& model, Expr& expr,
                                         std::vector<Diagnostic>* errors) {
  return Checker(model).CheckAlone(expr, errors);
}

std::vector<double> DefaultGlobals(const ModelIr& model) {
  std::vector<double> values;
  for (const GlobalIr& global : model.globals) {
    values.push_back(global.default_value);
  }
  return values;
}

std::vector<double> ExperimentGlobals(const ModelIr& model,
                                      std::size_t experiment) {
  std::vector<double> values = DefaultGlobals(model);
  if (experiment >= model.experiments.size()) return values;
  for (const ExperimentIr::Setting& setting :
       model.experiments[experiment].settings) {
    const int g = FindByName(model.globals, setting.global);
    if (g >= 0) values[static_cast<std::size_t>(g)] = setting.value;
  }
  return values;
}

std::vector<std::int16_t> InitialMarkings(const ModelIr& model,
                                          const std::vector<double>& globals,
                                          std::vector<Diagnostic>* errors) {
  ProgramBinding binding;
  binding.globals = globals;
  std::vector<std::int16_t> initial;
  for (const PlaceIr& place : model.places) {
    double value = 0.0;
    if (place.initial) {
      value = Program::CompileExpr(*place.initial, binding).Evaluate();
    }
    if (!(value >= place.low() && value <= place.high()) ||
        value != std::floor(value)) {
      std::ostringstream text;
      text << "the initial marking " << value << " of place '" << place.name
           << "' is outside " << place.low() << ".." << place.high();
      errors->push_back({place.where, text.str()});
      initial.push_back(0);
      continue;
    }
    initial.push_back(static_cast<std::int16_t>(value));
  }
  return initial;
}

void CheckFixedTimings(const ModelIr& model, const std::vector<double>& globals,
                       std::vector<Diagnostic>* errors) {
  // Markings are bound to scratch values: an expression that reads one does
  // not compile to a constant and is checked in every state it is used in.
  std::vector<short> scratch(model.places.size(), 0);
  ProgramBinding binding;
  binding.globals = globals;
  for (short& mark : scratch) binding.marks.push_back(&mark);
  for (const PlaceIr& place : model.places) {
    binding.low.push_back(place.low());
    binding.high.push_back(place.high());
  }
  const auto check = [&](const ExprPtr& expr, const std::string& what,
                         const std::string& activity) {
    if (!expr) return;
    const Program program = Program::CompileExpr(*expr, binding);
    if (!program.IsConstant()) return;
    const double value = program.ConstantValue();
    if (value >= 0 && std::isfinite(value)) return;
    std::ostringstream text;
    text << what << ' ' << value << " of '" << activity
         << "' must be a finite number that is not negative";
    errors->push_back({expr->where, text.str()});
  };
  for (const ActivityIr& activity : model.activities) {
    check(activity.timing,
          activity.kind == ActivityKind::kDeterministic ? "the delay"
                                                        : "the rate",
          activity.name);
    check(activity.weight, "the weight", activity.name);
    for (const CaseIr& one_case : activity.cases) {
      check(one_case.probability, "the case probability", activity.name);
    }
  }
}

std::vector<Diagnostic> CheckStudyValues(const ModelIr& model) {
  // Each error once, with the experiments it stops when not all of them.
  std::vector<Diagnostic> distinct;
  std::vector<std::vector<std::size_t>> experiments;
  const std::size_t count =
      model.experiments.empty() ? 1 : model.experiments.size();
  for (std::size_t e = 0; e < count; ++e) {
    std::vector<Diagnostic> errors;
    const std::vector<double> globals = ExperimentGlobals(model, e);
    (void)InitialMarkings(model, globals, &errors);
    CheckFixedTimings(model, globals, &errors);
    for (Diagnostic& error : errors) {
      std::size_t k = 0;
      while (k < distinct.size() &&
             (distinct[k].message != error.message ||
              distinct[k].where.line != error.where.line ||
              distinct[k].where.column != error.where.column)) {
        ++k;
      }
      if (k == distinct.size()) {
        distinct.push_back(std::move(error));
        experiments.emplace_back();
      }
      experiments[k].push_back(e + 1);
    }
  }
  std::vector<Diagnostic> all;
  for (std::size_t k = 0; k < distinct.size(); ++k) {
    if (experiments[k].size() == count) {
      all.push_back(std::move(distinct[k]));
      continue;
    }
    std::string which;
    for (const std::size_t e : experiments[k]) {
      which += (which.empty() ? "" : ", ") + std::to_string(e);
    }
    distinct[k].message +=
        (experiments[k].size() == 1 ? " in Experiment " : " in Experiments ") +
        which;
    all.push_back(std::move(distinct[k]));
  }
  // In the order of the file, as the checks report.
  std::stable_sort(
      all.begin(), all.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.where.line != b.where.line ? a.where.line < b.where.line
                                            : a.where.column < b.where.column;
      });
  return all;
}
