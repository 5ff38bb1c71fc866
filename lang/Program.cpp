#include "lang/Program.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Contract.h"
#include "lang/ModelIr.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Truncating integer operations on exact integers held in doubles.
double IntDivide(double a, double b) {
  const auto divisor = static_cast<long long>(b);
  if (divisor == 0 || !std::isfinite(a)) return kNaN;
  return static_cast<double>(static_cast<long long>(a) / divisor);
}

double Modulo(double a, double b) {
  const auto divisor = static_cast<long long>(b);
  if (divisor == 0 || !std::isfinite(a)) return kNaN;
  return static_cast<double>(static_cast<long long>(a) % divisor);
}

bool HasPlace(const Expr& expr) {
  if (expr.kind == ExprKind::kPlace) return true;
  for (const ExprPtr& arg : expr.args) {
    if (HasPlace(*arg)) return true;
  }
  return false;
}

}  // namespace

namespace {

// The deepest the stack of `code` gets; every instruction's effect on the
// depth is fixed, and jumps only skip balanced stretches or land where the
// depth agrees.
template <typename Instr, typename Code>
std::size_t MaxDepth(const std::vector<Instr>& code) {
  long depth = 0;
  long deepest = 0;
  for (const Instr& instr : code) {
    switch (instr.code) {
      case Code::kPush:
      case Code::kLoad:
      case Code::kMarkCompare:
        ++depth;
        break;
      case Code::kAddMark:
      case Code::kArithmeticConstant:
        break;
      case Code::kNegate:
      case Code::kNot:
      case Code::kFloor:
      case Code::kCeil:
      case Code::kAbs:
      case Code::kExp:
      case Code::kLog:
      case Code::kInt32:
      case Code::kJump:
        break;
      default:
        --depth;  // binary operators, conditional pops, stores
        break;
    }
    deepest = std::max(deepest, depth + 1);
  }
  return static_cast<std::size_t>(deepest) + 1;
}

}  // namespace

class Program::Compiler {
 public:
  Compiler(Program& program, const ProgramBinding& binding)
      : program_(program), binding_(binding) {}

  void Expression(const Expr& expr) {
    GEN_CHECK(expr.kind != ExprKind::kName);
    if (expr.kind != ExprKind::kConstant && !HasPlace(expr)) {
      // Globals are fixed for the whole run: fold the subtree now, with the
      // same operations in the same order as at run time.
      Program folded;
      Compiler inner(folded, binding_);
      inner.Unfolded(expr);
      if (expr.int32) inner.Emit(Code::kInt32);
      folded.stack_.assign(MaxDepth<Instr, Code>(folded.code_) + 2, 0.0);
      Emit(Code::kPush).constant = folded.Evaluate();
      return;
    }
    Unfolded(expr);
    if (expr.int32) Emit(Code::kInt32);
  }

  void Statements(const std::vector<StatementIr>& statements) {
    for (const StatementIr& statement : statements) Statement(statement);
  }

  void Store(Code code, int place) {
    GEN_CHECK(place >= 0 &&
              static_cast<std::size_t>(place) < binding_.marks.size());
    const auto p = static_cast<std::size_t>(place);
    Instr& instr = Emit(code);
    instr.target = place;
    instr.mark = binding_.marks[p];
    instr.low = binding_.low[p];
    instr.high = binding_.high[p];
  }

  Instr& Emit(Code code) {
    program_.code_.push_back(Instr{code});
    return program_.code_.back();
  }

