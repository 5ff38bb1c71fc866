#include "prism/PrismParser.h"

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <set>
#include <utility>

#include "prism/PrismLexer.h"

namespace {

// `node` with the operator as the file wrote it, for messages: `=` is our
// `==`, `&` our `and`, and `=>` and `round` are written with other operators.
ExprPtr Spelt(const char* spelling, ExprPtr node) {
  node->name = spelling;
  return node;
}

// Words that never name a constant, variable, formula or module.
const std::set<std::string>& Keywords() {
  static const std::set<std::string> kWords = {"A",
                                               "C",
                                               "E",
                                               "F",
                                               "G",
                                               "I",
                                               "P",
                                               "R",
                                               "S",
                                               "U",
                                               "W",
                                               "X",
                                               "bool",
                                               "clock",
                                               "const",
                                               "ctmc",
                                               "double",
                                               "dtmc",
                                               "endinit",
                                               "endmodule",
                                               "endrewards",
                                               "endsystem",
                                               "false",
                                               "formula",
                                               "func",
                                               "global",
                                               "init",
                                               "int",
                                               "invariant",
                                               "label",
                                               "mdp",
                                               "module",
                                               "nondeterministic",
                                               "observables",
                                               "pomdp",
                                               "popta",
                                               "prob",
                                               "probabilistic",
                                               "pta",
                                               "rate",
                                               "rewards",
                                               "smg",
                                               "stochastic",
                                               "system",
                                               "func",
                                               "true",
                                               "min",
                                               "max",
                                               "filter"};
  return kWords;
}

// Functions by name; log and mod are rewritten, round too.
const std::set<std::string>& Functions() {
  static const std::set<std::string> kNames = {"min",   "max", "floor", "ceil",
                                               "round", "pow", "mod",   "log"};
  return kNames;
}

class Parser {
 public:
  Parser(const std::string& text, const std::string& file_name,
         std::vector<Diagnostic>* errors)
      : text_(text), file_(file_name), errors_(errors) {}

  bool Lex() {
    PrismToken bad;
    if (LexPrism(text_, &tokens_, &bad)) return true;
    errors_->push_back({{file_, bad.line, bad.column}, bad.text});
    return false;
  }

  bool Model(PrismModelFile* model);
  bool Properties(PrismPropertyFile* file);

 private:
  const PrismToken& Peek(std::size_t ahead = 0) const {
    const std::size_t at = std::min(next_ + ahead, tokens_.size() - 1);
    return tokens_[at];
  }
  SourceLocation Here() const { return {file_, Peek().line, Peek().column}; }
  bool Failed() const { return !errors_->empty(); }
  bool Fail(const SourceLocation& where, const std::string& message) {
    if (!Failed()) errors_->push_back({where, message});
    return false;
  }
  bool FailHere(const std::string& message) { return Fail(Here(), message); }
  std::string Describe(const PrismToken& token) const {
    switch (token.kind) {
      case PrismToken::Kind::kEnd:
        return general_ ? "the end of the property" : "the end of the file";
      case PrismToken::Kind::kString:
        return "\"" + token.text + "\"";
      default:
        return "'" + token.text + "'";
    }
  }
  bool IsSymbol(const char* symbol, std::size_t ahead = 0) const {
    return Peek(ahead).kind == PrismToken::Kind::kSymbol &&
           Peek(ahead).text == symbol;
  }
  bool IsWord(const char* word, std::size_t ahead = 0) const {
    return Peek(ahead).kind == PrismToken::Kind::kIdentifier &&
           Peek(ahead).text == word;
  }
  bool Accept(const char* symbol) {
    if (!IsSymbol(symbol)) return false;
    ++next_;
    return true;
  }
  bool AcceptWord(const char* word) {
    if (!IsWord(word)) return false;
    ++next_;
    return true;
  }
  bool Expect(const char* symbol) {
    if (Accept(symbol)) return true;
    return FailHere(std::string("expected '") + symbol + "', found " +
                    Describe(Peek()));
  }
  // The ";" that ends a declaration. A property file may leave it out
  // where the next item starts on a new line, or at the end of the file.
  bool EndOfDeclaration() {
    if (Accept(";")) return true;
    if (in_properties_ && next_ > 0 &&
        (Peek().kind == PrismToken::Kind::kEnd ||
         Peek().line > tokens_[next_ - 1].line)) {
      return true;
    }
    return Expect(";");
  }
  // Whether the token at `at` starts an item of a property file without a
  // ";" before it: it opens a line, the line before does not end in an
  // operator that wants more, and it is a declaration's keyword, an
  // operator of properties or a property's name.
  bool StartsItemOnNewLine(std::size_t at) const;
  bool ExpectWord(const char* word) {
    if (AcceptWord(word)) return true;
    return FailHere(std::string("expected '") + word + "', found " +
                    Describe(Peek()));
  }
  std::optional<std::string> Name(const char* what) {
    const PrismToken& token = Peek();
    if (token.kind != PrismToken::Kind::kIdentifier) {
      FailHere(std::string("expected ") + what + ", found " + Describe(token));
      return std::nullopt;
    }
    if (Keywords().count(token.text) != 0) {
      FailHere("'" + token.text + "' is a keyword and cannot be " + what);
      return std::nullopt;
    }
    ++next_;
    return token.text;
  }
  std::optional<std::string> QuotedName() {
    if (Peek().kind != PrismToken::Kind::kString) {
      FailHere("expected a quoted name, found " + Describe(Peek()));
      return std::nullopt;
    }
    return tokens_[next_++].text;
  }

