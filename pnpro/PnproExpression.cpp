#include "pnpro/PnproExpression.h"

#include <cctype>
#include <charconv>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

struct Typed {
  ExprPtr expr;
  ValueType type = ValueType::kInt;
};

bool IsNumber(ValueType type) { return type != ValueType::kBool; }

ValueType Arithmetic(ValueType a, ValueType b) {
  return a == ValueType::kInt && b == ValueType::kInt ? ValueType::kInt
                                                      : ValueType::kReal;
}

class Parser {
 public:
  Parser(const std::string& text, const PnproNames& names, bool real_field)
      : text_(text), names_(names), real_field_(real_field) {}

  PnproParse Run() {
    PnproParse result;
    Typed value = Equivalence();
    Skip();
    if (error_.empty() && at_ != text_.size()) {
      Fail("unexpected '" + text_.substr(at_, 10) + "'");
    }
    if (!error_.empty()) {
      result.error = error_ + " in \"" + text_ + "\"";
      return result;
    }
    result.expr = std::move(value.expr);
    result.type = value.type;
    result.reads_marking = reads_marking_;
    return result;
  }

 private:
  void Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
  }
  void Skip() {
    while (at_ < text_.size() &&
           std::isspace(static_cast<unsigned char>(text_[at_]))) {
      ++at_;
    }
  }
  bool Eat(const char* token) {
    Skip();
    const std::string t = token;
    if (text_.compare(at_, t.size(), t) != 0) return false;
    at_ += t.size();
    return true;
  }

  Typed Logic(Op op, Typed a, Typed b, const char* name) {
    if (a.type != ValueType::kBool || b.type != ValueType::kBool) {
      Fail(std::string("'") + name + "' needs two booleans");
      return {};
    }
    return {Binary(op, std::move(a.expr), std::move(b.expr)), ValueType::kBool};
  }

  Typed Equivalence() {
    Typed left = Implication();
    while (error_.empty() && Eat("<->")) {
      Typed right = Implication();
      if (!error_.empty()) return {};
      ExprPtr l = Clone(*left.expr);
      ExprPtr r = Clone(*right.expr);
      // a <-> b is (a && b) || (!a && !b)
      Typed both = Logic(Op::kAnd, std::move(left), std::move(right), "<->");
      if (!error_.empty()) return {};
      left = {Binary(Op::kOr, std::move(both.expr),
                     Binary(Op::kAnd, Unary(Op::kNot, std::move(l)),
                            Unary(Op::kNot, std::move(r)))),
              ValueType::kBool};
    }
    return left;
  }

  // Right associative, folded from the right without recursion.
  Typed Implication() {
    std::vector<Typed> operands;
    operands.push_back(Or());
    while (error_.empty() && Eat("->")) operands.push_back(Or());
    if (!error_.empty()) return {};
    Typed result = std::move(operands.back());
    for (std::size_t i = operands.size() - 1; i-- > 0;) {
      operands[i].expr = Unary(Op::kNot, std::move(operands[i].expr));
      result = Logic(Op::kOr, std::move(operands[i]), std::move(result), "->");
    }
    return result;
  }

  Typed Or() {
    Typed left = And();
    while (error_.empty() && Eat("||")) {
      left = Logic(Op::kOr, std::move(left), And(), "||");
    }
    return left;
  }

  Typed And() {
    Typed left = Not();
    while (error_.empty() && Eat("&&")) {
      left = Logic(Op::kAnd, std::move(left), Not(), "&&");
    }
    return left;
  }

  Typed Not() {
    Skip();
    if (text_.compare(at_, 1, "!") == 0 && text_.compare(at_, 2, "!=") != 0) {
      ++at_;
      if (++depth_ > 500) {
        Fail("the expression is nested too deeply");
        return {};
      }
      Typed operand = Not();
      --depth_;
      if (!error_.empty()) return {};
      if (operand.type != ValueType::kBool) {
        Fail("'!' needs a boolean");
        return {};
      }
      return {Unary(Op::kNot, std::move(operand.expr)), ValueType::kBool};
    }
    return Comparison();
  }

  Typed Comparison() {
    Typed left = Sum();
    static const std::pair<const char*, Op> kOps[] = {
        {"==", Op::kEqual},     {"!=", Op::kNotEqual},
        {"<=", Op::kLessEqual}, {">=", Op::kGreaterEqual},
        {"<", Op::kLess},       {">", Op::kGreater}};
    Skip();
    if (text_.compare(at_, 3, "<->") == 0) return left;
    for (const auto& [token, op] : kOps) {
      if (!error_.empty()) return {};
      if (Eat(token)) {
        Typed right = Sum();
        if (!error_.empty()) return {};
        if (IsNumber(left.type) != IsNumber(right.type) ||
            (!IsNumber(left.type) && op != Op::kEqual && op != Op::kNotEqual)) {
          Fail(std::string("'") + token + "' compares unlike values");
          return {};
        }
        return {Binary(op, std::move(left.expr), std::move(right.expr)),
                ValueType::kBool};
      }
    }
    return left;
  }

  // A leading minus negates the whole sum: -a+b is -(a+b).
  Typed Sum() {
    Skip();
    if (text_.compare(at_, 1, "-") == 0 && text_.compare(at_, 2, "->") != 0) {
      ++at_;
      if (++depth_ > 500) {
        Fail("the expression is nested too deeply");
        return {};
      }
      Typed operand = Sum();
      --depth_;
      if (!error_.empty()) return {};
      if (!IsNumber(operand.type)) {
        Fail("'-' needs a number");
        return {};
      }
      return {Unary(Op::kNegate, std::move(operand.expr)), operand.type};
    }
    Typed left = Product();
    while (error_.empty()) {
      Skip();
      Op op = Op::kNone;
      if (text_.compare(at_, 1, "+") == 0) op = Op::kAdd;
      if (text_.compare(at_, 1, "-") == 0 && text_.compare(at_, 2, "->") != 0) {
        op = Op::kSubtract;
      }
      if (op == Op::kNone) break;
      ++at_;
      Typed right = Product();
      left = Arith(op, std::move(left), std::move(right));
    }
    return left;
  }

  Typed Arith(Op op, Typed a, Typed b) {
    if (!error_.empty()) return {};
    if (!IsNumber(a.type) || !IsNumber(b.type)) {
      Fail(std::string("'") + OpName(op) + "' needs numbers");
      return {};
    }
    ValueType type = Arithmetic(a.type, b.type);
    if (op == Op::kDivide && type == ValueType::kInt && !real_field_) {
      op = Op::kIntDivide;
    }
    if (op == Op::kDivide) type = ValueType::kReal;
    return {Binary(op, std::move(a.expr), std::move(b.expr)), type};
  }

  Typed Product() {
    Typed left = Primary();
    while (error_.empty()) {
      Skip();
      Op op = Op::kNone;
      if (text_.compare(at_, 1, "*") == 0) op = Op::kMultiply;
      if (text_.compare(at_, 1, "/") == 0) op = Op::kDivide;
      if (op == Op::kNone) break;
      ++at_;
      left = Arith(op, std::move(left), Primary());
    }
    return left;
  }

  std::string Name() {
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[at_])) ||
            text_[at_] == '_')) {
      ++at_;
    }
    return text_.substr(start, at_ - start);
  }

  Typed Number() {
    const std::size_t start = at_;
    while (at_ < text_.size() &&
           std::isdigit(static_cast<unsigned char>(text_[at_]))) {
      ++at_;
    }
    bool real = false;
    if (at_ < text_.size() && text_[at_] == '.') {
      real = true;
      ++at_;
      const std::size_t digits = at_;
      while (at_ < text_.size() &&
             std::isdigit(static_cast<unsigned char>(text_[at_]))) {
        ++at_;
      }
      if (digits == at_) {
        Fail("a real needs digits after its dot");
        return {};
      }
      if (at_ < text_.size() && (text_[at_] == 'E' || text_[at_] == 'e')) {
        ++at_;
        if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-'))
          ++at_;
        const std::size_t exponent = at_;
        while (at_ < text_.size() &&
               std::isdigit(static_cast<unsigned char>(text_[at_]))) {
          ++at_;
        }
        if (exponent == at_) {
          Fail("an exponent needs digits");
          return {};
        }
      }
    }
    const std::string token = text_.substr(start, at_ - start);
    double value = 0.0;
    const auto parsed =
        std::from_chars(token.data(), token.data() + token.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != token.data() + token.size()) {
      Fail("bad number '" + token + "'");
      return {};
    }
    if (real) return {RealConstant(value), ValueType::kReal};
    if (value > 9e15) {
      Fail("number '" + token + "' too large");
      return {};
    }
    return {IntConstant(static_cast<long long>(value)), ValueType::kInt};
  }

  Typed Function(const std::string& name) {
    std::vector<Typed> args;
    if (!Eat("]")) {
      do {
        args.push_back(Equivalence());
        if (!error_.empty()) return {};
      } while (Eat(","));
      if (!Eat("]")) {
        Fail("missing ']' after the arguments of " + name);
        return {};
      }
    }
    auto want = [&](std::size_t count) {
      if (args.size() != count) {
        Fail(name + " takes " + std::to_string(count) + " arguments");
        return false;
      }
      for (std::size_t i = name == "If" ? 1 : 0; i < args.size(); ++i) {
        if (!IsNumber(args[i].type)) {
          Fail(name + " needs numbers");
          return false;
        }
      }
      return true;
    };
    auto call = [&](Op op, ValueType type) -> Typed {
      std::vector<ExprPtr> exprs;
      for (Typed& arg : args) exprs.push_back(std::move(arg.expr));
      return {Call(op, std::move(exprs)), type};
    };
    if (name == "If") {
      if (!want(3)) return {};
      if (args[0].type != ValueType::kBool) {
        Fail("If needs a boolean condition");
        return {};
      }
      const ValueType type = Arithmetic(args[1].type, args[2].type);
      return {Condition(std::move(args[0].expr), std::move(args[1].expr),
                        std::move(args[2].expr)),
              type};
    }
    if (name == "Min" || name == "Max") {
      if (!want(2)) return {};
      const ValueType type = Arithmetic(args[0].type, args[1].type);
      return call(name == "Min" ? Op::kMin : Op::kMax, type);
    }
    if (name == "Mod") {
      if (!want(2)) return {};
      if (args[0].type != ValueType::kInt || args[1].type != ValueType::kInt) {
        Fail("Mod needs integers");
        return {};
      }
      return {
          Binary(Op::kModulo, std::move(args[0].expr), std::move(args[1].expr)),
          ValueType::kInt};
    }
    if (name == "Fract") {
      if (!want(2)) return {};
      return {
          Binary(Op::kDivide, std::move(args[0].expr), std::move(args[1].expr)),
          ValueType::kReal};
    }
    if (name == "Pow") {
      if (!want(2)) return {};
      return call(Op::kPow, ValueType::kReal);
    }
    if (name == "Abs") {
      if (!want(1)) return {};
      const ValueType type = args[0].type;
      return call(Op::kAbs, type);
    }
    if (name == "Ceil" || name == "Floor") {
      if (!want(1)) return {};
      return call(name == "Ceil" ? Op::kCeil : Op::kFloor, ValueType::kInt);
    }
    if (name == "Round") {
      if (!want(1)) return {};
      std::vector<ExprPtr> exprs;
      exprs.push_back(
          Binary(Op::kAdd, std::move(args[0].expr), RealConstant(0.5)));
      return {Call(Op::kFloor, std::move(exprs)), ValueType::kInt};
    }
    if (name == "Sqrt") {
      if (!want(1)) return {};
      args.push_back({RealConstant(0.5), ValueType::kReal});
      return call(Op::kPow, ValueType::kReal);
    }
    if (name == "Exp") {
      if (!want(1)) return {};
      return call(Op::kExp, ValueType::kReal);
    }
    Fail("function " + name + "[...] is not supported");
    return {};
  }

  Typed Primary() {
    Skip();
    if (!error_.empty()) return {};
    // Deeper nesting is refused rather than risking the stack, and so is a
    // longer expression: a flat chain is a tree as deep as it is long, and
    // later stages recurse once per level (see ExprDepth).
    if (++calls_ > kMaxExpressionDepth || depth_ > 500) {
      Fail("the expression is too long or nested too deeply");
      return {};
    }
    struct Nest {
      int& depth;
      explicit Nest(int& d) : depth(++d) {}
      ~Nest() { --depth; }
    } nest(depth_);
    if (at_ >= text_.size()) {
      Fail("the expression ends too early");
      return {};
    }
    const char c = text_[at_];
    if (c == '(') {
      ++at_;
      Typed inner = Equivalence();
      if (error_.empty() && !Eat(")")) Fail("missing ')'");
      return inner;
    }
    if (c == '-') {
      ++at_;
      Typed operand = Primary();
      if (!error_.empty()) return {};
      if (!IsNumber(operand.type)) {
        Fail("'-' needs a number");
        return {};
      }
      return {Unary(Op::kNegate, std::move(operand.expr)), operand.type};
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.')
      return Number();
    if (c == '#') {
      ++at_;
      const std::string place = Name();
      if (place.empty() || !names_.place(place)) {
        Fail("'#" + place + "' names no place");
        return {};
      }
      reads_marking_ = true;
      return {NameRef(place), ValueType::kInt};
    }
    const std::string name = Name();
    if (name.empty()) {
      Fail(std::string("unexpected '") + c + "'");
      return {};
    }
    if (Eat("[")) return Function(name);
    if (name == "True" || name == "False") {
      return {BoolConstant(name == "True"), ValueType::kBool};
    }
    const std::optional<ValueType> type = names_.constant(name);
    if (!type) {
      Fail(names_.place(name) ? "place '" + name + "' needs '#' for its marking"
                              : "unknown name '" + name + "'");
      return {};
    }
    return {NameRef(name), *type};
  }

  const std::string& text_;
  const PnproNames& names_;
  const bool real_field_;
  std::size_t at_ = 0;
  std::string error_;
  bool reads_marking_ = false;
  int depth_ = 0;
  std::size_t calls_ = 0;
};

}  // namespace

PnproParse ParsePnproExpression(const std::string& text,
                                const PnproNames& names, bool real_field) {
  return Parser(text, names, real_field).Run();
}