 private:
  void Unfolded(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::kName:
        GEN_CHECK(false);
        break;
      case ExprKind::kConstant:
        Emit(Code::kPush).constant = expr.value;
        break;
      case ExprKind::kGlobal:
        GEN_CHECK(expr.index >= 0 && static_cast<std::size_t>(expr.index) <
                                         binding_.globals.size());
        Emit(Code::kPush).constant =
            binding_.globals[static_cast<std::size_t>(expr.index)];
        break;
      case ExprKind::kPlace:
        GEN_CHECK(expr.index >= 0 &&
                  static_cast<std::size_t>(expr.index) < binding_.marks.size());
        Emit(Code::kLoad).mark =
            binding_.marks[static_cast<std::size_t>(expr.index)];
        break;
      case ExprKind::kUnary:
        Expression(*expr.args[0]);
        Emit(expr.op == Op::kNot ? Code::kNot : Code::kNegate);
        break;
      case ExprKind::kBinary:
        Binary(expr);
        break;
      case ExprKind::kCondition: {
        Expression(*expr.args[0]);
        const std::size_t to_else = Jump(Code::kJumpIfFalse);
        Expression(*expr.args[1]);
        const std::size_t to_end = Jump(Code::kJump);
        Land(to_else);
        Expression(*expr.args[2]);
        Land(to_end);
        break;
      }
      case ExprKind::kCall:
        CallOf(expr);
        break;
    }
  }

  void Binary(const Expr& expr) {
    if (expr.op == Op::kAnd || expr.op == Op::kOr) {
      Expression(*expr.args[0]);
      const std::size_t skip =
          Jump(expr.op == Op::kAnd ? Code::kAndJump : Code::kOrJump);
      Expression(*expr.args[1]);
      Land(skip);
      return;
    }
    Expression(*expr.args[0]);
    Expression(*expr.args[1]);
    switch (expr.op) {
      case Op::kAdd:
        EmitBinary(Code::kAdd);
        break;
      case Op::kSubtract:
        EmitBinary(Code::kSubtract);
        break;
      case Op::kMultiply:
        EmitBinary(Code::kMultiply);
        break;
      case Op::kDivide:
        EmitBinary(Code::kDivide);
        break;
      case Op::kIntDivide:
        Emit(Code::kIntDivide);
        break;
      case Op::kModulo:
        Emit(Code::kModulo);
        break;
      case Op::kLess:
        EmitBinary(Code::kLess);
        break;
      case Op::kLessEqual:
        EmitBinary(Code::kLessEqual);
        break;
      case Op::kGreater:
        EmitBinary(Code::kGreater);
        break;
      case Op::kGreaterEqual:
        EmitBinary(Code::kGreaterEqual);
        break;
      case Op::kEqual:
        EmitBinary(Code::kEqual);
        break;
      case Op::kNotEqual:
        EmitBinary(Code::kNotEqual);
        break;
      default:
        GEN_CHECK(false);
    }
  }

  void CallOf(const Expr& expr) {
    GEN_CHECK(!expr.args.empty());
    if (expr.op == Op::kMin || expr.op == Op::kMax) {
      Expression(*expr.args[0]);
      for (std::size_t i = 1; i < expr.args.size(); ++i) {
        Expression(*expr.args[i]);
        Emit(expr.op == Op::kMin ? Code::kMin : Code::kMax);
      }
      return;
    }
    for (const ExprPtr& arg : expr.args) Expression(*arg);
    switch (expr.op) {
      case Op::kFloor:
        Emit(Code::kFloor);
        break;
      case Op::kCeil:
        Emit(Code::kCeil);
        break;
      case Op::kAbs:
        Emit(Code::kAbs);
        break;
      case Op::kPow:
        GEN_CHECK(expr.args.size() == 2);
        Emit(Code::kPow);
        break;
      case Op::kExp:
        Emit(Code::kExp);
        break;
      case Op::kLog:
        Emit(Code::kLog);
        break;
      default:
        GEN_CHECK(false);
    }
  }

  void Statement(const StatementIr& statement) {
    switch (statement.kind) {
      case StatementIr::Kind::kAssign:
        Expression(*statement.value);
        Store(Code::kStore, statement.place_index);
        break;
      case StatementIr::Kind::kAdd:
        Expression(*statement.value);
        Store(Code::kAddStore, statement.place_index);
        break;
      case StatementIr::Kind::kSubtract:
        Expression(*statement.value);
        Store(Code::kSubStore, statement.place_index);
        break;
      case StatementIr::Kind::kIf: {
        Expression(*statement.condition);
        const std::size_t to_else = Jump(Code::kJumpIfFalse);
        Statements(statement.then_body);
        if (statement.else_body.empty()) {
          Land(to_else);
          break;
        }
        const std::size_t to_end = Jump(Code::kJump);
        Land(to_else);
        Statements(statement.else_body);
        Land(to_end);
        break;
      }
      case StatementIr::Kind::kSimultaneous: {
        // The values go on the stack last first, so the stores pop them in
        // statement order and the first refused write is the first in it.
        const std::vector<StatementIr>& parts = statement.then_body;
        for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
          Expression(*part->value);
        }
        for (const StatementIr& part : parts) {
          Store(Code::kStore, part.place_index);
        }
        break;
      }
    }
  }

  std::size_t Jump(Code code) {
    Emit(code);
    return program_.code_.size() - 1;
  }

  void Land(std::size_t jump) {
    program_.code_[jump].target =
        static_cast<std::int32_t>(program_.code_.size());
    landed_ = program_.code_.size();
  }

  static bool IsComparison(Code code) {
    return code == Code::kLess || code == Code::kLessEqual ||
           code == Code::kGreater || code == Code::kGreaterEqual ||
           code == Code::kEqual || code == Code::kNotEqual;
  }

  // Emits a binary operator, fused with the loads and constants just
  // before it where no jump lands between them: "mark < constant",
  // "x + mark" and "x op constant" then take one instruction.
  void EmitBinary(Code code) {
    std::vector<Instr>& code_ = program_.code_;
    const std::size_t size = code_.size();
    if (IsComparison(code) && size >= 2 && landed_ <= size - 2 &&
        code_[size - 2].code == Code::kLoad &&
        code_[size - 1].code == Code::kPush) {
      Instr& fused = code_[size - 2];
      fused.code = Code::kMarkCompare;
      fused.target = static_cast<std::int32_t>(code);
      fused.constant = code_[size - 1].constant;
      code_.pop_back();
      return;
    }
    if (code == Code::kAdd && size >= 2 && landed_ <= size - 1 &&
        code_[size - 1].code == Code::kLoad) {
      code_[size - 1].code = Code::kAddMark;
      return;
    }
    if (!IsComparison(code) && size >= 2 && landed_ <= size - 1 &&
        code_[size - 1].code == Code::kPush) {
      Instr& fused = code_[size - 1];
      fused.code = Code::kArithmeticConstant;
      fused.target = static_cast<std::int32_t>(code);
      return;
    }
    Emit(code);
  }

  Program& program_;
  const ProgramBinding& binding_;
  std::size_t landed_ = 0;  // the last index a jump lands on
};

