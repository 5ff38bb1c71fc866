#include "peer/ConstantValue.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

bool IsNumber(ValueType type) { return type != ValueType::kBool; }

std::optional<ConstantValue> Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return std::nullopt;
}

ConstantValue Number(double value, ValueType a, ValueType b) {
  return {value, a == ValueType::kInt && b == ValueType::kInt
                     ? ValueType::kInt
                     : ValueType::kReal};
}

ConstantValue Bool(bool value) { return {value ? 1.0 : 0.0, ValueType::kBool}; }

}  // namespace

std::optional<ConstantValue> EvaluateConstant(const Expr& expr,
                                              const ConstantLookup& lookup,
                                              std::string* error) {
  switch (expr.kind) {
    case ExprKind::kConstant:
      return ConstantValue{expr.value, expr.type};
    case ExprKind::kName: {
      std::optional<ConstantValue> found = lookup(expr.name);
      if (!found) {
        return Fail(error, "'" + expr.name + "' is not a constant");
      }
      return found;
    }
    case ExprKind::kGlobal:
    case ExprKind::kPlace:
      return Fail(error, "'" + expr.name + "' is not a constant");
    default:
      break;
  }
  std::vector<ConstantValue> args;
  // Only the chosen branch of a condition and the needed side of and/or are
  // evaluated: the other may be undefined.
  if (expr.kind == ExprKind::kCondition) {
    auto test = EvaluateConstant(*expr.args[0], lookup, error);
    if (!test) return std::nullopt;
    if (test->type != ValueType::kBool) {
      return Fail(error, "a condition must be a bool");
    }
    return EvaluateConstant(*expr.args[test->value != 0.0 ? 1 : 2], lookup,
                            error);
  }
  if (expr.op == Op::kAnd || expr.op == Op::kOr) {
    auto left = EvaluateConstant(*expr.args[0], lookup, error);
    if (!left) return std::nullopt;
    if (left->type != ValueType::kBool) {
      return Fail(error, "'" + OpSpelling(expr) + "' needs bools");
    }
    const bool decided =
        expr.op == Op::kAnd ? left->value == 0.0 : left->value != 0.0;
    if (decided) return left;
    auto right = EvaluateConstant(*expr.args[1], lookup, error);
    if (!right) return std::nullopt;
    if (right->type != ValueType::kBool) {
      return Fail(error, "'" + OpSpelling(expr) + "' needs bools");
    }
    return right;
  }
  for (const auto& arg : expr.args) {
    auto value = EvaluateConstant(*arg, lookup, error);
    if (!value) return std::nullopt;
    args.push_back(*value);
  }
  const std::string op = OpSpelling(expr);
  if (expr.op == Op::kNot) {
    if (args[0].type != ValueType::kBool)
      return Fail(error, "'" + op + "' needs a bool");
    return Bool(args[0].value == 0.0);
  }
  if (expr.op == Op::kEqual || expr.op == Op::kNotEqual) {
    if (IsNumber(args[0].type) != IsNumber(args[1].type)) {
      return Fail(error, "'" + op + "' compares a bool with a number");
    }
    return Bool((args[0].value == args[1].value) == (expr.op == Op::kEqual));
  }
  for (const ConstantValue& arg : args) {
    if (!IsNumber(arg.type)) return Fail(error, "'" + op + "' needs numbers");
  }
  const double a = args[0].value;
  const double b = args.size() > 1 ? args[1].value : 0.0;
  const ValueType ta = args[0].type;
  const ValueType tb = args.size() > 1 ? args[1].type : ta;
  switch (expr.op) {
    case Op::kNegate:
      return ConstantValue{-a, ta};
    case Op::kAdd:
      return Number(a + b, ta, tb);
    case Op::kSubtract:
      return Number(a - b, ta, tb);
    case Op::kMultiply:
      return Number(a * b, ta, tb);
    case Op::kDivide:
      if (b == 0.0) return Fail(error, "division by zero");
      return ConstantValue{a / b, ValueType::kReal};
    case Op::kIntDivide:
    case Op::kModulo:
      if (ta != ValueType::kInt || tb != ValueType::kInt) {
        return Fail(error, "'" + op + "' needs two ints");
      }
      if (b == 0.0) return Fail(error, "division by zero");
      return ConstantValue{
          expr.op == Op::kIntDivide ? std::trunc(a / b) : std::fmod(a, b),
          ValueType::kInt};
    case Op::kLess:
      return Bool(a < b);
    case Op::kLessEqual:
      return Bool(a <= b);
    case Op::kGreater:
      return Bool(a > b);
    case Op::kGreaterEqual:
      return Bool(a >= b);
    case Op::kMin:
    case Op::kMax: {
      ConstantValue best = args[0];
      for (const ConstantValue& arg : args) {
        // No number is kept, as at run time: it stops what reads it.
        const bool better = std::isnan(arg.value) ||
                            (expr.op == Op::kMin ? arg.value < best.value
                                                 : arg.value > best.value);
        if (better) best.value = arg.value;
        if (arg.type == ValueType::kReal) best.type = ValueType::kReal;
      }
      return best;
    }
    case Op::kFloor:
      return ConstantValue{std::floor(a), ValueType::kInt};
    case Op::kCeil:
      return ConstantValue{std::ceil(a), ValueType::kInt};
    case Op::kAbs:
      return ConstantValue{std::fabs(a), ta};
    case Op::kPow:
      return ConstantValue{std::pow(a, b), ValueType::kReal};
    case Op::kExp:
      return ConstantValue{std::exp(a), ValueType::kReal};
    case Op::kLog:
      return ConstantValue{std::log(a), ValueType::kReal};
    default:
      return Fail(error, "'" + op + "' cannot be evaluated here");
  }
}

std::optional<ConstantValue> ParseConstantText(const std::string& text,
                                               ValueType type) {
  if (type == ValueType::kBool) {
    if (text == "true") return Bool(true);
    if (text == "false") return Bool(false);
    return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (parsed.ec != std::errc() || parsed.ptr != end || !std::isfinite(value)) {
    return std::nullopt;
  }
  if (type == ValueType::kInt && value != std::floor(value)) {
    return std::nullopt;
  }
  return ConstantValue{value, type};
}

ExprPtr ConstantExpr(const ConstantValue& value, const SourceLocation& where) {
  if (value.type == ValueType::kBool)
    return BoolConstant(value.value != 0.0, where);
  if (value.type == ValueType::kInt) {
    return IntConstant(static_cast<long long>(value.value), where);
  }
  return RealConstant(value.value, where);
}
