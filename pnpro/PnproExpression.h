#ifndef GEN_PNPRO_PNPROEXPRESSION_H_
#define GEN_PNPRO_PNPROEXPRESSION_H_

#include <functional>
#include <optional>
#include <string>

#include "lang/Expr.h"

// How a PNPRO expression's bare names and #P markings resolve: the type of
// a constant or template (nullopt: unknown) and whether P is a place.
struct PnproNames {
  std::function<std::optional<ValueType>(const std::string&)> constant;
  std::function<bool(const std::string&)> place;
};

struct [[nodiscard]] PnproParse {
  ExprPtr expr;  // null on error
  ValueType type = ValueType::kInt;
  bool reads_marking = false;
  std::string error;  // with the offending text
};

// Parses one expression attribute of the PNPRO format: integer and real
// literals (a real has a dot and digits after it), True/False, #P for the
// marking of place P, constant and template names, + - * / with unary minus
// binding weaker than both, comparisons, ! && || -> <->, parentheses and the
// bracketed functions If, Min, Max, Mod, Pow, Fract, Abs, Ceil, Floor,
// Round, Sqrt and Exp. Names stay kName nodes (places carry their own
// name). Whether `/` of two integers truncates depends on the field: it does
// in an integer field (a marking, a multiplicity), while in a real field (a
// delay, a weight, a REAL constant) 1/2 is 0.5.
PnproParse ParsePnproExpression(const std::string& text,
                                const PnproNames& names, bool real_field);

#endif  // GEN_PNPRO_PNPROEXPRESSION_H_
