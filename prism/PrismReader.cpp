#include "prism/PrismReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "lang/Checker.h"
#include "peer/ConstantValue.h"
#include "peer/PropertiesFile.h"
#include "peer/RewardNames.h"
#include "prism/PrismParser.h"

namespace {

// The most states that an init ... endinit predicate is tried on.
constexpr double kMaxInitCandidates = 1e6;
// The most transitions one action may give (one per combination of
// commands and updates of its modules), and the deepest chains of constants
// and of renamed modules: a file beyond them is refused, not explored.
constexpr double kMaxCombinations = 1e5;
constexpr std::size_t kMaxChain = 100;

// `value` as a whole number within 32 bits, or nullopt.
std::optional<long long> WholeNumber(const ConstantValue& value) {
  if (value.type != ValueType::kInt ||
      !(std::fabs(value.value) <= 2147483647.0)) {
    return std::nullopt;
  }
  return static_cast<long long>(value.value);
}

struct Variable {
  std::string name;
  std::string module;  // empty: global
  bool is_bool = false;
  long long low = 0;
  long long high = 1;
  long long initial = 0;
};

// One update of one participant of a transition.
struct Part {
  const PrismModule* module;
  std::size_t command;  // index in the module
  const PrismUpdate* update;
};

// Whether `expr`, resolved, has whole-number values of type int: names
// are places (ints) or, where variables are kept as names, the variables.
bool IsIntValued(const Expr& expr,
                 const std::map<std::string, Variable>& variables) {
  switch (expr.kind) {
    case ExprKind::kConstant:
      return expr.type == ValueType::kInt;
    case ExprKind::kName: {
      const auto variable = variables.find(expr.name);
      return variable == variables.end() || !variable->second.is_bool;
    }
    case ExprKind::kCondition:
      return IsIntValued(*expr.args[1], variables) &&
             IsIntValued(*expr.args[2], variables);
    default:
      break;
  }
  switch (expr.op) {
    case Op::kNegate:
    case Op::kAdd:
    case Op::kSubtract:
    case Op::kMultiply:
    case Op::kModulo:
    case Op::kMin:
    case Op::kMax:
      for (const ExprPtr& arg : expr.args) {
        if (!IsIntValued(*arg, variables)) return false;
      }
      return true;
    case Op::kFloor:
    case Op::kCeil:
      return true;
    default:
      return false;
  }
}

// Whether `expr` reads one of `names`.
bool ReadsAny(const Expr& expr, const std::set<std::string>& names) {
  if (expr.kind == ExprKind::kName && names.count(expr.name) != 0) return true;
  for (const ExprPtr& arg : expr.args) {
    if (ReadsAny(*arg, names)) return true;
  }
  return false;
}

// `terms` joined by `op` in pairs, then pairs of pairs: a tree as shallow
// as it can be, where a chain one level per term (a guard per command, an
// item per reward) would run out of stack when copied, evaluated or freed
// for many thousand terms. Null when there are none.
ExprPtr Joined(std::vector<ExprPtr> terms, Op op) {
  while (terms.size() > 1) {
    std::vector<ExprPtr> joined;
    for (std::size_t i = 0; i + 1 < terms.size(); i += 2) {
      const SourceLocation where = terms[i]->where;
      joined.push_back(
          Binary(op, std::move(terms[i]), std::move(terms[i + 1]), where));
    }
    if (terms.size() % 2 == 1) joined.push_back(std::move(terms.back()));
    terms = std::move(joined);
  }
  return terms.empty() ? nullptr : std::move(terms.front());
}

// Bounds on the values of an expression, as far as the variables' ranges
// tell; infinite where nothing bounds them.
struct Interval {
  double low;
  double high;
};

constexpr Interval kAnyValue = {-INFINITY, INFINITY};

// a * b, where 0 times infinity is 0: a bound of 0 stays 0.
double BoundProduct(double a, double b) {
  return a == 0.0 || b == 0.0 ? 0.0 : a * b;
}

// Marks (Expr::int32) each int operator whose value may leave 32 bits in
// some state, as the variables' ranges allow, so that the run stops there
// rather than carry on with a value beyond them. A place holds its
// variable minus the lower bound. Returns the bounds of `expr`.
Interval MarkWideInts(Expr& expr,
                      const std::map<std::string, Variable>& variables) {
  std::vector<Interval> args;
  for (ExprPtr& arg : expr.args) {
    args.push_back(MarkWideInts(*arg, variables));
  }
  Interval result = kAnyValue;
  switch (expr.kind) {
    case ExprKind::kConstant:
      return {expr.value, expr.value};
    case ExprKind::kName: {
      const auto variable = variables.find(expr.name);
      if (variable == variables.end()) return kAnyValue;
      return {0.0, static_cast<double>(variable->second.high -
                                       variable->second.low)};
    }
    case ExprKind::kCondition:
      return {std::fmin(args[1].low, args[2].low),
              std::fmax(args[1].high, args[2].high)};
    default:
      break;
  }
  bool int_op = false;
  switch (expr.op) {
    case Op::kNegate:
      result = {-args[0].high, -args[0].low};
      int_op = true;
      break;
    case Op::kAdd:
      result = {args[0].low + args[1].low, args[0].high + args[1].high};
      int_op = true;
      break;
    case Op::kSubtract:
      result = {args[0].low - args[1].high, args[0].high - args[1].low};
      int_op = true;
      break;
    case Op::kMultiply: {
      const double corners[] = {BoundProduct(args[0].low, args[1].low),
                                BoundProduct(args[0].low, args[1].high),
                                BoundProduct(args[0].high, args[1].low),
                                BoundProduct(args[0].high, args[1].high)};
      result = {*std::min_element(std::begin(corners), std::end(corners)),
                *std::max_element(std::begin(corners), std::end(corners))};
      int_op = true;
      break;
    }
    case Op::kModulo: {
      // |a mod b| is below |b| and at most |a|.
      const double a = std::fmax(-args[0].low, args[0].high);
      const double b = std::fmax(-args[1].low, args[1].high);
      const double most = std::fmin(a, b);
      result = {-most, most};
      break;
    }
    case Op::kMin:
    case Op::kMax:
      result = args[0];
      for (const Interval& arg : args) {
        const bool is_min = expr.op == Op::kMin;
        result.low = is_min ? std::fmin(result.low, arg.low)
                            : std::fmax(result.low, arg.low);
        result.high = is_min ? std::fmin(result.high, arg.high)
                             : std::fmax(result.high, arg.high);
      }
      break;
    case Op::kAbs: {
      const double most = std::fmax(-args[0].low, args[0].high);
      result = {
          args[0].low <= 0.0 && args[0].high >= 0.0
              ? 0.0
              : std::fmin(std::fabs(args[0].low), std::fabs(args[0].high)),
          most};
      int_op = true;
      break;
    }
    case Op::kFloor:
    case Op::kCeil:
      result = {std::floor(args[0].low), std::ceil(args[0].high)};
      int_op = true;
      break;
    case Op::kLess:
    case Op::kLessEqual:
    case Op::kGreater:
    case Op::kGreaterEqual:
    case Op::kEqual:
    case Op::kNotEqual:
    case Op::kAnd:
    case Op::kOr:
    case Op::kNot:
      return {0.0, 1.0};
    default:  // division and the real functions: unbounded
      return kAnyValue;
  }
  // A NaN bound (infinity minus infinity) bounds nothing.
  if (std::isnan(result.low)) result.low = -INFINITY;
  if (std::isnan(result.high)) result.high = INFINITY;
  if (int_op && IsIntValued(expr, variables) &&
      !(result.low >= INT32_MIN && result.high <= INT32_MAX)) {
    expr.int32 = true;
    result = {std::fmax(result.low, INT32_MIN),
              std::fmin(result.high, INT32_MAX)};
  }
  return result;
}

bool IsConstant(const Expr& expr, double value) {
  return expr.kind == ExprKind::kConstant && expr.value == value;
}

class PrismImporter {
 public:
  PrismImporter(const std::string& file_name, const ImportOptions& options)
      : file_(file_name), options_(options) {}

