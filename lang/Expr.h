#ifndef GEN_LANG_EXPR_H_
#define GEN_LANG_EXPR_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lang/SourceLocation.h"

// Type of a model expression. Integers are exact 64-bit values held in
// doubles at run time (markings, counts); reals are doubles; booleans are
// predicates.
enum class ValueType { kInt, kReal, kBool };

const char* ValueTypeName(ValueType type);

enum class ExprKind {
  kConstant,   // `value`, of type `type`
  kName,       // `name` not yet resolved: a global, a definition or a place
  kGlobal,     // global variable `index` of the model
  kPlace,      // marking of place `index` of the model
  kUnary,      // `op` applied to args[0]
  kBinary,     // `op` applied to args[0] and args[1]
  kCondition,  // args[0] ? args[1] : args[2]
  kCall,       // function `op` applied to args
};

enum class Op {
  kNone,
  // unary
  kNegate,
  kNot,
  // binary arithmetic: kDivide is real division; kIntDivide and kModulo take
  // integers and truncate toward zero
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kIntDivide,
  kModulo,
  // comparisons and logic (kAnd and kOr evaluate their right side only when
  // needed)
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kEqual,
  kNotEqual,
  kAnd,
  kOr,
  // functions
  kMin,
  kMax,
  kFloor,
  kCeil,
  kAbs,
  kPow,
  kExp,
  kLog,
};

// The text of an operator or function name, as the language writes it.
const char* OpName(Op op);

struct Expr;
// The operator of `expr` as its source wrote it, for messages: the spelling
// a reader left in `name` (PRISM's `=` or `&`, or `round` lowered to floor),
// else OpName.
std::string OpSpelling(const Expr& expr);

// One node of an expression tree. Built by the parser or programmatically
// with the factories below; the checker resolves kName nodes into kGlobal or
// kPlace nodes (or replaces them by the definition they name) and fills
// `type` in every node.
struct Expr {
  ExprKind kind = ExprKind::kConstant;
  Op op = Op::kNone;
  ValueType type = ValueType::kInt;
  double value = 0.0;  // kConstant
  // kName; kept after resolution for messages. On an operator or a call: how
  // the source spelt it, where a reader sets that (see OpSpelling).
  std::string name;
  int index = -1;  // kGlobal, kPlace
  // An int result that must lie within 32 bits, as an importer's format
  // has it: outside them the compiled expression gives no number, which
  // stops generation where it is read.
  bool int32 = false;
  std::vector<std::unique_ptr<Expr>> args;
  SourceLocation where;
};

using ExprPtr = std::unique_ptr<Expr>;

ExprPtr IntConstant(long long value, SourceLocation where = {});
ExprPtr RealConstant(double value, SourceLocation where = {});
ExprPtr BoolConstant(bool value, SourceLocation where = {});
// A reference by name to a global, a definition or a place.
ExprPtr NameRef(std::string name, SourceLocation where = {});
ExprPtr Unary(Op op, ExprPtr operand, SourceLocation where = {});
ExprPtr Binary(Op op, ExprPtr left, ExprPtr right, SourceLocation where = {});
ExprPtr Condition(ExprPtr test, ExprPtr then_value, ExprPtr else_value,
                  SourceLocation where = {});
// `op` is one of kMin .. kLog; min and max take two or more arguments, pow
// two, the others one.
ExprPtr Call(Op op, std::vector<ExprPtr> args, SourceLocation where = {});

// A deep copy.
ExprPtr Clone(const Expr& expr);

// The most operators on a path from the root to a leaf, counted without
// recursion. Copying, checking, evaluating and freeing an expression recurse
// once per level, so the parsers refuse a tree deeper than
// kMaxExpressionDepth, which a long flat chain (a guard of 100,000
// disjuncts) would otherwise make, ending the process on a full stack.
std::size_t ExprDepth(const Expr& expr);
constexpr std::size_t kMaxExpressionDepth = 5000;

// Calls `visit` on every kName node of `expr` (also those still unresolved
// inside arguments), so that callers can rename or collect references.
void ForEachName(Expr& expr, const std::function<void(Expr&)>& visit);

// A canonical one-line text of `expr`, fully parenthesised; two expressions
// print the same exactly when they have the same structure and constants.
std::string ExprToString(const Expr& expr);

#endif  // GEN_LANG_EXPR_H_
