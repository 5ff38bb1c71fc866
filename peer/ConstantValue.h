#ifndef GEN_PEER_CONSTANTVALUE_H_
#define GEN_PEER_CONSTANTVALUE_H_

#include <functional>
#include <optional>
#include <string>

#include "lang/Expr.h"

// The value of a constant expression: a number (ints are whole doubles) or
// a bool (0 or 1) with its type.
struct ConstantValue {
  double value = 0.0;
  ValueType type = ValueType::kInt;
};

// Finds the value of a name, or nullopt when it is not a constant.
using ConstantLookup =
    std::function<std::optional<ConstantValue>(const std::string& name)>;

// Evaluates `expr`, whose kName nodes must all be constants known to
// `lookup`. On failure returns nullopt and sets `error` (an unknown name,
// a type mismatch, a division by zero).
std::optional<ConstantValue> EvaluateConstant(const Expr& expr,
                                              const ConstantLookup& lookup,
                                              std::string* error);

// `value` as a constant expression of its type.
ExprPtr ConstantExpr(const ConstantValue& value, const SourceLocation& where);

// Parses a constant given on the command line for a declared `type`: an
// int takes a whole number, a real any finite number, a bool true/false.
std::optional<ConstantValue> ParseConstantText(const std::string& text,
                                               ValueType type);

#endif  // GEN_PEER_CONSTANTVALUE_H_