  ImportedModel Run(const std::string& text);

  // Diagnostics in the property file carry their line and caret in the
  // message, since the caller formats them against the model's text.
  void ShowPropertySource(std::vector<Diagnostic>& errors) const;

 private:
  bool Failed() const { return !result_.errors.empty(); }
  void Error(const SourceLocation& where, const std::string& message) {
    if (!Failed()) result_.errors.push_back({where, message});
  }

  void DeclareConstants(std::vector<PrismConstant>& constants);
  std::optional<ConstantValue> ConstantNamed(const std::string& name,
                                             const SourceLocation& where);
  std::optional<ConstantValue> Evaluate(const Expr& expr);
  void DeclareVariable(const PrismVariable& variable,
                       const std::string& module);
  void ExpandRenamedModules();
  // A module named as a constant, formula or variable: an error at the later
  // of the two declarations.
  void CheckModuleNames(const PrismPropertyFile& properties);
  bool CopyModule(PrismModule& module, std::set<std::string>& expanding);
  // A copy of `expr` with formulas expanded and names renamed; each old name
  // it renames goes into `used`.
  ExprPtr Renamed(const Expr& expr,
                  const std::map<std::string, std::string>& renames,
                  std::set<std::string>& used, int depth = 0);
  void ResolveInitial();
  void BuildActivities();
  void AddActivity(const std::vector<Part>& parts, const std::string& name,
                   const std::string& action);
  void ReadRewards();
  // Every formula and label, used or not, resolved and type-checked: a
  // label is a bool.
  void CheckDefinitions(const PrismPropertyFile& properties);
  void ReadProperties(const PrismPropertyFile& file);
  std::optional<std::string> Indicator(const Expr& target,
                                       const std::string& name);
  void Always(const PrismProperty& property, PropertyLine* line);
  std::optional<std::string> StructureReward(const PrismRewards& rewards,
                                             const std::string& name,
                                             bool impulses);
  std::optional<double> Time(const Expr& expr);

  // A copy of `expr` with constants folded in, formulas and labels
  // expanded and variables read from their places (or left as names, for
  // init ... endinit). Its int arithmetic is checked (CheckedValue).
  ExprPtr Resolve(const Expr& expr, bool variables_as_names = false);
  ExprPtr ResolveTree(const Expr& expr, bool variables_as_names, int depth);
  // The value of `expr` when it is constant. Int arithmetic has 32-bit
  // results: a constant part of `expr` whose int value lies outside them
  // is an error, and so is a mod by a constant below 1. Only what would be
  // evaluated is checked: the chosen branch of a constant condition, the
  // needed side of a constant and/or.
  std::optional<ConstantValue> CheckedValue(const Expr& expr);
  ExprPtr VariableRead(const Variable& variable, const SourceLocation& where);