  bool ModelType();
  bool Constant(std::vector<PrismConstant>* into);
  bool Definition(std::vector<PrismDefinition>* into, bool label);
  bool Variable(PrismVariable* variable);
  bool Module(PrismModelFile* model);
  bool Command(PrismCommand* command);
  bool Update(PrismUpdate* update);
  bool Rewards(PrismModelFile* model);
  bool Property(PrismPropertyFile* file);
  bool TimeBound(PrismTimeBound* bound);
  // A time bound's value after its operator.
  ExprPtr TimeValue();

  // Whether a chain of depth *depth (kUncounted before its first join)
  // may join `right` to `left` at `where`, counting the join; fails past
  // kMaxExpressionDepth, as copying, resolving and freeing an expression
  // recurse once per level.
  static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
  bool Deepen(const Expr& left, const Expr& right, const SourceLocation& where,
              std::size_t* depth);

  ExprPtr Expression();
  ExprPtr Choice();
  ExprPtr Implication();
  // One left-associative level: operands read by `operand`, joined by any
  // of the (symbol, operator) pairs of `joins`.
  ExprPtr LeftAssociative(
      ExprPtr (Parser::*operand)(),
      std::initializer_list<std::pair<const char*, Op>> joins);
  // One prefix level: any number of `symbol`s, each applying `op`, before
  // an operand read by `operand`.
  ExprPtr Prefix(const char* symbol, Op op, ExprPtr (Parser::*operand)());
  ExprPtr Equivalence();
  ExprPtr Disjunction();
  ExprPtr Conjunction();
  ExprPtr Negation();
  ExprPtr Equality();
  ExprPtr Relation();
  ExprPtr Sum();
  ExprPtr Product();
  ExprPtr Power();
  ExprPtr Sign();
  ExprPtr Primary();
  ExprPtr FunctionCall(const std::string& name, const SourceLocation& where);
  // Whether `word` starts an operator of properties (P, S, R, E, A, X, F,
  // G, filter, multi) when read with general_.
  static bool IsPropertyOperator(const std::string& word);
  // One operator of properties after its word, read for its syntax only:
  // it stands for a Boolean placeholder.
  ExprPtr PropertyOperator(const SourceLocation& where);

