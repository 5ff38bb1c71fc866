#include <cmath>
#include <utility>

#include "jani/JaniImporter.h"

namespace jani {

bool JaniImporter::IsBool(const Json& json) const {
  if (json.is_boolean()) return true;
  if (json.is_string()) {
    const std::string name = json.get<std::string>();
    if (const Variable* variable = FindVariable(name, nullptr)) {
      return variable->type == ValueType::kBool;
    }
    const auto constant = constants_.find(name);
    return constant != constants_.end() &&
           constant->second.type == ValueType::kBool;
  }
  if (!json.is_object()) return false;
  const std::string op = TextOr(json, "op", "");
  static const std::set<std::string> kBoolOps = {
      "\xE2\x88\xA7", "\xE2\x88\xA8",
      "\xC2\xAC",     "=",
      "\xE2\x89\xA0", "<",
      "\xE2\x89\xA4", ">",
      "\xE2\x89\xA5", "\xE2\x87\x92"};
  if (kBoolOps.count(op) != 0) return true;
  if (op == "ite") return IsBool(MemberOrNull(json, "then"));
  if (op == "call") {
    const auto function = functions_.find(TextOr(json, "function", ""));
    return function != functions_.end() && function->second.is_bool;
  }
  return false;
}

ExprPtr JaniImporter::StateRead(const Variable& variable,
                                const std::string& path) {
  const SourceLocation where = At(path);
  ExprPtr place = NameRef(variable.place, where);
  if (variable.is_bool) {
    return Bin(Op::kNotEqual, std::move(place), IntConstant(0, where), where);
  }
  if (variable.lower == 0) return place;
  return Bin(Op::kAdd, std::move(place), IntConstant(variable.lower, where),
             where);
}

// The value of a transient variable in a state: set by the current location
// of some instance, else its initial value.
ExprPtr JaniImporter::InStateTransient(const Variable& variable,
                                       const std::string& path) {
  const SourceLocation where = At(path);
  ExprPtr value = ConstantExpr(variable.initial, where);
  // Two locations that set the variable at once are a modelling error, and
  // the locations of two automata may be current together (an automaton of
  // one location always is): only one automaton's locations may set it.
  std::string setter;
  for (const auto& instance : instances_) {
    for (std::size_t l = 0; l < instance->location_json.size(); ++l) {
      const Json* values = Member(*instance->location_json[l],
                                  "transient-values", instance->path, false);
      if (values == nullptr) continue;
      for (std::size_t k = 0; k < values->size(); ++k) {
        const Json& entry = (*values)[k];
        const std::string at = instance->path + ".locations[" +
                               std::to_string(l) + "].transient-values[" +
                               std::to_string(k) + "]";
        if (TextOr(entry, "ref", "") != variable.name ||
            FindVariable(variable.name, instance.get()) != &variable) {
          continue;
        }
        if (!setter.empty() && setter != instance->name) {
          Error(at, "transient variable '" + variable.name +
                        "' is set in the locations of both " + setter +
                        " and " + instance->name +
                        ": both would set it when those locations are "
                        "current together");
          return nullptr;
        }
        setter = instance->name;
        const Json* exp = Member(entry, "value", at, true);
        if (exp == nullptr) return nullptr;
        Scope scope;
        scope.instance = instance.get();
        scope.state_only = true;
        ExprPtr set = Translate(*exp, at + ".value", scope);
        if (!set) return nullptr;
        if (instance->location_place.empty()) {
          value = std::move(set);
        } else {
          value = Condition(
              Bin(Op::kEqual, NameRef(instance->location_place, where),
                  IntConstant(static_cast<long long>(l), where), where),
              std::move(set), std::move(value), where);
        }
      }
    }
  }
  return value;
}

ExprPtr JaniImporter::TranslateName(const std::string& name,
                                    const std::string& path,
                                    const Scope& scope) {
  const SourceLocation where = At(path);
  if (scope.parameters != nullptr) {
    const auto parameter = scope.parameters->find(name);
    if (parameter != scope.parameters->end()) return Clone(*parameter->second);
  }
  if (!scope.constants_only) {
    if (const Variable* variable = FindVariable(name, scope.instance)) {
      if (!variable->transient) {
        if (!scope.state_only) state_read_ = true;
        return StateRead(*variable, path);
      }
      transients_read_.insert(variable->key);
      if (scope.transient_values != nullptr) {
        const auto set = scope.transient_values->find(variable->key);
        if (set != scope.transient_values->end()) return Clone(*set->second);
        return ConstantExpr(variable->initial, where);
      }
      if (scope.state_only) {
        Error(path, "transient variable '" + name +
                        "' read where only state variables may be");
        return nullptr;
      }
      return InStateTransient(*variable, path);
    }
  }
  const auto constant = constants_.find(name);
  if (constant != constants_.end())
    return ConstantExpr(constant->second, where);
  if (scope.constants_only && FindVariable(name, scope.instance) == nullptr &&
      globals_.empty() && instances_.empty()) {
    Error(path, "'" + name + "' is not a constant declared before");
    return nullptr;
  }
  Error(path, scope.constants_only
                  ? "'" + name + "' is not a constant declared before"
                  : "unknown name '" + name + "'");
  return nullptr;
}

ExprPtr JaniImporter::Translate(const Json& json, const std::string& path,
                                const Scope& scope) {
  const SourceLocation where = At(path);
  if (Failed()) return nullptr;
  if (nesting_ >= kMaxNesting) {
    Error(path, "expression nested more than " + std::to_string(kMaxNesting) +
                    " levels deep");
    return nullptr;
  }
  if (json.is_boolean()) return BoolConstant(json.get<bool>(), where);
  if (json.is_number_integer())
    return IntConstant(json.get<long long>(), where);
  if (json.is_number_float()) {
    const double value = json.get<double>();
    if (std::isfinite(value) && value == std::floor(value) &&
        std::fabs(value) < 9e15) {
      return IntConstant(static_cast<long long>(value), where);
    }
    return RealConstant(value, where);
  }
  if (json.is_string())
    return TranslateName(json.get<std::string>(), path, scope);
  if (json.is_object() && json.contains("constant")) {
    const Json& name = json["constant"];
    if (name == "e") return RealConstant(std::exp(1.0), where);
    if (name == "\xCF\x80") return RealConstant(std::acos(-1.0), where);
    Error(path + ".constant", "unknown constant " + Dump(name));
    return nullptr;
  }
  if (json.is_object() && json.contains("op")) {
    ++nesting_;
    ExprPtr result = TranslateOp(json, path, scope);
    --nesting_;
    return result;
  }
  Error(path, "not an expression: " + Dump(json));
  return nullptr;
}

ExprPtr JaniImporter::TranslateOp(const Json& json, const std::string& path,
                                  const Scope& scope) {
  const SourceLocation where = At(path);
  const Json& op_json = MemberOrNull(json, "op");
  if (!op_json.is_string()) {
    Error(path + ".op", "expected an operator name");
    return nullptr;
  }
  const std::string op = op_json.get<std::string>();
  auto arg = [&](const char* key) -> ExprPtr {
    const Json* member = Member(json, key, path, true);
    if (member == nullptr) return nullptr;
    return Translate(*member, path + "." + key, scope);
  };
  static const std::map<std::string, Op> kBinary = {
      {"\xE2\x88\xA7", Op::kAnd},
      {"\xE2\x88\xA8", Op::kOr},
      {"=", Op::kEqual},
      {"\xE2\x89\xA0", Op::kNotEqual},
      {"<", Op::kLess},
      {"\xE2\x89\xA4", Op::kLessEqual},
      {">", Op::kGreater},
      {"\xE2\x89\xA5", Op::kGreaterEqual},
      {"+", Op::kAdd},
      {"-", Op::kSubtract},
      {"*", Op::kMultiply},
      {"/", Op::kDivide},
      {"%", Op::kModulo}};
  const auto binary = kBinary.find(op);
  if (binary != kBinary.end()) {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    return Bin(binary->second, std::move(left), std::move(right), where);
  }
  if (op == "min" || op == "max" || op == "pow") {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    std::vector<ExprPtr> args;
    args.push_back(std::move(left));
    args.push_back(std::move(right));
    return Call(op == "min"   ? Op::kMin
                : op == "max" ? Op::kMax
                              : Op::kPow,
                std::move(args), where);
  }
  if (op == "log") {
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    std::vector<ExprPtr> a;
    a.push_back(std::move(left));
    std::vector<ExprPtr> b;
    b.push_back(std::move(right));
    return Bin(Op::kDivide, Call(Op::kLog, std::move(a), where),
               Call(Op::kLog, std::move(b), where), where);
  }
  if (op == "\xE2\x87\x92") {  // implication
    ExprPtr left = arg("left");
    ExprPtr right = arg("right");
    if (!left || !right) return nullptr;
    return Bin(Op::kOr, Unary(Op::kNot, std::move(left), where),
               std::move(right), where);
  }
  if (op == "\xC2\xAC") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    return Unary(Op::kNot, std::move(exp), where);
  }
  if (op == "floor" || op == "ceil" || op == "abs") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    std::vector<ExprPtr> args;
    args.push_back(std::move(exp));
    return Call(op == "floor"  ? Op::kFloor
                : op == "ceil" ? Op::kCeil
                               : Op::kAbs,
                std::move(args), where);
  }
  if (op == "sgn" || op == "trc") {
    ExprPtr exp = arg("exp");
    if (!exp) return nullptr;
    ExprPtr copy = Clone(*exp);
    if (op == "sgn") {
      return Condition(
          Bin(Op::kGreater, std::move(exp), IntConstant(0, where), where),
          IntConstant(1, where),
          Condition(
              Bin(Op::kLess, std::move(copy), IntConstant(0, where), where),
              IntConstant(-1, where), IntConstant(0, where), where),
          where);
    }
    std::vector<ExprPtr> up;
    up.push_back(Clone(*exp));
    std::vector<ExprPtr> down;
    down.push_back(std::move(copy));
    return Condition(
        Bin(Op::kLess, std::move(exp), IntConstant(0, where), where),
        Call(Op::kCeil, std::move(up), where),
        Call(Op::kFloor, std::move(down), where), where);
  }
  if (op == "ite") {
    ExprPtr test = arg("if");
    ExprPtr then_value = arg("then");
    ExprPtr else_value = arg("else");
    if (!test || !then_value || !else_value) return nullptr;
    return Condition(std::move(test), std::move(then_value),
                     std::move(else_value), where);
  }
  if (op == "call") {
    const std::optional<std::string> name =
        StringMember(json, "function", path);
    const Json* args = Member(json, "args", path, true);
    if (!name || args == nullptr) return nullptr;
    const Function* function = nullptr;
    if (scope.instance != nullptr) {
      const auto local = scope.instance->functions.find(*name);
      if (local != scope.instance->functions.end()) function = &local->second;
    }
    if (function == nullptr) {
      const auto global = functions_.find(*name);
      if (global != functions_.end()) function = &global->second;
    }
    if (function == nullptr) {
      Error(path + ".function", "unknown function '" + *name + "'");
      return nullptr;
    }
    if (!args->is_array() || args->size() != function->parameters.size()) {
      Error(path + ".args", "function '" + *name + "' takes " +
                                std::to_string(function->parameters.size()) +
                                " arguments");
      return nullptr;
    }
    if (scope.depth >= kMaxCallDepth) {
      Error(path, "calls of '" + *name + "' nest too deeply (recursion?)");
      return nullptr;
    }
    std::vector<ExprPtr> values;
    std::map<std::string, const Expr*> bound;
    for (std::size_t i = 0; i < args->size(); ++i) {
      values.push_back(Translate(
          (*args)[i], path + ".args[" + std::to_string(i) + "]", scope));
      if (!values.back()) return nullptr;
      bound[function->parameters[i]] = values.back().get();
    }
    Scope inner = scope;
    inner.parameters = &bound;
    inner.depth = scope.depth + 1;
    return Translate(*function->body, function->path, inner);
  }
  Error(path + ".op", "operator \"" + op + "\" is not supported");
  return nullptr;
}

}  // namespace jani