  std::string file_;
  const ImportOptions& options_;
  std::string properties_text_;
  PrismModelFile model_;
  ImportedModel result_;
  std::map<std::string, PrismConstant*> constant_decls_;
  std::map<std::string, ConstantValue> constants_;
  std::set<std::string> evaluating_;
  std::map<std::string, const Expr*> formulas_;
  std::map<std::string, const Expr*> labels_;
  std::map<std::string, Variable> variables_;
  std::vector<std::string> variable_order_;
  ExprPtr initial_predicate_;
  // The predicate of the "deadlock" label: no command can fire.
  ExprPtr deadlock_predicate_;
  // The activities of each action ("" for unlabelled commands), for
  // transition rewards.
  std::map<std::string, std::vector<std::string>> activities_of_;
  std::set<std::string> actions_;
  RewardNames reward_names_;
};

void PrismImporter::DeclareConstants(std::vector<PrismConstant>& constants) {
  for (PrismConstant& constant : constants) {
    if (constant_decls_.count(constant.name) != 0) {
      Error(constant.where,
            "constant '" + constant.name + "' is declared twice");
      return;
    }
    constant_decls_[constant.name] = &constant;
    const auto given = options_.constants.find(constant.name);
    if (constant.value && given != options_.constants.end()) {
      Error(constant.where, "constant '" + constant.name +
                                "' has a value in the model; --const cannot "
                                "set it");
      return;
    }
    if (!constant.value && given == options_.constants.end()) {
      Error(constant.where, "constant '" + constant.name +
                                "' has no value: give one with --const " +
                                constant.name + "=VALUE");
      return;
    }
    if (!constant.value) {
      std::optional<ConstantValue> value =
          ParseConstantText(given->second, constant.type);
      if (!value) {
        Error(constant.where,
              "--const " + constant.name + "=" + given->second + " is not " +
                  (constant.type == ValueType::kBool  ? "true or false"
                   : constant.type == ValueType::kInt ? "a whole number"
                                                      : "a number"));
        return;
      }
      value->type = constant.type;
      constants_[constant.name] = *value;
    }
  }
}

std::optional<ConstantValue> PrismImporter::ConstantNamed(
    const std::string& name, const SourceLocation& where) {
  const auto known = constants_.find(name);
  if (known != constants_.end()) return known->second;
  const auto decl = constant_decls_.find(name);
  if (decl == constant_decls_.end()) return std::nullopt;
  if (evaluating_.count(name) != 0) {
    Error(where, "constant '" + name + "' is defined through itself");
    return std::nullopt;
  }
  if (evaluating_.size() >= kMaxChain) {
    Error(where, "constants defined through more than " +
                     std::to_string(kMaxChain) + " others");
    return std::nullopt;
  }
  evaluating_.insert(name);
  const PrismConstant& constant = *decl->second;
  std::optional<ConstantValue> value = Evaluate(*constant.value);
  evaluating_.erase(name);
  if (!value) return std::nullopt;
  if ((constant.type == ValueType::kBool) !=
          (value->type == ValueType::kBool) ||
      (constant.type == ValueType::kInt && value->type != ValueType::kInt)) {
    Error(constant.where, "the value of '" + name + "' is not of type " +
                              ValueTypeName(constant.type));
    return std::nullopt;
  }
  value->type = constant.type;
  constants_[name] = *value;
  return value;
}

std::optional<ConstantValue> PrismImporter::Evaluate(const Expr& expr) {
  ExprPtr resolved = Resolve(expr, true);
  if (!resolved) return std::nullopt;
  std::string error;
  const SourceLocation where = expr.where;
  std::optional<ConstantValue> value = EvaluateConstant(
      *resolved,
      [&](const std::string& name) -> std::optional<ConstantValue> {
        const auto variable = variables_.find(name);
        if (variable == variables_.end()) return std::nullopt;
        return std::nullopt;
      },
      &error);
  if (!value) Error(where, error);
  return value;
}

ExprPtr PrismImporter::VariableRead(const Variable& variable,
                                    const SourceLocation& where) {
  ExprPtr place = NameRef(variable.name, where);
  if (variable.is_bool) {
    return Binary(Op::kNotEqual, std::move(place), IntConstant(0, where),
                  where);
  }
  if (variable.low == 0) return place;
  return Binary(Op::kAdd, std::move(place), IntConstant(variable.low, where),
                where);
}

ExprPtr PrismImporter::Resolve(const Expr& expr, bool variables_as_names) {
  ExprPtr resolved = ResolveTree(expr, variables_as_names, 0);
  if (resolved) (void)CheckedValue(*resolved);
  if (resolved && !variables_as_names) MarkWideInts(*resolved, variables_);
  return Failed() ? nullptr : std::move(resolved);
}

std::optional<ConstantValue> PrismImporter::CheckedValue(const Expr& expr) {
  if (Failed()) return std::nullopt;
  if (expr.kind == ExprKind::kConstant) {
    return ConstantValue{expr.value, expr.type};
  }
  if (expr.args.empty()) return std::nullopt;  // a variable
  std::vector<std::optional<ConstantValue>> args;
  if (expr.kind == ExprKind::kCondition) {
    const std::optional<ConstantValue> test = CheckedValue(*expr.args[0]);
    if (test) return CheckedValue(*expr.args[test->value != 0.0 ? 1 : 2]);
    (void)CheckedValue(*expr.args[1]);
    (void)CheckedValue(*expr.args[2]);
    return std::nullopt;
  }
  if (expr.op == Op::kAnd || expr.op == Op::kOr) {
    const std::optional<ConstantValue> left = CheckedValue(*expr.args[0]);
    if (left && (expr.op == Op::kAnd) == (left->value == 0.0)) return left;
    args.push_back(left);
    args.push_back(CheckedValue(*expr.args[1]));
  } else {
    for (const ExprPtr& arg : expr.args) args.push_back(CheckedValue(*arg));
  }
  if (Failed()) return std::nullopt;
  // mod is the only PRISM function that becomes a modulo.
  if (expr.kind == ExprKind::kBinary && expr.op == Op::kModulo && args[1] &&
      args[1]->value < 1) {
    Error(expr.where, "mod by " + std::to_string(std::llround(args[1]->value)) +
                          ": the divisor must be at least 1");
    return std::nullopt;
  }
  // log(x, b) is log(x) / log(b): a constant argument must be above 0.
  if (expr.kind == ExprKind::kCall && expr.op == Op::kLog && args[0] &&
      !(args[0]->value > 0.0)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", args[0]->value);
    Error(expr.where,
          std::string("log of ") + text + ": the argument must be above 0");
    return std::nullopt;
  }
  ExprPtr shallow = Clone(expr);
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!args[i]) return std::nullopt;
    shallow->args[i] = ConstantExpr(*args[i], expr.where);
  }
  std::string ignored;  // a constant error is reported where it is used
  const std::optional<ConstantValue> value = EvaluateConstant(
      *shallow, [](const std::string&) { return std::nullopt; }, &ignored);
  if (value && value->type == ValueType::kInt &&
      !(value->value >= INT32_MIN && value->value <= INT32_MAX)) {
    char text[32];
    // A nan's sign is no part of the message.
    std::snprintf(
        text, sizeof text, "%.17g",
        std::isnan(value->value) ? std::fabs(value->value) : value->value);
    Error(expr.where, std::string("int value ") + text +
                          " is outside 32 bits (-2147483648..2147483647)");
    return std::nullopt;
  }
  return value;
}

ExprPtr PrismImporter::ResolveTree(const Expr& expr, bool variables_as_names,
                                   int depth) {
  if (Failed()) return nullptr;
  if (depth > 100) {
    Error(expr.where, "formulas or labels defined through themselves");
    return nullptr;
  }
  if (expr.kind == ExprKind::kName) {
    const std::string& name = expr.name;
    if (const auto variable = variables_.find(name);
        variable != variables_.end()) {
      if (variables_as_names) return NameRef(name, expr.where);
      return VariableRead(variable->second, expr.where);
    }
    if (const auto formula = formulas_.find(name); formula != formulas_.end()) {
      return ResolveTree(*formula->second, variables_as_names, depth + 1);
    }
    if (const auto label = labels_.find(name); label != labels_.end()) {
      return ResolveTree(*label->second, variables_as_names, depth + 1);
    }
    if (name == "\"init\"" && initial_predicate_) {
      return ResolveTree(*initial_predicate_, variables_as_names, depth + 1);
    }
    if (name == "\"deadlock\"" && deadlock_predicate_) {
      return Clone(*deadlock_predicate_);
    }
    if (constant_decls_.count(name) != 0) {
      std::optional<ConstantValue> value = ConstantNamed(name, expr.where);
      if (!value) return nullptr;
      return ConstantExpr(*value, expr.where);
    }
    Error(expr.where, name[0] == '"' ? "unknown label " + name
                                     : "unknown name '" + name + "'");
    return nullptr;
  }
  ExprPtr copy = Clone(expr);
  copy->args.clear();
  for (const ExprPtr& arg : expr.args) {
    ExprPtr resolved = ResolveTree(*arg, variables_as_names, depth);
    if (!resolved) return nullptr;
    copy->args.push_back(std::move(resolved));
  }
  // pow of two ints is an int where the exponent is a constant that is not
  // negative (pow(2, 3) is the int 8, as 2^N is): the real power of whole
  // numbers, exact, made an int.
  if (copy->kind == ExprKind::kCall && copy->op == Op::kPow &&
      IsIntValued(*copy->args[0], variables_) &&
      IsIntValued(*copy->args[1], variables_)) {
    std::string ignored;
    const std::optional<ConstantValue> exponent = EvaluateConstant(
        *copy->args[1], [](const std::string&) { return std::nullopt; },
        &ignored);
    if (exponent && exponent->value >= 0) {
      const SourceLocation where = copy->where;
      std::vector<ExprPtr> power;
      power.push_back(std::move(copy));
      return Call(Op::kFloor, std::move(power), where);
    }
  }
  // A divisor that depends on the state and falls below 1 gives no number
  // (a modulo by 0), which the run reports, rather than a wrong remainder.
  if (copy->kind == ExprKind::kBinary && copy->op == Op::kModulo) {
    std::string ignored;
    const bool constant =
        EvaluateConstant(
            *copy->args[1], [](const std::string&) { return std::nullopt; },
            &ignored)
            .has_value();
    if (!constant) {
      std::vector<ExprPtr> clamped;
      clamped.push_back(std::move(copy->args[1]));
      clamped.push_back(IntConstant(0, copy->where));
      copy->args[1] = Call(Op::kMax, std::move(clamped), copy->where);
    }
  }
  return copy;
}