  const std::string& text_;
  std::string file_;
  std::vector<Diagnostic>* errors_;
  std::vector<PrismToken> tokens_;
  std::size_t next_ = 0;
  bool typed_ = false;
  bool in_properties_ = false;  // reading a property file
  int nesting_ = 0;             // expressions being read inside each other
  // Reading a property of no supported form, to check its syntax: the
  // operators of properties are read too (PropertyOperator).
  bool general_ = false;
};

bool Parser::ModelType() {
  const PrismToken& token = Peek();
  if (token.text != "ctmc" && token.text != "stochastic") {
    return FailHere("model type '" + token.text +
                    "' is not supported; only ctmc is read");
  }
  if (typed_) return FailHere("a second model type");
  typed_ = true;
  ++next_;
  return true;
}

bool Parser::Model(PrismModelFile* model) {
  static const std::set<std::string> kTypes = {"ctmc",  "stochastic",
                                               "dtmc",  "probabilistic",
                                               "mdp",   "nondeterministic",
                                               "pta",   "pomdp",
                                               "popta", "smg"};
  static const std::set<std::string> kRefused = {"system", "clock", "invariant",
                                                 "observables"};
  while (!Failed() && Peek().kind != PrismToken::Kind::kEnd) {
    const PrismToken& token = Peek();
    if (token.kind != PrismToken::Kind::kIdentifier) {
      FailHere("expected a declaration, found " + Describe(token));
    } else if (kTypes.count(token.text) != 0) {
      ModelType();
    } else if (kRefused.count(token.text) != 0) {
      FailHere("'" + token.text + "' is not supported");
    } else if (token.text == "const" || token.text == "rate" ||
               token.text == "prob") {
      Constant(&model->constants);
    } else if (token.text == "global") {
      ++next_;
      PrismVariable variable;
      if (Variable(&variable)) model->globals.push_back(std::move(variable));
    } else if (token.text == "formula") {
      Definition(&model->formulas, false);
    } else if (token.text == "label") {
      Definition(&model->labels, true);
    } else if (token.text == "module") {
      Module(model);
    } else if (token.text == "rewards") {
      Rewards(model);
    } else if (token.text == "init") {
      if (model->init) {
        FailHere("a second init ... endinit");
        break;
      }
      model->init_where = Here();
      ++next_;
      model->init = Expression();
      if (model->init) ExpectWord("endinit");
    } else {
      FailHere("expected a declaration, found " + Describe(token));
    }
  }
  if (!Failed() && !typed_) {
    return Fail({file_, 1, 1}, "no model type; only ctmc is read");
  }
  return !Failed();
}

bool Parser::Constant(std::vector<PrismConstant>* into) {
  PrismConstant constant;
  constant.where = Here();
  const std::string word = tokens_[next_++].text;
  constant.type = word == "const" ? ValueType::kInt : ValueType::kReal;
  if (word == "const") {
    if (AcceptWord("double")) {
      constant.type = ValueType::kReal;
    } else if (AcceptWord("bool")) {
      constant.type = ValueType::kBool;
    } else {
      AcceptWord("int");
    }
  }
  const std::optional<std::string> name = Name("a constant name");
  if (!name) return false;
  constant.name = *name;
  if (Accept("=")) {
    constant.value = Expression();
    if (!constant.value) return false;
  }
  if (!EndOfDeclaration()) return false;
  into->push_back(std::move(constant));
  return true;
}

bool Parser::Definition(std::vector<PrismDefinition>* into, bool label) {
  PrismDefinition definition;
  ++next_;
  definition.where = Here();
  std::optional<std::string> name =
      label ? QuotedName() : Name("a formula name");
  if (!name) return false;
  definition.name = *name;
  if (!Expect("=")) return false;
  definition.body = Expression();
  if (!definition.body) return false;
  // The last one of a file may go without its semicolon.
  if (Peek().kind != PrismToken::Kind::kEnd && !EndOfDeclaration()) {
    return false;
  }
  into->push_back(std::move(definition));
  return true;
}

bool Parser::Variable(PrismVariable* variable) {
  variable->where = Here();
  const std::optional<std::string> name = Name("a variable name");
  if (!name || !Expect(":")) return false;
  variable->name = *name;
  if (AcceptWord("bool")) {
    variable->is_bool = true;
  } else if (Accept("[")) {
    variable->low = Expression();
    if (!variable->low || !Expect("..")) return false;
    variable->high = Expression();
    if (!variable->high || !Expect("]")) return false;
  } else if (IsWord("int")) {
    return FailHere("unbounded int variable '" + *name +
                    "' is not supported; give it a range [low..high]");
  } else {
    return FailHere("expected a type, found " + Describe(Peek()));
  }
  if (AcceptWord("init")) {
    variable->init = Expression();
    if (!variable->init) return false;
  }
  return Expect(";");
}

bool Parser::Module(PrismModelFile* model) {
  PrismModule module;
  ++next_;
  module.where = Here();
  const std::optional<std::string> name = Name("a module name");
  if (!name) return false;
  module.name = *name;
  if (Accept("=")) {
    const std::optional<std::string> base = Name("a module name");
    if (!base || !Expect("[")) return false;
    module.base = *base;
    do {
      const SourceLocation where = Here();
      const std::optional<std::string> from = Name("a name to rename");
      if (!from || !Expect("=")) return false;
      const std::optional<std::string> to = Name("a new name");
      if (!to) return false;
      module.renames.push_back({*from, *to, where});
    } while (Accept(","));
    if (!Expect("]") || !ExpectWord("endmodule")) return false;
    model->modules.push_back(std::move(module));
    return true;
  }
  while (!Failed() && !AcceptWord("endmodule")) {
    if (IsSymbol("[")) {
      PrismCommand command;
      if (Command(&command)) module.commands.push_back(std::move(command));
    } else if (Peek().kind == PrismToken::Kind::kIdentifier &&
               Keywords().count(Peek().text) == 0) {
      PrismVariable variable;
      if (Variable(&variable)) module.variables.push_back(std::move(variable));
    } else {
      FailHere("expected a variable, a command or 'endmodule', found " +
               Describe(Peek()));
    }
  }
  if (Failed()) return false;
  model->modules.push_back(std::move(module));
  return true;
}

bool Parser::Command(PrismCommand* command) {
  command->where = Here();
  Expect("[");
  if (!IsSymbol("]")) {
    const std::optional<std::string> action = Name("an action name");
    if (!action) return false;
    command->action = *action;
  }
  if (!Expect("]")) return false;
  command->guard = Expression();
  if (!command->guard || !Expect("->")) return false;
  do {
    PrismUpdate update;
    if (!Update(&update)) return false;
    command->updates.push_back(std::move(update));
  } while (Accept("+"));
  return Expect(";");
}

bool Parser::Update(PrismUpdate* update) {
  update->where = Here();
  const bool bare_assignment = IsSymbol("(") &&
                               Peek(1).kind == PrismToken::Kind::kIdentifier &&
                               IsSymbol("'", 2);
  const bool bare_true =
      IsWord("true") && (IsSymbol(";", 1) || IsSymbol("+", 1));
  if (!bare_assignment && !bare_true) {
    update->rate = Expression();
    if (!update->rate || !Expect(":")) return false;
  }
  if (AcceptWord("true")) return true;
  do {
    PrismAssignment assignment;
    assignment.where = Here();
    if (!Expect("(")) return false;
    const std::optional<std::string> name = Name("a variable name");
    if (!name || !Expect("'") || !Expect("=")) return false;
    assignment.variable = *name;
    assignment.value = Expression();
    if (!assignment.value || !Expect(")")) return false;
    update->assignments.push_back(std::move(assignment));
  } while (Accept("&"));
  return true;
}

bool Parser::Rewards(PrismModelFile* model) {
  PrismRewards rewards;
  ++next_;
  rewards.where = Here();
  if (Peek().kind == PrismToken::Kind::kString) rewards.name = *QuotedName();
  while (!Failed() && !AcceptWord("endrewards")) {
    PrismRewardItem item;
    item.where = Here();
    if (Accept("[")) {
      item.transition = true;
      if (!IsSymbol("]")) {
        const std::optional<std::string> action = Name("an action name");
        if (!action) return false;
        item.action = *action;
      }
      if (!Expect("]")) return false;
    }
    item.guard = Expression();
    if (!item.guard || !Expect(":")) return false;
    item.value = Expression();
    if (!item.value || !Expect(";")) return false;
    rewards.items.push_back(std::move(item));
  }
  if (Failed()) return false;
  model->rewards.push_back(std::move(rewards));
  return true;
}

// Expressions, loosest first.

// Deeper expressions are refused rather than risking the stack.
constexpr int kMaxNesting = 200;

ExprPtr Parser::Expression() {
  if (nesting_ >= kMaxNesting) {
    FailHere("expression nested more than " + std::to_string(kMaxNesting) +
             " levels deep");
    return nullptr;
  }
  ++nesting_;
  ExprPtr result = Choice();
  --nesting_;
  return result;
}

ExprPtr Parser::Choice() {
  const SourceLocation where = Here();
  ExprPtr test = Implication();
  if (!test || !Accept("?")) return test;
  ExprPtr then_value = Expression();
  if (!then_value || !Expect(":")) return nullptr;
  ExprPtr else_value = Expression();
  if (!else_value) return nullptr;
  return Condition(std::move(test), std::move(then_value),
                   std::move(else_value), where);
}

ExprPtr Parser::Implication() {
  ExprPtr left = Equivalence();
  // Until, weak until and release, with their time bounds.
  while (general_ && left && (IsWord("U") || IsWord("W") || IsWord("R"))) {
    ++next_;
    PrismTimeBound bound;
    if (!TimeBound(&bound) || !Equivalence()) return nullptr;
  }
  if (!left || !IsSymbol("=>")) return left;
  const SourceLocation arrow = Here();
  ++next_;
  // Right-associative: each => reads the rest one level deeper.
  if (nesting_ >= kMaxNesting) {
    FailHere("expression nested more than " + std::to_string(kMaxNesting) +
             " levels deep");
    return nullptr;
  }
  ++nesting_;
  ExprPtr right = Implication();
  --nesting_;
  if (!right) return nullptr;
  return Spelt(
      "=>",
      Binary(Op::kOr, Spelt("=>", Unary(Op::kNot, std::move(left), arrow)),
             std::move(right), arrow));
}

bool Parser::Deepen(const Expr& left, const Expr& right,
                    const SourceLocation& where, std::size_t* depth) {
  if (*depth == kUncounted) *depth = ExprDepth(left);
  *depth = std::max(*depth, ExprDepth(right)) + 1;
  if (*depth <= kMaxExpressionDepth) return true;
  Fail(where, "expression more than " + std::to_string(kMaxExpressionDepth) +
                  " operators deep (a long chain can be split with brackets "
                  "or formulas)");
  return false;
}

ExprPtr Parser::LeftAssociative(
    ExprPtr (Parser::*operand)(),
    std::initializer_list<std::pair<const char*, Op>> joins) {
  ExprPtr left = (this->*operand)();
  std::size_t depth = kUncounted;
  while (left) {
    const std::pair<const char*, Op>* join = nullptr;
    for (const std::pair<const char*, Op>& candidate : joins) {
      if (IsSymbol(candidate.first)) {
        join = &candidate;
        break;
      }
    }
    if (join == nullptr) break;
    const SourceLocation where = Here();
    ++next_;
    ExprPtr right = (this->*operand)();
    if (!right) return nullptr;
    if (!Deepen(*left, *right, where, &depth)) return nullptr;
    left = Spelt(join->first, Binary(join->second, std::move(left),
                                     std::move(right), where));
  }
  return left;
}

ExprPtr Parser::Equivalence() {
  return LeftAssociative(&Parser::Disjunction, {{"<=>", Op::kEqual}});
}

ExprPtr Parser::Disjunction() {
  return LeftAssociative(&Parser::Conjunction, {{"|", Op::kOr}});
}

ExprPtr Parser::Prefix(const char* symbol, Op op,
                       ExprPtr (Parser::*operand)()) {
  if (!IsSymbol(symbol)) return (this->*operand)();
  const SourceLocation where = Here();
  ++next_;
  if (nesting_ >= kMaxNesting) {
    FailHere("expression nested more than " + std::to_string(kMaxNesting) +
             " levels deep");
    return nullptr;
  }
  ++nesting_;
  ExprPtr inner = Prefix(symbol, op, operand);
  --nesting_;
  if (!inner) return nullptr;
  return Spelt(symbol, Unary(op, std::move(inner), where));
}

ExprPtr Parser::Conjunction() {
  return LeftAssociative(&Parser::Negation, {{"&", Op::kAnd}});
}

ExprPtr Parser::Negation() { return Prefix("!", Op::kNot, &Parser::Equality); }

ExprPtr Parser::Equality() {
  return LeftAssociative(&Parser::Relation,
                         {{"=", Op::kEqual}, {"!=", Op::kNotEqual}});
}

ExprPtr Parser::Relation() {
  return LeftAssociative(&Parser::Sum, {{"<", Op::kLess},
                                        {"<=", Op::kLessEqual},
                                        {">", Op::kGreater},
                                        {">=", Op::kGreaterEqual}});
}

ExprPtr Parser::Sum() {
  return LeftAssociative(&Parser::Product,
                         {{"+", Op::kAdd}, {"-", Op::kSubtract}});
}

ExprPtr Parser::Product() {
  return LeftAssociative(&Parser::Power,
                         {{"*", Op::kMultiply}, {"/", Op::kDivide}});
}

ExprPtr Parser::Power() {
  ExprPtr left = Sign();
  std::size_t depth = kUncounted;
  while (left && IsSymbol("^")) {
    const SourceLocation where = Here();
    ++next_;
    ExprPtr right = Sign();
    if (!right || !Deepen(*left, *right, where, &depth)) return nullptr;
    std::vector<ExprPtr> args;
    args.push_back(std::move(left));
    args.push_back(std::move(right));
    left = Spelt("^", Call(Op::kPow, std::move(args), where));
  }
  return left;
}

ExprPtr Parser::Sign() { return Prefix("-", Op::kNegate, &Parser::Primary); }

ExprPtr Parser::Primary() {
  const SourceLocation where = Here();
  const PrismToken token = Peek();
  switch (token.kind) {
    case PrismToken::Kind::kInteger: {
      ++next_;
      errno = 0;
      const long long value = std::strtoll(token.text.c_str(), nullptr, 10);
      if (errno != 0 || value > 2147483647LL) {
        FailHere("integer " + token.text + " is too large");
        return nullptr;
      }
      return IntConstant(value, where);
    }
    case PrismToken::Kind::kDouble:
      ++next_;
      return RealConstant(std::strtod(token.text.c_str(), nullptr), where);
    case PrismToken::Kind::kString:
      ++next_;
      return NameRef("\"" + token.text + "\"", where);
    case PrismToken::Kind::kSymbol:
      if (Accept("(")) {
        ExprPtr inner = Expression();
        if (!inner || !Expect(")")) return nullptr;
        return inner;
      }
      break;
    case PrismToken::Kind::kIdentifier:
      if (general_ && IsPropertyOperator(token.text)) {
        return PropertyOperator(where);
      }
      if (token.text == "true" || token.text == "false") {
        ++next_;
        return BoolConstant(token.text == "true", where);
      }
      if (token.text == "func" && IsSymbol("(", 1)) {
        next_ += 2;
        const PrismToken function = Peek();
        if (function.kind != PrismToken::Kind::kIdentifier ||
            Functions().count(function.text) == 0) {
          FailHere("expected a function name, found " + Describe(function));
          return nullptr;
        }
        ++next_;
        if (!Expect(",")) return nullptr;
        --next_;  // the argument list continues as after "name("
        return FunctionCall(function.text, where);
      }
      if (Functions().count(token.text) != 0 && IsSymbol("(", 1)) {
        ++next_;
        return FunctionCall(token.text, where);
      }
      if (Keywords().count(token.text) == 0) {
        ++next_;
        return NameRef(token.text, where);
      }
      break;
    case PrismToken::Kind::kEnd:
      break;
  }
  FailHere("expected an expression, found " + Describe(token));
  return nullptr;
}

// After the function's name: "(" args ")", or the "," of func(name, args).
ExprPtr Parser::FunctionCall(const std::string& name,
                             const SourceLocation& where) {
  ++next_;  // "(" or ","
  std::vector<ExprPtr> args;
  do {
    ExprPtr arg = Expression();
    if (!arg) return nullptr;
    args.push_back(std::move(arg));
  } while (Accept(","));
  if (!Expect(")")) return nullptr;
  const std::size_t count = args.size();
  const bool two = name == "pow" || name == "mod" || name == "log";
  const bool many = name == "min" || name == "max";
  if ((many && count < 2) || (two && count != 2) ||
      (!many && !two && count != 1)) {
    Fail(where, "'" + name + "' takes " +
                    (many  ? std::string("two or more arguments")
                     : two ? std::string("two arguments")
                           : std::string("one argument")) +
                    ", not " + std::to_string(count));
    return nullptr;
  }
  if (name == "min" || name == "max") {
    return Call(name == "min" ? Op::kMin : Op::kMax, std::move(args), where);
  }
  if (name == "pow") return Call(Op::kPow, std::move(args), where);
  if (name == "floor" || name == "ceil") {
    return Call(name == "floor" ? Op::kFloor : Op::kCeil, std::move(args),
                where);
  }
  if (name == "round") {
    // Ties go up: floor(x), plus 1 where x lies at least halfway to the next
    // whole number. (floor(x + 0.5) would be wrong where x + 0.5 rounds up,
    // as for the largest double below 0.5.) x - floor(x) is exact.
    std::vector<ExprPtr> x;
    x.push_back(std::move(args[0]));
    ExprPtr floor = Spelt("round", Call(Op::kFloor, std::move(x), where));
    ExprPtr fraction = Spelt(
        "round",
        Binary(Op::kSubtract, Clone(*floor->args[0]), Clone(*floor), where));
    ExprPtr up = Spelt("round", Binary(Op::kGreaterEqual, std::move(fraction),
                                       RealConstant(0.5, where), where));
    ExprPtr next =
        Binary(Op::kAdd, Clone(*floor), IntConstant(1, where), where);
    return Spelt("round", Condition(std::move(up), std::move(next),
                                    std::move(floor), where));
  }
  if (name == "log") {
    std::vector<ExprPtr> x;
    x.push_back(std::move(args[0]));
    std::vector<ExprPtr> base;
    base.push_back(std::move(args[1]));
    return Binary(Op::kDivide, Call(Op::kLog, std::move(x), where),
                  Call(Op::kLog, std::move(base), where), where);
  }
  // mod(i, n) lies in 0..n-1: ((i mod n) + n) mod n with truncating mod.
  ExprPtr n = std::move(args[1]);
  ExprPtr n2 = Clone(*n);
  ExprPtr n3 = Clone(*n);
  return Binary(
      Op::kModulo,
      Binary(Op::kAdd,
             Binary(Op::kModulo, std::move(args[0]), std::move(n), where),
             std::move(n2), where),
      std::move(n3), where);
}

// Properties.

bool Parser::IsPropertyOperator(const std::string& word) {
  static const std::set<std::string> kWords = {
      "P", "Pmin", "Pmax", "S", "R", "Rmin",   "Rmax",
      "E", "A",    "X",    "F", "G", "filter", "multi"};
  return kWords.count(word) != 0;
}

ExprPtr Parser::PropertyOperator(const SourceLocation& where) {
  if (nesting_ >= kMaxNesting) {
    FailHere("expression nested more than " + std::to_string(kMaxNesting) +
             " levels deep");
    return nullptr;
  }
  struct Nested {
    int& depth;
    explicit Nested(int& d) : depth(d) { ++depth; }
    ~Nested() { --depth; }
  } nested(nesting_);
  const std::string op = tokens_[next_++].text;
  ExprPtr placeholder = BoolConstant(true, where);
  if (op == "X" || op == "F" || op == "G") {
    PrismTimeBound bound;
    if (!TimeBound(&bound) || !Negation()) return nullptr;
    return placeholder;
  }
  if (op == "filter" || op == "multi") {
    if (!Expect("(")) return nullptr;
    if (op == "filter") {
      // The operation: a name (min, forall, print, ...) or + & |.
      if (Peek().kind != PrismToken::Kind::kIdentifier && !IsSymbol("+") &&
          !IsSymbol("&") && !IsSymbol("|")) {
        FailHere("expected a filter operation, found " + Describe(Peek()));
        return nullptr;
      }
      ++next_;
      if (!Expect(",")) return nullptr;
    }
    do {
      if (!Expression()) return nullptr;
    } while (Accept(","));
    return Expect(")") ? std::move(placeholder) : nullptr;
  }
  // Braces hold a reward structure, or an old-style filter before "]":
  // an expression, or min or max.
  auto braces = [&]() {
    while (Accept("{")) {
      if (!AcceptWord("min") && !AcceptWord("max") && !Expression()) {
        return false;
      }
      if (!Expect("}")) return false;
    }
    return true;
  };
  const bool reward = op[0] == 'R';
  if (reward && !braces()) return nullptr;
  if (op.size() == 1 && !AcceptWord("min")) AcceptWord("max");
  if (op != "E" && op != "A") {
    if (Accept("=")) {
      if (!Expect("?")) return nullptr;
    } else if (Accept("<=") || Accept("<") || Accept(">=") || Accept(">")) {
      if (!Sum()) return nullptr;
    } else {
      FailHere("expected '=?' or a bound after " + op + ", found " +
               Describe(Peek()));
      return nullptr;
    }
  }
  if (!Expect("[")) return nullptr;
  if (reward && AcceptWord("C")) {
    PrismTimeBound bound;  // C alone: the total reward
    if (!TimeBound(&bound)) return nullptr;
  } else if (reward && AcceptWord("I")) {
    if (!Expect("=") || !TimeValue()) return nullptr;
  } else if (!(reward && AcceptWord("S"))) {
    if (reward) AcceptWord("Fc");
    if (!Expression()) return nullptr;
  }
  if (!braces()) return nullptr;
  return Expect("]") ? std::move(placeholder) : nullptr;
}

ExprPtr Parser::TimeValue() {
  // A bound is a product of numbers, names and bracketed expressions
  // (T*3600), so that the formula after it is not read as part of it:
  // no formula starts with * or /, while + and - could.
  if (IsSymbol("(") || Peek().kind == PrismToken::Kind::kInteger ||
      Peek().kind == PrismToken::Kind::kDouble ||
      Peek().kind == PrismToken::Kind::kIdentifier) {
    return Product();
  }
  FailHere("expected a time bound, found " + Describe(Peek()));
  return nullptr;
}

bool Parser::TimeBound(PrismTimeBound* bound) {
  if (Accept("<=") || Accept("<")) {
    bound->high = TimeValue();
    return bound->high != nullptr;
  }
  if (Accept(">=") || Accept(">")) {
    bound->low = TimeValue();
    return bound->low != nullptr;
  }
  if (Accept("=")) {
    bound->high = TimeValue();
    if (!bound->high) return false;
    bound->low = Clone(*bound->high);
    return true;
  }
  if (IsSymbol("[")) {
    ++next_;
    bound->low = Expression();
    if (!bound->low || !Expect(",")) return false;
    bound->high = Expression();
    return bound->high && Expect("]");
  }
  return true;
}

bool Parser::Property(PrismPropertyFile* file) {
  PrismProperty property;
  property.name_where = Here();
  if (Peek().kind == PrismToken::Kind::kString && IsSymbol(":", 1)) {
    property.name = Peek().text;
    next_ += 2;
  }
  property.where = Here();
  const std::size_t first = next_;
  // The property's extent: up to a ";" outside brackets, the start of the
  // next item on a new line, or the end.
  std::size_t end = next_;
  int depth = 0;
  while (tokens_[end].kind != PrismToken::Kind::kEnd &&
         !(depth == 0 && tokens_[end].kind == PrismToken::Kind::kSymbol &&
           tokens_[end].text == ";") &&
         !(depth == 0 && end > first && StartsItemOnNewLine(end))) {
    const std::string& t = tokens_[end].text;
    if (tokens_[end].kind == PrismToken::Kind::kSymbol) {
      if (t == "(" || t == "[" || t == "{") ++depth;
      if (t == ")" || t == "]" || t == "}") --depth;
    }
    if (depth < 0) break;
    ++end;
  }
  if (depth != 0 || end == first) {
    next_ = end;
    return FailHere(end == first
                        ? "expected a property, found " + Describe(Peek())
                        : "unbalanced brackets in the property");
  }
  {
    // The text as written, from its first to its last token.
    auto offset = [&](const PrismToken& token) {
      std::size_t at = 0;
      for (int line = 1; line < token.line; ++line) {
        at = text_.find('\n', at) + 1;
      }
      return at + static_cast<std::size_t>(token.column - 1);
    };
    const PrismToken& last = tokens_[end - 1];
    const std::size_t begin_at = offset(tokens_[first]);
    std::size_t end_at = offset(last) + last.text.size();
    if (last.kind == PrismToken::Kind::kString) end_at += 2;
    property.text = text_.substr(begin_at, end_at - begin_at);
  }
  // Try the supported forms; whatever does not match stays unsupported.
  std::vector<Diagnostic> quiet;
  std::vector<Diagnostic>* saved = errors_;
  errors_ = &quiet;
  const std::string op = Peek().text;
  bool matched = false;
  if (op == "P" || op == "Pmin" || op == "Pmax") {
    ++next_;
    if (Accept("=") && Accept("?") && Accept("[")) {
      property.form = PrismProperty::Form::kReach;
      if (AcceptWord("F")) {
        matched = TimeBound(&property.bound);
      } else if (AcceptWord("G")) {
        matched = TimeBound(&property.bound);
        property.form = PrismProperty::Form::kAlways;
      } else if (IsWord("true") && IsWord("U", 1)) {
        next_ += 2;
        matched = TimeBound(&property.bound);
      } else {
        property.left = Expression();
        matched =
            property.left && AcceptWord("U") && TimeBound(&property.bound);
      }
      if (matched) property.target = Expression();
      matched = matched && property.target && Accept("]");
    }
  } else if (op == "S") {
    ++next_;
    if (Accept("=") && Accept("?") && Accept("[")) {
      property.target = Expression();
      matched = property.target && Accept("]");
      property.form = PrismProperty::Form::kSteadyState;
    }
  } else if (op == "R" || op == "Rmin" || op == "Rmax") {
    ++next_;
    bool ok = true;
    if (Accept("{")) {
      if (Peek().kind == PrismToken::Kind::kString) {
        property.reward = Peek().text;
        ++next_;
      } else if (Peek().kind == PrismToken::Kind::kInteger) {
        property.reward = "#" + Peek().text;
        ++next_;
      } else {
        ok = false;
      }
      ok = ok && Accept("}");
    }
    if (ok && op == "R" && !AcceptWord("min")) AcceptWord("max");
    if (ok && Accept("=") && Accept("?") && Accept("[")) {
      property.form = PrismProperty::Form::kReward;
      if (AcceptWord("S")) {
        property.reward_path = 'S';
        matched = true;
      } else if (AcceptWord("C")) {
        property.reward_path = 'C';
        matched = Accept("<=");
        if (matched) {
          property.bound.high = TimeValue();
          matched = property.bound.high != nullptr;
        }
      } else if (AcceptWord("I")) {
        property.reward_path = 'I';
        matched = Accept("=");
        if (matched) {
          property.bound.high = TimeValue();
          matched = property.bound.high != nullptr;
        }
      } else if (AcceptWord("F")) {
        property.reward_path = 'F';
        property.target = Expression();
        matched = property.target != nullptr;
      }
      matched = matched && Accept("]");
    }
  }
  errors_ = saved;
  property.supported = matched && next_ == end;
  if (!property.supported) {
    property.left.reset();
    property.target.reset();
    property.bound = PrismTimeBound();
    // It has no supported form, but it must still read as a property: a
    // typo is an error at its position, not a property to skip. The
    // property's extent ends where the file would, for the messages and
    // so that a release R does not read on into the next property.
    next_ = first;
    const PrismToken after = tokens_[end];
    tokens_[end].kind = PrismToken::Kind::kEnd;
    general_ = true;
    const bool read = Expression() != nullptr;
    if (read && next_ != end) {
      FailHere("expected the end of the property, found " + Describe(Peek()));
    }
    general_ = false;
    tokens_[end] = after;
    if (Failed()) return false;
  }
  next_ = end;
  Accept(";");
  file->properties.push_back(std::move(property));
  return true;
}

bool Parser::StartsItemOnNewLine(std::size_t at) const {
  const PrismToken& token = tokens_[at];
  const PrismToken& before = tokens_[at - 1];
  if (token.line == before.line) return false;
  static const std::set<std::string> kWanting = {
      "+", "-", "*", "/",  "^", "&",  "|", "!",  "=>", "<=>",
      "?", ":", "=", "!=", "<", "<=", ">", ">=", ","};
  if (before.kind == PrismToken::Kind::kSymbol && kWanting.count(before.text)) {
    return false;
  }
  if (token.kind == PrismToken::Kind::kString) {
    const PrismToken& after = tokens_[at + 1];
    return after.kind == PrismToken::Kind::kSymbol && after.text == ":";
  }
  static const std::set<std::string> kStarts = {
      "P",     "Pmin", "Pmax", "S",       "R",     "Rmin",  "Rmax",
      "const", "rate", "prob", "formula", "label", "filter"};
  return token.kind == PrismToken::Kind::kIdentifier &&
         kStarts.count(token.text) > 0;
}

bool Parser::Properties(PrismPropertyFile* file) {
  in_properties_ = true;
  while (!Failed() && Peek().kind != PrismToken::Kind::kEnd) {
    if (IsWord("const") || IsWord("rate") || IsWord("prob")) {
      Constant(&file->constants);
    } else if (IsWord("formula")) {
      Definition(&file->formulas, false);
    } else if (IsWord("label")) {
      Definition(&file->labels, true);
    } else if (Accept(";")) {
      continue;
    } else {
      Property(file);
    }
  }
  return !Failed();
}

}  // namespace

bool ParsePrismModel(const std::string& text, const std::string& file_name,
                     PrismModelFile* model, std::vector<Diagnostic>* errors) {
  Parser parser(text, file_name, errors);
  return parser.Lex() && parser.Model(model);
}

bool ParsePrismProperties(const std::string& text, const std::string& file_name,
                          PrismPropertyFile* properties,
                          std::vector<Diagnostic>* errors) {
  Parser parser(text, file_name, errors);
  return parser.Lex() && parser.Properties(properties);
}