Program Program::CompileExpr(const Expr& expr, const ProgramBinding& binding) {
  Program program;
  Compiler compiler(program, binding);
  compiler.Expression(expr);
  program.stack_.assign(MaxDepth<Instr, Code>(program.code_) + 2, 0.0);
  return program;
}

Program Program::CompileStatements(const std::vector<StatementIr>& statements,
                                   const ProgramBinding& binding) {
  Program program;
  Compiler compiler(program, binding);
  compiler.Statements(statements);
  program.stack_.assign(MaxDepth<Instr, Code>(program.code_) + 2, 0.0);
  return program;
}

void Program::Append(const Program& other) {
  const auto offset = static_cast<std::int32_t>(code_.size());
  for (Instr instr : other.code_) {
    if (instr.code == Code::kAndJump || instr.code == Code::kOrJump ||
        instr.code == Code::kJumpIfFalse || instr.code == Code::kJump) {
      instr.target += offset;
    }
    code_.push_back(instr);
  }
  stack_.resize(std::max(stack_.size(), other.stack_.size()), 0.0);
}

std::optional<std::vector<MarkRange>> Program::AsMarkRanges() const {
  std::vector<MarkRange> ranges;
  if (IsConstant() && ConstantValue() != 0.0) return ranges;
  constexpr int kMax = 32767;
  // With only comparisons and the jumps of "and", a false comparison jumps
  // to the next "and" jump, which passes the false on to the end: the value
  // is the conjunction of all the comparisons.
  for (std::size_t i = 0; i < code_.size(); ++i) {
    const Instr& instr = code_[i];
    if (instr.code == Code::kAndJump && i % 2 == 1) continue;
    if (instr.code != Code::kMarkCompare || i % 2 != 0) return std::nullopt;
    const double c = instr.constant;
    if (!std::isfinite(c) || std::fabs(c) > kMax + 1.0) return std::nullopt;
    MarkRange range{instr.mark, -kMax - 1, kMax};
    switch (static_cast<Code>(instr.target)) {
      case Code::kLess:  // m < c: m <= ceil(c) - 1
        range.high = static_cast<int>(std::ceil(c)) - 1;
        break;
      case Code::kLessEqual:
        range.high = static_cast<int>(std::floor(c));
        break;
      case Code::kGreater:  // m > c: m >= floor(c) + 1
        range.low = static_cast<int>(std::floor(c)) + 1;
        break;
      case Code::kGreaterEqual:
        range.low = static_cast<int>(std::ceil(c));
        break;
      case Code::kEqual:
        if (c != std::floor(c)) return std::nullopt;
        range.low = range.high = static_cast<int>(c);
        break;
      default:
        return std::nullopt;
    }
    ranges.push_back(range);
  }
  if (code_.empty() || code_.size() % 2 == 0) return std::nullopt;
  return ranges;
}