void PrismImporter::DeclareVariable(const PrismVariable& declared,
                                    const std::string& module) {
  if (Failed()) return;
  if (variables_.count(declared.name) != 0 ||
      constant_decls_.count(declared.name) != 0 ||
      formulas_.count(declared.name) != 0) {
    Error(declared.where, "'" + declared.name + "' is declared twice");
    return;
  }
  Variable variable;
  variable.name = declared.name;
  variable.module = module;
  variable.is_bool = declared.is_bool;
  if (!declared.is_bool) {
    const std::optional<ConstantValue> low = Evaluate(*declared.low);
    const std::optional<ConstantValue> high = Evaluate(*declared.high);
    if (!low || !high) return;
    const std::optional<long long> lowest = WholeNumber(*low);
    const std::optional<long long> highest = WholeNumber(*high);
    if (!lowest || !highest) {
      Error(declared.where,
            "the range of '" + declared.name + "' needs whole numbers");
      return;
    }
    variable.low = *lowest;
    variable.high = *highest;
    if (variable.high < variable.low) {
      Error(declared.where, "empty range " + std::to_string(variable.low) +
                                ".." + std::to_string(variable.high));
      return;
    }
    if (variable.high - variable.low > 32767) {
      Error(declared.where, "range of '" + declared.name +
                                "' wider than the 32768 values a place holds");
      return;
    }
  }
  variable.initial = variable.is_bool ? 0 : variable.low;
  if (declared.init) {
    if (model_.init) {
      Error(declared.init->where,
            "'" + declared.name +
                "' has an init value and the model has init ... endinit");
      return;
    }
    const std::optional<ConstantValue> value = Evaluate(*declared.init);
    if (!value) return;
    ConstantValue whole = *value;
    if (whole.type == ValueType::kBool) whole.type = ValueType::kInt;
    const std::optional<long long> initial = WholeNumber(whole);
    if ((value->type == ValueType::kBool) != variable.is_bool || !initial) {
      Error(declared.init->where,
            "initial value of '" + declared.name + "' is not of its type");
      return;
    }
    variable.initial = *initial;
    if (variable.initial < variable.low || variable.initial > variable.high) {
      Error(declared.init->where,
            "initial value of '" + declared.name + "' is outside its range");
      return;
    }
  }
  variables_[variable.name] = variable;
  variable_order_.push_back(variable.name);
}

ExprPtr PrismImporter::Renamed(
    const Expr& expr, const std::map<std::string, std::string>& renames,
    std::set<std::string>& used, int depth) {
  if (depth > 100) {
    Error(expr.where, "formulas defined through themselves");
    return nullptr;
  }
  if (expr.kind == ExprKind::kName) {
    // Formulas are expanded before renaming, so their bodies are renamed.
    const auto formula = formulas_.find(expr.name);
    if (formula != formulas_.end()) {
      return Renamed(*formula->second, renames, used, depth + 1);
    }
    const auto rename = renames.find(expr.name);
    if (rename == renames.end()) return NameRef(expr.name, expr.where);
    used.insert(expr.name);
    return NameRef(rename->second, expr.where);
  }
  ExprPtr copy = Clone(expr);
  copy->args.clear();
  for (const ExprPtr& arg : expr.args) {
    ExprPtr renamed = Renamed(*arg, renames, used, depth);
    if (!renamed) return nullptr;
    copy->args.push_back(std::move(renamed));
  }
  return copy;
}

bool PrismImporter::CopyModule(PrismModule& module,
                               std::set<std::string>& expanding) {
  if (module.base.empty()) return true;
  if (expanding.count(module.name) != 0) {
    Error(module.where, "module '" + module.name + "' is renamed from itself");
    return false;
  }
  if (expanding.size() >= kMaxChain) {
    Error(module.where, "module '" + module.name +
                            "' is renamed through more than " +
                            std::to_string(kMaxChain) + " modules");
    return false;
  }
  PrismModule* base = nullptr;
  for (PrismModule& other : model_.modules) {
    if (other.name == module.base) base = &other;
  }
  if (base == nullptr) {
    Error(module.where, "no module named '" + module.base + "'");
    return false;
  }
  expanding.insert(module.name);
  if (!CopyModule(*base, expanding)) return false;
  expanding.erase(module.name);
  std::map<std::string, std::string> renames;
  for (const PrismRename& pair : module.renames) {
    if (!renames.emplace(pair.from, pair.to).second) {
      Error(pair.where, "'" + pair.from + "' is renamed twice");
      return false;
    }
  }
  std::set<std::string> used;
  auto rename = [&](const std::string& name) {
    const auto found = renames.find(name);
    if (found == renames.end()) return name;
    used.insert(name);
    return found->second;
  };
  for (const PrismVariable& variable : base->variables) {
    if (renames.count(variable.name) == 0) {
      Error(module.where, "module '" + module.name +
                              "' needs a new name for variable '" +
                              variable.name + "' of '" + base->name + "'");
      return false;
    }
    PrismVariable copy;
    copy.name = rename(variable.name);
    copy.is_bool = variable.is_bool;
    copy.where = module.where;
    if (variable.low) copy.low = Renamed(*variable.low, renames, used);
    if (variable.high) copy.high = Renamed(*variable.high, renames, used);
    if (variable.init) copy.init = Renamed(*variable.init, renames, used);
    module.variables.push_back(std::move(copy));
  }
  for (const PrismCommand& command : base->commands) {
    PrismCommand copy;
    copy.action = command.action.empty() ? "" : rename(command.action);
    copy.guard = Renamed(*command.guard, renames, used);
    copy.where = command.where;
    if (!copy.guard) return false;
    for (const PrismUpdate& update : command.updates) {
      PrismUpdate updated;
      if (update.rate) updated.rate = Renamed(*update.rate, renames, used);
      updated.where = update.where;
      for (const PrismAssignment& assignment : update.assignments) {
        PrismAssignment renamed;
        renamed.variable = rename(assignment.variable);
        renamed.value = Renamed(*assignment.value, renames, used);
        if (!renamed.value) return false;
        renamed.where = assignment.where;
        updated.assignments.push_back(std::move(renamed));
      }
      copy.updates.push_back(std::move(updated));
    }
    module.commands.push_back(std::move(copy));
  }
  // A misspelt old name would leave, say, an action shared between the
  // copies without a word, so every old name must occur in the base.
  for (const PrismRename& pair : module.renames) {
    if (used.count(pair.from) == 0) {
      Error(pair.where, "'" + pair.from + "' does not occur in module '" +
                            base->name + "'");
      return false;
    }
  }
  module.base.clear();
  return !Failed();
}

