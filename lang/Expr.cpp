#include "lang/Expr.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/Contract.h"

const char* ValueTypeName(ValueType type) {
  switch (type) {
    case ValueType::kInt:
      return "int";
    case ValueType::kReal:
      return "real";
    case ValueType::kBool:
      return "bool";
  }
  return "?";
}

const char* OpName(Op op) {
  switch (op) {
    case Op::kNone:
      return "?";
    case Op::kNegate:
      return "-";
    case Op::kNot:
      return "not";
    case Op::kAdd:
      return "+";
    case Op::kSubtract:
      return "-";
    case Op::kMultiply:
      return "*";
    case Op::kDivide:
      return "/";
    case Op::kIntDivide:
      return "div";
    case Op::kModulo:
      return "mod";
    case Op::kLess:
      return "<";
    case Op::kLessEqual:
      return "<=";
    case Op::kGreater:
      return ">";
    case Op::kGreaterEqual:
      return ">=";
    case Op::kEqual:
      return "==";
    case Op::kNotEqual:
      return "!=";
    case Op::kAnd:
      return "and";
    case Op::kOr:
      return "or";
    case Op::kMin:
      return "min";
    case Op::kMax:
      return "max";
    case Op::kFloor:
      return "floor";
    case Op::kCeil:
      return "ceil";
    case Op::kAbs:
      return "abs";
    case Op::kPow:
      return "pow";
    case Op::kExp:
      return "exp";
    case Op::kLog:
      return "log";
  }
  return "?";
}

std::string OpSpelling(const Expr& expr) {
  const bool op =
      expr.kind == ExprKind::kUnary || expr.kind == ExprKind::kBinary ||
      expr.kind == ExprKind::kCondition || expr.kind == ExprKind::kCall;
  return op && !expr.name.empty() ? expr.name : OpName(expr.op);
}

namespace {

ExprPtr Node(ExprKind kind, SourceLocation where) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->where = std::move(where);
  return expr;
}

}  // namespace

ExprPtr IntConstant(long long value, SourceLocation where) {
  ExprPtr expr = Node(ExprKind::kConstant, std::move(where));
  expr->type = ValueType::kInt;
  expr->value = static_cast<double>(value);
  return expr;
}

ExprPtr RealConstant(double value, SourceLocation where) {
  ExprPtr expr = Node(ExprKind::kConstant, std::move(where));
  expr->type = ValueType::kReal;
  expr->value = value;
  return expr;
}

ExprPtr BoolConstant(bool value, SourceLocation where) {
  ExprPtr expr = Node(ExprKind::kConstant, std::move(where));
  expr->type = ValueType::kBool;
  expr->value = value ? 1.0 : 0.0;
  return expr;
}

ExprPtr NameRef(std::string name, SourceLocation where) {
  ExprPtr expr = Node(ExprKind::kName, std::move(where));
  expr->name = std::move(name);
  return expr;
}

ExprPtr Unary(Op op, ExprPtr operand, SourceLocation where) {
  GEN_CHECK(op == Op::kNegate || op == Op::kNot);
  ExprPtr expr = Node(ExprKind::kUnary, std::move(where));
  expr->op = op;
  expr->args.push_back(std::move(operand));
  return expr;
}

ExprPtr Binary(Op op, ExprPtr left, ExprPtr right, SourceLocation where) {
  GEN_CHECK(op >= Op::kAdd && op <= Op::kOr);
  ExprPtr expr = Node(ExprKind::kBinary, std::move(where));
  expr->op = op;
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return expr;
}

ExprPtr Condition(ExprPtr test, ExprPtr then_value, ExprPtr else_value,
                  SourceLocation where) {
  ExprPtr expr = Node(ExprKind::kCondition, std::move(where));
  expr->args.push_back(std::move(test));
  expr->args.push_back(std::move(then_value));
  expr->args.push_back(std::move(else_value));
  return expr;
}

ExprPtr Call(Op op, std::vector<ExprPtr> args, SourceLocation where) {
  GEN_CHECK(op >= Op::kMin && op <= Op::kLog);
  ExprPtr expr = Node(ExprKind::kCall, std::move(where));
  expr->op = op;
  expr->args = std::move(args);
  return expr;
}

std::size_t ExprDepth(const Expr& expr) {
  std::size_t deepest = 0;
  std::vector<std::pair<const Expr*, std::size_t>> pending = {{&expr, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (const ExprPtr& arg : node->args)
      pending.emplace_back(arg.get(), depth + 1);
  }
  return deepest;
}

ExprPtr Clone(const Expr& expr) {
  auto copy = std::make_unique<Expr>();
  copy->kind = expr.kind;
  copy->op = expr.op;
  copy->type = expr.type;
  copy->value = expr.value;
  copy->name = expr.name;
  copy->index = expr.index;
  copy->int32 = expr.int32;
  copy->where = expr.where;
  for (const ExprPtr& arg : expr.args) copy->args.push_back(Clone(*arg));
  return copy;
}

void ForEachName(Expr& expr, const std::function<void(Expr&)>& visit) {
  if (expr.kind == ExprKind::kName) visit(expr);
  for (ExprPtr& arg : expr.args) ForEachName(*arg, visit);
}

std::string ExprToString(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::kConstant: {
      if (expr.type == ValueType::kBool) {
        return expr.value != 0.0 ? "true" : "false";
      }
      char buffer[40];
      std::snprintf(buffer, sizeof buffer,
                    expr.type == ValueType::kInt ? "%.0f" : "%.17g",
                    expr.value);
      return buffer;
    }
    case ExprKind::kName:
    case ExprKind::kGlobal:
    case ExprKind::kPlace:
      return expr.name;
    case ExprKind::kUnary:
      return std::string("(") + OpName(expr.op) + ' ' +
             ExprToString(*expr.args[0]) + ')';
    case ExprKind::kBinary:
      return '(' + ExprToString(*expr.args[0]) + ' ' + OpName(expr.op) + ' ' +
             ExprToString(*expr.args[1]) + ')';
    case ExprKind::kCondition:
      return '(' + ExprToString(*expr.args[0]) + " ? " +
             ExprToString(*expr.args[1]) + " : " + ExprToString(*expr.args[2]) +
             ')';
    case ExprKind::kCall: {
      std::string text = std::string(OpName(expr.op)) + '(';
      for (std::size_t i = 0; i < expr.args.size(); ++i) {
        if (i > 0) text += ", ";
        text += ExprToString(*expr.args[i]);
      }
      return text + ')';
    }
  }
  return "?";
}
