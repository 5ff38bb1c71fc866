#ifndef GEN_LANG_PROGRAM_H_
#define GEN_LANG_PROGRAM_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "lang/Expr.h"

struct StatementIr;

// Where a compiled program finds the model: the values of the globals (by
// global index; folded into constants at compile time) and the marking of
// every place (by place index; read at every evaluation). A place's allowed
// range for writes is [low, high], within 0..32767.
struct ProgramBinding {
  std::vector<double> globals;
  std::vector<short*> marks;
  std::vector<int> low;
  std::vector<int> high;
};

// A test "low <= marking <= high" of one place.
struct MarkRange {
  const short* mark;
  int low;
  int high;
};

// A write that a statement list refused: the place, and the value it would
// have received (not a whole number, or outside the place's range).
struct StoreError {
  int place = -1;
  double value = 0.0;
};

// A compiled expression or statement list: a flat instruction sequence for
// a small stack machine, with global variables and constant subexpressions
// folded in and places read through bound marking pointers. Evaluation does
// no name look-up and no allocation. Integer division and modulo by zero
// give NaN, which every consumer of a value refuses.
class Program {
 public:
  Program() = default;

  // `expr` must have been resolved by CheckModel (no kName nodes).
  static Program CompileExpr(const Expr& expr, const ProgramBinding& binding);
  // Statements that read and write places (places resolved by CheckModel).
  static Program CompileStatements(const std::vector<StatementIr>& statements,
                                   const ProgramBinding& binding);

  // The value of a compiled expression in the current marking.
  double Evaluate() const;
  // Runs a compiled statement list. False when a write was refused; the
  // place is left unchanged and error() tells which write it was.
  [[nodiscard]] bool Execute() const;
  const StoreError& error() const { return error_; }
  // Whether the last run compared, negated or branched on a value that is
  // no number (a modulo by 0, say), whose truth it then made up.
  bool ConsumedNan() const { return nan_at_ >= 0; }
  // The index of the first instruction that did so, -1 when none; with
  // size(), tells which appended part of a program it was in.
  int NanAt() const { return nan_at_; }
  // Whether the last run made an int that leaves the 32-bit range, which
  // an int model's states cannot hold, into no number.
  bool LeftInt32() const { return left_int32_; }
  std::size_t size() const { return code_.size(); }

  // Appends the instructions of `other` (a statement list) to this one.
  void Append(const Program& other);

  // When the program is a conjunction of comparisons between one marking
  // and a constant (such as "a >= 1 and b < 3"), or the constant true, the
  // equivalent marking ranges (none for true); nullopt for anything else.
  std::optional<std::vector<MarkRange>> AsMarkRanges() const;

  bool IsConstant() const {
    return code_.size() == 1 && code_[0].code == Code::kPush;
  }
  double ConstantValue() const { return code_[0].constant; }
  bool empty() const { return code_.empty(); }

 private:
  enum class Code : std::uint8_t {
    kPush,
    kLoad,
    kNegate,
    kNot,
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kIntDivide,
    kModulo,
    kLess,
    kLessEqual,
    kGreater,
    kGreaterEqual,
    kEqual,
    kNotEqual,
    kMin,
    kMax,
    kFloor,
    kCeil,
    kAbs,
    kPow,
    kExp,
    kLog,
    kInt32,    // top = NaN unless within -2^31..2^31-1
    kAndJump,  // top false: keep it and jump; else pop it
    kOrJump,   // top true: keep it and jump; else pop it
    kJumpIfFalse,
    kJump,
    kStore,     // pop v; place = v
    kAddStore,  // pop v; place += v
    kSubStore,  // pop v; place -= v
    // Fused forms of common sequences:
    kMarkCompare,         // push (mark <target> constant), target a comparison
    kAddMark,             // top += mark
    kArithmeticConstant,  // top = top <target> constant, target + - * /
  };

  struct Instr {
    Code code;
    std::int32_t target = 0;  // jumps: absolute index; stores: place index
    double constant = 0.0;    // kPush
    short* mark = nullptr;    // kLoad and stores
    std::int32_t low = 0;     // stores
    std::int32_t high = 0;
  };

  class Compiler;

  // Runs the instructions; false when a store was refused. `result` receives
  // the value left on the stack (0 when none).
  bool Run(double* result) const;
  static double Compare(Code code, double a, double b);
  static double Arithmetic(Code code, double a, double b);

  std::vector<Instr> code_;
  mutable std::vector<double> stack_;
  mutable StoreError error_;
  mutable std::int32_t nan_at_ = -1;
  mutable bool left_int32_ = false;
};

#endif  // GEN_LANG_PROGRAM_H_