void PrismImporter::ExpandRenamedModules() {
  // A renamed copy names its base, so every module name stands once.
  std::set<std::string> names;
  for (const PrismModule& module : model_.modules) {
    if (!names.insert(module.name).second) {
      Error(module.where, "module '" + module.name + "' is declared twice");
      return;
    }
  }
  for (PrismModule& module : model_.modules) {
    std::set<std::string> expanding;
    if (!CopyModule(module, expanding)) return;
  }
}

void PrismImporter::CheckModuleNames(const PrismPropertyFile& properties) {
  std::map<std::string, SourceLocation> others;
  for (const auto& [name, constant] : constant_decls_) {
    others.emplace(name, constant->where);
  }
  for (const std::vector<PrismDefinition>* list :
       std::initializer_list<const std::vector<PrismDefinition>*>{
           &model_.formulas, &properties.formulas}) {
    for (const PrismDefinition& formula : *list) {
      others.emplace(formula.name, formula.where);
    }
  }
  for (const PrismVariable& variable : model_.globals) {
    others.emplace(variable.name, variable.where);
  }
  for (const PrismModule& module : model_.modules) {
    for (const PrismVariable& variable : module.variables) {
      others.emplace(variable.name, variable.where);
    }
  }
  for (const PrismModule& module : model_.modules) {
    const auto other = others.find(module.name);
    if (other == others.end()) continue;
    // The property file is read after the model.
    const SourceLocation& first = other->second;
    const bool module_first =
        first.origin != module.where.origin
            ? first.origin != file_
            : std::make_pair(module.where.line, module.where.column) <
                  std::make_pair(first.line, first.column);
    Error(module_first ? first : module.where,
          "'" + module.name + "' is declared twice");
    return;
  }
}

// init ... endinit: the one state that satisfies the predicate.
void PrismImporter::ResolveInitial() {
  if (!model_.init) return;
  double candidates = 1;
  for (const std::string& name : variable_order_) {
    const Variable& variable = variables_[name];
    candidates *= static_cast<double>(variable.high - variable.low + 1);
  }
  if (candidates > kMaxInitCandidates) {
    Error(model_.init_where,
          "init ... endinit over more than a million states is not supported");
    return;
  }
  ExprPtr predicate = Resolve(*model_.init, true);
  if (!predicate) return;
  std::map<std::string, long long> values;
  for (const std::string& name : variable_order_) {
    values[name] = variables_[name].low;
  }
  std::map<std::string, long long> found;
  int count = 0;
  while (true) {
    std::string error;
    const std::optional<ConstantValue> holds = EvaluateConstant(
        *predicate,
        [&](const std::string& name) -> std::optional<ConstantValue> {
          const auto value = values.find(name);
          if (value == values.end()) return std::nullopt;
          ConstantValue result;
          result.value = static_cast<double>(value->second);
          result.type =
              variables_[name].is_bool ? ValueType::kBool : ValueType::kInt;
          return result;
        },
        &error);
    if (!holds || holds->type != ValueType::kBool) {
      Error(model_.init_where,
            holds ? "init ... endinit is not a condition" : error);
      return;
    }
    if (holds->value != 0.0) {
      ++count;
      found = values;
    }
    std::size_t k = 0;
    while (k < variable_order_.size()) {
      const Variable& variable = variables_[variable_order_[k]];
      if (++values[variable.name] <= variable.high) break;
      values[variable.name] = variable.low;
      ++k;
    }
    if (k == variable_order_.size()) break;
  }
  if (count != 1) {
    Error(model_.init_where, "init ... endinit gives " + std::to_string(count) +
                                 " initial states; only one is supported");
    return;
  }
  for (const auto& [name, value] : found) variables_[name].initial = value;
}

void PrismImporter::AddActivity(const std::vector<Part>& parts,
                                const std::string& name,
                                const std::string& action) {
  const SourceLocation where = parts.front().update->where;
  ExprPtr enabled;
  ExprPtr rate;
  StatementIr step;
  step.kind = StatementIr::Kind::kSimultaneous;
  step.where = where;
  std::set<std::string> assigned;
  std::string written_at;
  for (const Part& part : parts) {
    const PrismCommand& command = part.module->commands[part.command];
    written_at += (written_at.empty() ? "" : ", ") + command.where.origin +
                  ":" + std::to_string(command.where.line);
    ExprPtr guard = Resolve(*command.guard);
    if (!guard) return;
    enabled =
        enabled ? Binary(Op::kAnd, std::move(enabled), std::move(guard), where)
                : std::move(guard);
    ExprPtr update_rate =
        part.update->rate ? Resolve(*part.update->rate) : IntConstant(1, where);
    if (!update_rate) return;
    rate = rate ? Binary(Op::kMultiply, std::move(rate), std::move(update_rate),
                         where)
                : std::move(update_rate);
    for (const PrismAssignment& assignment : part.update->assignments) {
      const auto found = variables_.find(assignment.variable);
      if (found == variables_.end()) {
        Error(assignment.where,
              "unknown variable '" + assignment.variable + "'");
        return;
      }
      const Variable& variable = found->second;
      if (!variable.module.empty() && variable.module != part.module->name) {
        Error(assignment.where, "module '" + part.module->name +
                                    "' cannot write '" + variable.name +
                                    "' of module '" + variable.module + "'");
        return;
      }
      if (variable.module.empty() && !action.empty()) {
        Error(assignment.where, "global '" + variable.name +
                                    "' cannot be written by a command with "
                                    "an action");
        return;
      }
      if (!assigned.insert(variable.name).second) {
        Error(assignment.where,
              "'" + variable.name + "' is assigned twice in one update");
        return;
      }
      ExprPtr value = Resolve(*assignment.value);
      if (!value) return;
      const SourceLocation at = assignment.where;
      if (variable.is_bool) {
        value = Condition(std::move(value), IntConstant(1, at),
                          IntConstant(0, at), at);
      } else if (variable.low != 0) {
        value = Binary(Op::kSubtract, std::move(value),
                       IntConstant(variable.low, at), at);
      }
      StatementIr statement;
      statement.kind = StatementIr::Kind::kAssign;
      statement.place = variable.name;
      statement.value = std::move(value);
      statement.where = at;
      step.then_body.push_back(std::move(statement));
    }
  }
  ActivityIr activity;
  activity.name = name;
  activity.kind = ActivityKind::kExponential;
  activity.timing = std::move(rate);
  activity.where = where;
  activity.written_at = std::move(written_at);
  InputGateIr gate;
  gate.predicate = std::move(enabled);
  gate.where = where;
  activity.input_gates.push_back(std::move(gate));
  if (!step.then_body.empty()) {
    OutputGateIr out;
    out.where = where;
    if (step.then_body.size() == 1) {
      out.function.push_back(std::move(step.then_body.front()));
    } else {
      out.function.push_back(std::move(step));
    }
    activity.output_gates.push_back(std::move(out));
  }
  activities_of_[action].push_back(name);
  result_.model.activities.push_back(std::move(activity));
}