double Program::Compare(Code code, double a, double b) {
  switch (code) {
    case Code::kLess:
      return a < b ? 1.0 : 0.0;
    case Code::kLessEqual:
      return a <= b ? 1.0 : 0.0;
    case Code::kGreater:
      return a > b ? 1.0 : 0.0;
    case Code::kGreaterEqual:
      return a >= b ? 1.0 : 0.0;
    case Code::kEqual:
      return a == b ? 1.0 : 0.0;
    default:
      return a != b ? 1.0 : 0.0;
  }
}

double Program::Arithmetic(Code code, double a, double b) {
  switch (code) {
    case Code::kAdd:
      return a + b;
    case Code::kSubtract:
      return a - b;
    case Code::kMultiply:
      return a * b;
    default:
      return a / b;
  }
}

bool Program::Run(double* result) const {
  double* const base = stack_.data();
  double* top = base - 1;  // the top element; base - 1 when empty
  const Instr* const code = code_.data();
  const std::size_t size = code_.size();
  std::size_t pc = 0;
  // The first instruction that compared, negated or branched on no number.
  std::int32_t nan_at = -1;
  bool left_int32 = false;
  const auto note_nan = [&nan_at, &pc](bool is_nan) {
    if (is_nan && nan_at < 0) nan_at = static_cast<std::int32_t>(pc - 1);
  };
  while (pc < size) {
    const Instr& instr = code[pc++];
    switch (instr.code) {
      case Code::kPush:
        *++top = instr.constant;
        break;
      case Code::kLoad:
        *++top = *instr.mark;
        break;
      case Code::kMarkCompare:
        note_nan(std::isnan(instr.constant));
        *++top = Compare(static_cast<Code>(instr.target), *instr.mark,
                         instr.constant);
        break;
      case Code::kAddMark:
        *top = *top + *instr.mark;
        break;
      case Code::kArithmeticConstant:
        *top =
            Arithmetic(static_cast<Code>(instr.target), *top, instr.constant);
        break;
      case Code::kNegate:
        *top = -*top;
        break;
      case Code::kNot:
        note_nan(std::isnan(*top));
        *top = *top != 0.0 ? 0.0 : 1.0;
        break;
      case Code::kAdd:
        top[-1] = top[-1] + top[0];
        --top;
        break;
      case Code::kSubtract:
        top[-1] = top[-1] - top[0];
        --top;
        break;
      case Code::kMultiply:
        top[-1] = top[-1] * top[0];
        --top;
        break;
      case Code::kDivide:
        top[-1] = top[-1] / top[0];
        --top;
        break;
      case Code::kIntDivide:
        top[-1] = IntDivide(top[-1], top[0]);
        --top;
        break;
      case Code::kModulo:
        top[-1] = Modulo(top[-1], top[0]);
        --top;
        break;
      case Code::kLess:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] < top[0] ? 1.0 : 0.0;
        --top;
        break;
      case Code::kLessEqual:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] <= top[0] ? 1.0 : 0.0;
        --top;
        break;
      case Code::kGreater:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] > top[0] ? 1.0 : 0.0;
        --top;
        break;
      case Code::kGreaterEqual:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] >= top[0] ? 1.0 : 0.0;
        --top;
        break;
      case Code::kEqual:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] == top[0] ? 1.0 : 0.0;
        --top;
        break;
      case Code::kNotEqual:
        note_nan(std::isnan(top[-1]) || std::isnan(top[0]));
        top[-1] = top[-1] != top[0] ? 1.0 : 0.0;
        --top;
        break;
      // No number wins: a min or max that dropped it would hide it from
      // the comparisons and consumers that refuse it. A NaN first operand
      // fails the test and is kept; a NaN second operand is taken.
      case Code::kMin:
        top[-1] = top[0] < top[-1] || top[0] != top[0] ? top[0] : top[-1];
        --top;
        break;
      case Code::kMax:
        top[-1] = top[-1] < top[0] || top[0] != top[0] ? top[0] : top[-1];
        --top;
        break;
      case Code::kFloor:
        *top = std::floor(*top);
        break;
      case Code::kCeil:
        *top = std::ceil(*top);
        break;
      case Code::kAbs:
        *top = std::fabs(*top);
        break;
      case Code::kPow:
        top[-1] = std::pow(top[-1], top[0]);
        --top;
        break;
      case Code::kExp:
        *top = std::exp(*top);
        break;
      case Code::kLog:
        *top = std::log(*top);
        break;
      case Code::kInt32:
        if (!(*top >= -2147483648.0 && *top <= 2147483647.0)) {
          left_int32 = left_int32 || !std::isnan(*top);
          *top = kNaN;
        }
        break;
      case Code::kAndJump:
        note_nan(std::isnan(*top));
        if (*top == 0.0) {
          pc = static_cast<std::size_t>(instr.target);
        } else {
          --top;
        }
        break;
      case Code::kOrJump:
        note_nan(std::isnan(*top));
        if (*top != 0.0) {
          pc = static_cast<std::size_t>(instr.target);
        } else {
          --top;
        }
        break;
      case Code::kJumpIfFalse:
        note_nan(std::isnan(*top));
        if (*top-- == 0.0) pc = static_cast<std::size_t>(instr.target);
        break;
      case Code::kJump:
        pc = static_cast<std::size_t>(instr.target);
        break;
      case Code::kStore:
      case Code::kAddStore:
      case Code::kSubStore: {
        const double operand = *top--;
        const double current = *instr.mark;
        const double value = instr.code == Code::kStore ? operand
                             : instr.code == Code::kAddStore
                                 ? current + operand
                                 : current - operand;
        // NaN fails both comparisons and the whole-number test.
        if (!(value >= instr.low && value <= instr.high) ||
            value != std::floor(value)) {
          error_.place = instr.target;
          error_.value = value;
          nan_at_ = nan_at;
          left_int32_ = left_int32;
          return false;
        }
        *instr.mark = static_cast<short>(value);
        break;
      }
    }
  }
  *result = top >= base ? *top : 0.0;
  nan_at_ = nan_at;
  left_int32_ = left_int32;
  return true;
}

double Program::Evaluate() const {
  double result = 0.0;
  const bool ok = Run(&result);
  GEN_CHECK(ok);  // expressions hold no stores
  return result;
}

bool Program::Execute() const {
  double unused = 0.0;
  return Run(&unused);
}