void PrismImporter::BuildActivities() {
  // Unlabelled commands, one activity per update.
  for (const PrismModule& module : model_.modules) {
    for (std::size_t c = 0; !Failed() && c < module.commands.size(); ++c) {
      const PrismCommand& command = module.commands[c];
      if (!command.action.empty()) {
        actions_.insert(command.action);
        continue;
      }
      const std::string name = module.name + ".c" + std::to_string(c + 1);
      for (std::size_t u = 0; !Failed() && u < command.updates.size(); ++u) {
        AddActivity({{&module, c, &command.updates[u]}},
                    command.updates.size() > 1
                        ? name + "#" + std::to_string(u + 1)
                        : name,
                    "");
      }
    }
  }
  // Each action: one command of every module whose alphabet holds it, and
  // one update of each.
  for (const std::string& action : actions_) {
    std::vector<std::vector<std::pair<const PrismModule*, std::size_t>>>
        choices;
    for (const PrismModule& module : model_.modules) {
      std::vector<std::pair<const PrismModule*, std::size_t>> commands;
      for (std::size_t c = 0; c < module.commands.size(); ++c) {
        if (module.commands[c].action == action)
          commands.emplace_back(&module, c);
      }
      if (!commands.empty()) choices.push_back(std::move(commands));
    }
    double combinations = 1;
    for (const auto& commands : choices) {
      double updates = 0;
      for (const auto& [module, c] : commands) {
        updates += static_cast<double>(module->commands[c].updates.size());
      }
      combinations *= updates;
    }
    if (combinations > kMaxCombinations) {
      Error(choices.front()
                .front()
                .first->commands[choices.front().front().second]
                .where,
            "action '" + action + "' gives more than " +
                std::to_string(static_cast<long>(kMaxCombinations)) +
                " transitions");
      return;
    }
    std::vector<std::size_t> pick(choices.size(), 0);
    while (!Failed()) {
      std::vector<std::pair<const PrismModule*, std::size_t>> chosen;
      std::string label = action + "[";
      for (std::size_t k = 0; k < choices.size(); ++k) {
        chosen.push_back(choices[k][pick[k]]);
        label += (k == 0 ? "" : ",") + chosen.back().first->name + ".c" +
                 std::to_string(chosen.back().second + 1);
      }
      label += "]";
      std::vector<std::size_t> update(chosen.size(), 0);
      bool several = false;
      for (const auto& [module, c] : chosen) {
        several = several || module->commands[c].updates.size() > 1;
      }
      std::size_t combination = 1;
      while (!Failed()) {
        std::vector<Part> parts;
        for (std::size_t k = 0; k < chosen.size(); ++k) {
          const PrismCommand& command =
              chosen[k].first->commands[chosen[k].second];
          parts.push_back(
              {chosen[k].first, chosen[k].second, &command.updates[update[k]]});
        }
        AddActivity(parts,
                    several ? label + "#" + std::to_string(combination) : label,
                    action);
        ++combination;
        std::size_t k = 0;
        while (k < update.size() &&
               ++update[k] ==
                   chosen[k].first->commands[chosen[k].second].updates.size()) {
          update[k++] = 0;
        }
        if (k == update.size()) break;
      }
      std::size_t k = 0;
      while (k < pick.size() && ++pick[k] == choices[k].size()) pick[k++] = 0;
      if (k == pick.size()) break;
    }
  }
}

void PrismImporter::CheckDefinitions(const PrismPropertyFile& properties) {
  const std::vector<const std::vector<PrismDefinition>*> lists = {
      &model_.formulas, &properties.formulas, &model_.labels,
      &properties.labels};
  for (std::size_t k = 0; k < lists.size(); ++k) {
    const bool label = k >= 2;
    for (const PrismDefinition& definition : *lists[k]) {
      ExprPtr body = Resolve(*definition.body);
      if (!body) return;
      std::vector<Diagnostic> errors;
      const std::optional<ValueType> type =
          CheckExpression(result_.model, *body, &errors);
      if (!errors.empty()) {
        Error(errors.front().where, errors.front().message);
        return;
      }
      if (label && type != ValueType::kBool) {
        Error(definition.body->where, "label \"" + definition.name +
                                          "\" must be a bool, not " +
                                          ValueTypeName(*type));
        return;
      }
    }
  }
}

void PrismImporter::ReadRewards() {
  std::set<std::string> names;
  for (const PrismRewards& rewards : model_.rewards) {
    if (!rewards.name.empty() && !names.insert(rewards.name).second) {
      Error(rewards.where,
            "reward structure \"" + rewards.name + "\" is declared twice");
      return;
    }
    for (const PrismRewardItem& item : rewards.items) {
      if (item.transition && !item.action.empty() &&
          actions_.count(item.action) == 0) {
        Error(item.where, "no command has action '" + item.action + "'");
        return;
      }
      // A structure no property reads is not built, but a name it misspells
      // or a value of the wrong type is still an error of the model.
      ExprPtr guard = Resolve(*item.guard);
      ExprPtr value = guard ? Resolve(*item.value) : nullptr;
      if (!value) return;
      std::vector<Diagnostic> errors;
      const std::optional<ValueType> guard_type =
          CheckExpression(result_.model, *guard, &errors);
      const std::optional<ValueType> value_type =
          guard_type ? CheckExpression(result_.model, *value, &errors)
                     : std::nullopt;
      if (!errors.empty()) {
        Error(errors.front().where, errors.front().message);
        return;
      }
      if (guard_type != ValueType::kBool) {
        Error(item.guard->where,
              std::string("the guard of a reward item must be a bool, not ") +
                  ValueTypeName(*guard_type));
        return;
      }
      if (value_type == ValueType::kBool) {
        Error(item.where,
              "the value of a reward item must be a number, not bool");
        return;
      }
    }
  }
}

std::optional<std::string> PrismImporter::Indicator(const Expr& target,
                                                    const std::string& name) {
  ExprPtr test = Resolve(target);
  if (!test) return std::nullopt;
  const SourceLocation where = target.where;
  RewardIr reward;
  reward.name = reward_names_.Unique(name);
  reward.rate = Condition(std::move(test), IntConstant(1, where),
                          IntConstant(0, where), where);
  reward.where = where;
  result_.model.rewards.push_back(std::move(reward));
  return result_.model.rewards.back().name;
}

// P=? [ G<=t phi ]: phi holds throughout [0, t], which is phi until the
// whole state space at t, from the mass that never left phi before t; at
// t = 0 it is phi in the initial state. Other bounds (G phi, G[t1,t2] with
// t1 > 0) need the complement of a reach probability and stay unsupported.
void PrismImporter::Always(const PrismProperty& property, PropertyLine* line) {
  std::optional<double> low = 0.0;
  if (property.bound.low) low = Time(*property.bound.low);
  if (!low || !property.bound.high) return;
  const std::optional<double> high = Time(*property.bound.high);
  if (!high) return;
  if (*high < *low) {
    Error(property.bound.high->where,
          "the time interval ends before it starts");
    return;
  }
  if (*low != 0.0 || std::isinf(*high)) return;
  if (*high == 0.0) {
    const std::optional<std::string> var =
        Indicator(*property.target, line->name);
    if (!var) return;
    line->kind = "reward-instant";
    line->fields = {*var, FormatTimeField(0.0)};
    return;
  }
  const std::optional<std::string> left =
      Indicator(*property.target, line->name + "_left");
  if (!left) return;
  RewardIr everywhere;
  everywhere.name = reward_names_.Unique(line->name);
  everywhere.where = property.target->where;
  everywhere.rate = IntConstant(1, everywhere.where);
  result_.model.rewards.push_back(std::move(everywhere));
  line->kind = "until";
  line->fields = {*left, result_.model.rewards.back().name,
                  FormatTimeField(*high), FormatTimeField(*high)};
}

// A reward variable of a structure's state items (a rate) and, with
// `impulses`, its transition items (impulses on the matching activities,
// evaluated in the source state).
std::optional<std::string> PrismImporter::StructureReward(
    const PrismRewards& rewards, const std::string& name, bool impulses) {
  RewardIr reward;
  reward.name = reward_names_.Unique(name);
  reward.where = rewards.where;
  std::vector<ExprPtr> rates;
  std::map<std::string, std::vector<ExprPtr>> amounts;
  for (const PrismRewardItem& item : rewards.items) {
    ExprPtr guard = Resolve(*item.guard);
    ExprPtr value = Resolve(*item.value);
    if (!guard || !value) return std::nullopt;
    const SourceLocation where = item.where;
    if (!item.transition) {
      rates.push_back(Condition(std::move(guard), std::move(value),
                                RealConstant(0.0, where), where));
      continue;
    }
    if (!impulses) continue;
    for (const std::string& activity : activities_of_[item.action]) {
      amounts[activity].push_back(Condition(Clone(*guard), Clone(*value),
                                            RealConstant(0.0, where), where));
    }
  }
  reward.rate = Joined(std::move(rates), Op::kAdd);
  for (auto& [activity, terms] : amounts) {
    ImpulseIr impulse;
    impulse.activity = activity;
    impulse.amount = Joined(std::move(terms), Op::kAdd);
    impulse.where = impulse.amount->where;
    reward.impulses.push_back(std::move(impulse));
  }
  result_.model.rewards.push_back(std::move(reward));
  return result_.model.rewards.back().name;
}

std::optional<double> PrismImporter::Time(const Expr& expr) {
  const std::optional<ConstantValue> value = Evaluate(expr);
  if (!value) return std::nullopt;
  // An infinite bound would read as no bound at all: only a written-out
  // absent bound means that.
  if (value->type == ValueType::kBool || !(value->value >= 0.0) ||
      std::isinf(value->value)) {
    Error(expr.where,
          "a time bound must be a finite number that is not negative");
    return std::nullopt;
  }
  return value->value;
}

void PrismImporter::ReadProperties(const PrismPropertyFile& file) {
  // Each name is one row of the results. (A property may share its name
  // with a label, and then "name" is the label.)
  std::set<std::string> names;
  // A property that reads another one by name has no kind: it is listed as
  // unsupported, not refused as an unknown label.
  std::set<std::string> references;
  for (const PrismProperty& property : file.properties) {
    const std::string quoted = "\"" + property.name + "\"";
    if (!property.name.empty() && labels_.count(quoted) == 0) {
      references.insert(quoted);
    }
  }
  for (std::size_t i = 0; !Failed() && i < file.properties.size(); ++i) {
    const PrismProperty& property = file.properties[i];
    const bool supported =
        property.supported &&
        !(property.left && ReadsAny(*property.left, references)) &&
        !(property.target && ReadsAny(*property.target, references));
    PropertyLine line;
    line.name =
        property.name.empty() ? "prop" + std::to_string(i + 1) : property.name;
    if (!names.insert(line.name).second) {
      Error(property.name_where,
            "property name \"" + line.name + "\" is used twice" +
                (property.name.empty() ? " (an unnamed property is named "
                                         "prop<k>, k its position)"
                                       : ""));
      return;
    }
    line.kind = "unsupported";
    line.fields = {property.text};
    if (supported && property.form == PrismProperty::Form::kReach) {
      std::optional<double> low = 0.0;
      std::optional<double> high = INFINITY;
      if (property.bound.low) low = Time(*property.bound.low);
      if (property.bound.high) high = Time(*property.bound.high);
      if (!low || !high) return;
      if (*high < *low) {
        Error(property.bound.high->where,
              "the time interval ends before it starts");
        return;
      }
      const std::optional<std::string> var =
          Indicator(*property.target, line.name);
      if (!var) return;
      if (property.left) {
        // a U[t1,t2] b, with the set a as a second indicator
        const std::optional<std::string> left =
            Indicator(*property.left, line.name + "_left");
        if (!left) return;
        line.kind = "until";
        line.fields = {*left, *var, FormatTimeField(*low),
                       FormatTimeField(*high)};
      } else if (*low == 0.0 || *low == *high) {
        line.kind = *low == 0.0 ? "reach-probability" : "reward-instant";
        line.fields = {*var, FormatTimeField(*high)};
      } else {
        line.kind = "until";
        line.fields = {"-", *var, FormatTimeField(*low),
                       FormatTimeField(*high)};
      }
    } else if (supported && property.form == PrismProperty::Form::kAlways) {
      Always(property, &line);
      if (Failed()) return;
    } else if (supported &&
               property.form == PrismProperty::Form::kSteadyState) {
      const std::optional<std::string> var =
          Indicator(*property.target, line.name);
      if (!var) return;
      line.kind = "steady-state";
      line.fields = {*var};
    } else if (supported) {
      const PrismRewards* rewards = nullptr;
      if (property.reward.empty()) {
        if (!model_.rewards.empty()) rewards = &model_.rewards.front();
      } else if (property.reward[0] == '#') {
        const std::string digits = property.reward.substr(1);
        const std::size_t k =
            digits.size() > 9 ? 0 : std::strtoul(digits.c_str(), nullptr, 10);
        if (k >= 1 && k <= model_.rewards.size()) {
          rewards = &model_.rewards[k - 1];
        }
      } else {
        for (const PrismRewards& structure : model_.rewards) {
          if (structure.name == property.reward) rewards = &structure;
        }
      }
      if (rewards == nullptr) {
        Error(property.where,
              property.reward.empty()
                  ? std::string("the model has no reward structure")
                  : "no reward structure " +
                        (property.reward[0] == '#'
                             ? property.reward.substr(1)
                             : "\"" + property.reward + "\""));
        return;
      }
      const char path = property.reward_path;
      if (path == 'S' || path == 'C' || path == 'I') {
        std::optional<double> t;
        if (path != 'S') {
          t = Time(*property.bound.high);
          if (!t) return;
        }
        const std::optional<std::string> var =
            StructureReward(*rewards, line.name, path != 'I');
        if (!var) return;
        line.kind = path == 'S'   ? "steady-state"
                    : path == 'C' ? "reward-cumulative"
                                  : "reward-instant";
        line.fields = {*var};
        if (t) line.fields.push_back(FormatTimeField(*t));
      } else {
        // Expected reward until a set is reached; the time itself (one
        // state item "true : 1") has its own kind.
        const bool time_only =
            rewards->items.size() == 1 && !rewards->items[0].transition;
        ExprPtr guard = time_only ? Resolve(*rewards->items[0].guard) : nullptr;
        ExprPtr value = time_only ? Resolve(*rewards->items[0].value) : nullptr;
        if (Failed()) return;
        if (guard && value && IsConstant(*guard, 1.0) &&
            IsConstant(*value, 1.0)) {
          const std::optional<std::string> var =
              Indicator(*property.target, line.name);
          if (!var) return;
          line.kind = "reach-time";
          line.fields = {*var};
        } else {
          const std::optional<std::string> earned =
              StructureReward(*rewards, line.name, true);
          if (!earned) return;
          const std::optional<std::string> var =
              Indicator(*property.target, line.name + "_target");
          if (!var) return;
          line.kind = "reward-reach";
          line.fields = {*earned, *var};
        }
      }
    }
    result_.properties.push_back(std::move(line));
  }
}

ImportedModel PrismImporter::Run(const std::string& text) {
  if (!ParsePrismModel(text, file_, &model_, &result_.errors)) {
    return std::move(result_);
  }
  PrismPropertyFile properties;
  if (!options_.properties_file.empty()) {
    std::ifstream in(options_.properties_file, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    if (!in) {
      Error({options_.properties_file, 0, 0}, "cannot read the property file");
      return std::move(result_);
    }
    properties_text_ = read.str();
    if (!ParsePrismProperties(properties_text_, options_.properties_file,
                              &properties, &result_.errors)) {
      return std::move(result_);
    }
  }
  result_.model.name = "prism";
  result_.model.where = {file_, 1, 1};
  DeclareConstants(model_.constants);
  DeclareConstants(properties.constants);
  for (const auto& [name, value] : options_.constants) {
    if (!Failed() && constant_decls_.count(name) == 0) {
      Error({file_, 1, 1},
            "--const " + name + ": the model has no constant '" + name + "'");
    }
  }
  for (auto* list : {&model_.formulas, &properties.formulas}) {
    for (const PrismDefinition& formula : *list) {
      // One namespace: a formula named as a constant would take its place
      // wherever the name is read, in the model too.
      if (constant_decls_.count(formula.name) != 0) {
        Error(formula.where, "'" + formula.name + "' is declared twice");
      } else if (!formulas_.emplace(formula.name, formula.body.get()).second) {
        Error(formula.where,
              "formula '" + formula.name + "' is declared twice");
      }
    }
  }
  for (auto* list : {&model_.labels, &properties.labels}) {
    for (const PrismDefinition& label : *list) {
      if (label.name == "init" || label.name == "deadlock") {
        Error(label.where, "label \"" + label.name + "\" cannot be redefined");
      } else if (!labels_.emplace("\"" + label.name + "\"", label.body.get())
                      .second) {
        Error(label.where, "label \"" + label.name + "\" is declared twice");
      }
    }
  }
  for (const auto& [name, constant] : constant_decls_) {
    if (!Failed()) ConstantNamed(name, constant->where);
  }
  if (!Failed()) ExpandRenamedModules();
  for (const PrismVariable& variable : model_.globals) {
    DeclareVariable(variable, "");
  }
  for (const PrismModule& module : model_.modules) {
    for (const PrismVariable& variable : module.variables) {
      DeclareVariable(variable, module.name);
    }
  }
  if (!Failed()) CheckModuleNames(properties);
  if (!Failed()) ResolveInitial();
  if (Failed()) return std::move(result_);
  // The predicate of the "init" label: every variable at its initial value.
  for (const std::string& name : variable_order_) {
    const Variable& variable = variables_[name];
    const SourceLocation where = {file_, 1, 1};
    ExprPtr test =
        Binary(Op::kEqual, NameRef(name, where),
               variable.is_bool ? BoolConstant(variable.initial != 0, where)
                                : IntConstant(variable.initial, where),
               where);
    initial_predicate_ = initial_predicate_
                             ? Binary(Op::kAnd, std::move(initial_predicate_),
                                      std::move(test), where)
                             : std::move(test);
    PlaceIr place;
    place.name = name;
    place.initial = IntConstant(variable.initial - variable.low, where);
    place.bounds =
        std::make_pair(0, static_cast<int>(variable.high - variable.low));
    place.value_offset = variable.low;
    place.where = where;
    result_.model.places.push_back(std::move(place));
  }
  if (result_.model.places.empty()) {
    PlaceIr place;
    place.name = "_";
    place.initial = IntConstant(0);
    place.where = {file_, 1, 1};
    result_.model.places.push_back(std::move(place));
  }
  BuildActivities();
  // "deadlock": no activity can fire. A rate of 0 drops the transition, so
  // an activity counts only where its guard holds and its rate is not 0 (a
  // mass-action rate k*a with a = 0 leaves the state as stuck as a false
  // guard).
  std::vector<ExprPtr> enabled;
  for (const ActivityIr& activity : result_.model.activities) {
    const Expr& rate = *activity.timing;
    const bool constant = rate.kind == ExprKind::kConstant;
    if (constant && rate.value == 0) continue;
    ExprPtr can_fire = Clone(*activity.input_gates.front().predicate);
    if (!constant) {
      can_fire = Binary(Op::kAnd, std::move(can_fire),
                        Binary(Op::kNotEqual, Clone(rate),
                               IntConstant(0, rate.where), rate.where),
                        rate.where);
    }
    enabled.push_back(std::move(can_fire));
  }
  ExprPtr some_enabled = Joined(std::move(enabled), Op::kOr);
  deadlock_predicate_ =
      some_enabled ? Unary(Op::kNot, std::move(some_enabled), {file_, 1, 1})
                   : BoolConstant(true, {file_, 1, 1});
  if (!Failed()) CheckDefinitions(properties);
  if (!Failed()) ReadRewards();
  if (!Failed()) ReadProperties(properties);
  if (Failed()) return std::move(result_);
  for (const auto* list : {&model_.constants, &properties.constants}) {
    for (const PrismConstant& constant : *list) {
      // Declared constants were evaluated above; one that has no value is
      // left out of the list rather than made an error here.
      const auto known = constants_.find(constant.name);
      if (known != constants_.end()) {
        result_.constants.push_back({constant.name, known->second});
      }
    }
  }
  result_.errors = CheckModel(result_.model);
  return std::move(result_);
}

}  // namespace

void PrismImporter::ShowPropertySource(std::vector<Diagnostic>& errors) const {
  for (Diagnostic& error : errors) {
    if (error.where.origin != options_.properties_file ||
        error.where.line == 0) {
      continue;
    }
    std::string text = FormatDiagnostic(error, &properties_text_);
    text.pop_back();  // the caller adds the newline
    const std::string origin = error.where.origin + ":" +
                               std::to_string(error.where.line) + ":" +
                               std::to_string(error.where.column);
    error.message = text.substr(origin.size() + 2);
    error.where = {origin, 0, 0};
  }
}

ImportedModel ReadPrism(const std::string& text, const std::string& file_name,
                        const ImportOptions& options) {
  PrismImporter importer(file_name, options);
  ImportedModel result = importer.Run(text);
  importer.ShowPropertySource(result.errors);
  return result;
}
