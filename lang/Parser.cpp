#include "lang/Parser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "lang/Checker.h"
#include "lang/Composition.h"
#include "lang/Lexer.h"

namespace {

// Deepest nesting of expressions and statements accepted; deeper input is
// refused rather than risking the stack.
constexpr int kMaxDepth = 100;
// Largest place array and replica count: the state image of a model must
// stay small enough to store millions of states.
constexpr long kMaxCount = 10000;
// Most places and activities that one replication may add.
constexpr long kMaxElements = 100000;

class Parser {
 public:
  Parser(const std::string& text, std::string file_name)
      : tokens_(Tokenize(text)),
        file_(std::move(file_name)),
        composer_(model_) {
    model_.where = {file_, 0, 0};
  }

  ParseResult Run() {
    while (!AtEnd()) Declaration();
    ParseResult result;
    result.errors = std::move(errors_);
    for (Diagnostic& d : composer_.errors())
      result.errors.push_back(std::move(d));
    result.model = std::move(model_);
    return result;
  }

 private:
  // ---- tokens ----
  const Token& Peek(std::size_t ahead = 0) const {
    const std::size_t i = std::min(pos_ + ahead, tokens_.size() - 1);
    return tokens_[i];
  }

  bool AtEnd() {
    const Token& t = Peek();
    // The lexer's message is reported where it stopped.
    if (t.kind == Token::Kind::kError) Fail(t, t.text);
    return failed_ || t.kind == Token::Kind::kEnd ||
           t.kind == Token::Kind::kError;
  }

  SourceLocation Here(const Token& token) const {
    return {file_, token.line, token.column};
  }
  SourceLocation Here() const { return Here(Peek()); }

  void Fail(const Token& token, const std::string& message) {
    if (failed_) return;
    failed_ = true;
    // Where the lexer gave up, its own message says more than what the
    // parser expected there.
    errors_.push_back({Here(token), token.kind == Token::Kind::kError
                                        ? token.text
                                        : message});
    pos_ = tokens_.size() - 1;  // every loop stops at the last token
  }

  static std::string Describe(const Token& token) {
    switch (token.kind) {
      case Token::Kind::kEnd:
        return "the end of the file";
      case Token::Kind::kError:
        return token.text;
      default:
        return "'" + token.text + "'";
    }
  }

  bool IsSymbol(const char* symbol, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Token::Kind::kSymbol && t.text == symbol;
  }

  bool IsWord(const char* word, std::size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    return t.kind == Token::Kind::kIdentifier && t.text == word;
  }

  bool Accept(const char* symbol) {
    if (failed_ || !IsSymbol(symbol)) return false;
    ++pos_;
    return true;
  }

  bool AcceptWord(const char* word) {
    if (failed_ || !IsWord(word)) return false;
    ++pos_;
    return true;
  }

  void Expect(const char* symbol) {
    if (failed_) return;
    if (!Accept(symbol)) {
      Fail(Peek(), std::string("expected '") + symbol + "' but found " +
                       Describe(Peek()));
    }
  }

  void ExpectWord(const char* word) {
    if (failed_) return;
    if (!AcceptWord(word)) {
      Fail(Peek(), std::string("expected '") + word + "' but found " +
                       Describe(Peek()));
    }
  }

  static bool IsReserved(const std::string& word) {
    static const char* const kReserved[] = {
        "model",      "global",    "int",      "real",   "define",  "study",
        "experiment", "sweep",     "from",     "to",     "step",    "in",
        "place",      "bounds",    "activity", "rate",   "delay",   "instant",
        "rank",       "weight",    "input",    "output", "gate",    "when",
        "case",       "if",        "else",     "reward", "impulse", "submodel",
        "join",       "replicate", "share",    "and",    "or",      "not",
        "div",        "mod",       "true",     "false",  "property"};
    for (const char* reserved : kReserved) {
      if (word == reserved) return true;
    }
    return false;
  }

  std::string Identifier(const char* what) {
    if (failed_) return {};
    const Token& t = Peek();
    if (t.kind != Token::Kind::kIdentifier) {
      Fail(t, std::string("expected ") + what + " but found " + Describe(t));
      return {};
    }
    if (IsReserved(t.text)) {
      Fail(t, std::string("expected ") + what + " but found " + Describe(t) +
                  ", a reserved word that cannot be a name (the reserved "
                  "words are listed under \"Lexical rules\" in "
                  "docs/model-language.md)");
      return {};
    }
    ++pos_;
    return t.text;
  }

  // A whole number literal, optionally negative.
  long Integer(const char* what) {
    if (failed_) return 0;
    const bool negative = Accept("-");
    const Token& t = Peek();
    if (t.kind != Token::Kind::kInteger) {
      Fail(t, std::string("expected ") + what + " but found " + Describe(t));
      return 0;
    }
    errno = 0;
    const long long value = std::strtoll(t.text.c_str(), nullptr, 10);
    if (errno == ERANGE || value > 2147483647LL) {
      Fail(t, "the integer " + t.text + " is too large");
      return 0;
    }
    ++pos_;
    return static_cast<long>(negative ? -value : value);
  }

  // A number literal (int or real), optionally negative.
  double Number(const char* what) {
    if (failed_) return 0.0;
    const bool negative = Accept("-");
    const Token& t = Peek();
    if (t.kind != Token::Kind::kInteger && t.kind != Token::Kind::kReal) {
      Fail(t, std::string("expected ") + what + " but found " + Describe(t));
      return 0.0;
    }
    ++pos_;
    const double value = std::strtod(t.text.c_str(), nullptr);
    return negative ? -value : value;
  }

  // ---- declarations ----
  void Declaration() {
    const Token& t = Peek();
    if (AcceptWord("model")) {
      model_.name = Identifier("the model's name");
      Expect(";");
    } else if (AcceptWord("global")) {
      Global();
    } else if (AcceptWord("define")) {
      DefinitionIr definition;
      definition.where = Here();
      definition.name = Identifier("a definition name");
      Expect("=");
      definition.value = Expression();
      Expect(";");
      model_.definitions.push_back(std::move(definition));
    } else if (AcceptWord("study")) {
      Study();
    } else if (IsWord("place")) {
      for (PlaceIr& place : Places()) composer_.AddPlace(std::move(place));
    } else if (IsWord("activity")) {
      composer_.AddActivity(Activity());
    } else if (AcceptWord("reward")) {
      Reward();
    } else if (AcceptWord("property")) {
      Property();
    } else if (AcceptWord("submodel")) {
      Submodel();
    } else if (AcceptWord("join")) {
      const SubmodelIr* submodel = FindSubmodel();
      Expect(";");
      if (submodel != nullptr) composer_.Join(*submodel);
    } else if (AcceptWord("replicate")) {
      Replicate();
    } else {
      Fail(t,
           "expected a declaration (model, global, define, study, place, "
           "activity, reward, submodel, join, replicate) but found " +
               Describe(t));
    }
  }

  void Global() {
    GlobalIr global;
    global.where = Here();
    if (AcceptWord("int")) {
      global.type = ValueType::kInt;
    } else if (AcceptWord("real")) {
      global.type = ValueType::kReal;
    } else {
      Fail(Peek(), "expected 'int' or 'real' but found " + Describe(Peek()));
      return;
    }
    global.where = Here();
    global.name = Identifier("a global variable name");
    if (Accept("=")) {
      const Token& value = Peek(IsSymbol("-") ? 1 : 0);
      global.default_value = Number("the default value");
      if (global.type == ValueType::kInt && value.kind == Token::Kind::kReal) {
        Fail(value, "int global '" + global.name +
                        "' needs a whole number, not " + value.text);
      }
    }
    Expect(";");
    model_.globals.push_back(std::move(global));
  }

  void Settings(std::vector<ExperimentIr::Setting>& settings) {
    Expect("{");
    while (!AtEnd() && !IsSymbol("}")) {
      ExperimentIr::Setting setting;
      setting.where = Here();
      setting.global = Identifier("a global variable name");
      Expect("=");
      setting.value = Number("a value");
      Expect(";");
      settings.push_back(std::move(setting));
    }
    Expect("}");
  }

  void Study() {
    model_.study_name = Identifier("the study's name");
    Expect("{");
    while (!AtEnd() && !IsSymbol("}")) {
      const SourceLocation where = Here();
      if (AcceptWord("experiment")) {
        ExperimentIr experiment;
        experiment.where = where;
        Settings(experiment.settings);
        model_.experiments.push_back(std::move(experiment));
      } else if (AcceptWord("sweep")) {
        Sweep(where);
      } else {
        Fail(Peek(),
             "expected 'experiment' or 'sweep' but found " + Describe(Peek()));
      }
    }
    Expect("}");
  }

  // sweep NAME from A to B [step S] [{ settings }]
  // sweep NAME in [v1, v2, ...] [{ settings }]
  void Sweep(const SourceLocation& where) {
    const SourceLocation name_where = Here();
    const std::string name = Identifier("a global variable name");
    std::vector<double> values;
    if (AcceptWord("from")) {
      const double from = Number("the first value");
      ExpectWord("to");
      const Token& to_token = Peek();
      const double to = Number("the last value");
      double step = 1.0;
      if (AcceptWord("step")) {
        const Token& step_token = Peek();
        step = Number("the step");
        if (!(step > 0.0))
          Fail(step_token, "the step of a sweep must be positive");
      }
      // A range that ends before it starts would make no experiment, and
      // the model would quietly run with its defaults instead.
      if (!failed_ && from > to + step * 1e-9) {
        std::ostringstream text;
        text << "the sweep goes from " << from << " to " << to
             << ": its last value must not be less than its first";
        Fail(to_token, text.str());
      }
      if (!failed_ && (to - from) / step > kMaxCount) {
        Fail(to_token, "the sweep has more than " + std::to_string(kMaxCount) +
                           " experiments");
      }
      // Each value from the first one, so that steps such as 0.1 do not
      // accumulate rounding errors.
      for (long k = 0; !failed_ && from + k * step <= to + step * 1e-9; ++k) {
        values.push_back(from + k * step);
      }
    } else if (AcceptWord("in")) {
      Expect("[");
      do {
        values.push_back(Number("a value"));
      } while (!failed_ && Accept(","));
      Expect("]");
    } else {
      Fail(Peek(), "expected 'from' or 'in' but found " + Describe(Peek()));
    }
    std::vector<ExperimentIr::Setting> common;
    if (IsSymbol("{")) {
      Settings(common);
    } else {
      Expect(";");
    }
    for (double value : values) {
      ExperimentIr experiment;
      experiment.where = where;
      for (const ExperimentIr::Setting& setting : common) {
        experiment.settings.push_back(setting);
      }
      experiment.settings.push_back({name, value, name_where});
      model_.experiments.push_back(std::move(experiment));
    }
  }

  // place NAME [= expr] [bounds L .. H];  or  place NAME[n] ...;
  std::vector<PlaceIr> Places() {
    ExpectWord("place");
    std::vector<PlaceIr> places;
    const SourceLocation where = Here();
    const std::string name = Identifier("a place name");
    long count = 0;
    if (Accept("[")) {
      const Token& size = Peek();
      count = Integer("the array size");
      if (!failed_ && (count < 1 || count > kMaxCount)) {
        Fail(size, "array size " + std::to_string(count) + " is outside 1.." +
                       std::to_string(kMaxCount));
      }
      Expect("]");
    }
    ExprPtr initial;
    if (Accept("=")) initial = Expression();
    std::optional<std::pair<int, int>> bounds;
    if (AcceptWord("bounds")) {
      const int low = static_cast<int>(Integer("the lower bound"));
      Expect("..");
      const int high = static_cast<int>(Integer("the upper bound"));
      bounds = std::make_pair(low, high);
    }
    Expect(";");
    if (failed_) return places;
    const long n = count == 0 ? 1 : count;
    for (long k = 1; k <= n; ++k) {
      PlaceIr place;
      place.name = count == 0 ? name : name + "_" + std::to_string(k);
      place.initial = initial ? Clone(*initial) : nullptr;
      place.bounds = bounds;
      place.where = where;
      places.push_back(std::move(place));
    }
    return places;
  }

  // A place named in an arc or a statement: NAME or NAME[k].
  std::string PlaceRef() {
    std::string name = Identifier("a place name");
    if (Accept("[")) {
      const long index = Integer("an array index");
      Expect("]");
      name += "_" + std::to_string(index);
    }
    return name;
  }

  ArcIr Arc() {
    ArcIr arc;
    arc.where = Here();
    arc.place = PlaceRef();
    if (Accept("*")) arc.multiplicity = Expression();
    Expect(";");
    return arc;
  }

  std::vector<StatementIr> Block() {
    std::vector<StatementIr> statements;
    Expect("{");
    while (!AtEnd() && !IsSymbol("}")) statements.push_back(Statement());
    Expect("}");
    return statements;
  }

  StatementIr Statement() {
    StatementIr statement;
    statement.where = Here();
    if (++depth_ > kMaxDepth) {
      Fail(Peek(), "statements nested more than " + std::to_string(kMaxDepth) +
                       " deep");
    }
    if (AcceptWord("if")) {
      statement.kind = StatementIr::Kind::kIf;
      Expect("(");
      statement.condition = Expression();
      Expect(")");
      statement.then_body = Block();
      if (AcceptWord("else")) {
        if (IsWord("if")) {
          statement.else_body.push_back(Statement());
        } else {
          statement.else_body = Block();
        }
      }
    } else {
      statement.place = PlaceRef();
      if (Accept("=")) {
        statement.kind = StatementIr::Kind::kAssign;
      } else if (Accept("+=")) {
        statement.kind = StatementIr::Kind::kAdd;
      } else if (Accept("-=")) {
        statement.kind = StatementIr::Kind::kSubtract;
      } else {
        Fail(Peek(),
             "expected '=', '+=' or '-=' but found " + Describe(Peek()));
      }
      statement.value = Expression();
      Expect(";");
    }
    --depth_;
    return statement;
  }

  std::vector<OutputGateIr> OutputItems(std::vector<ArcIr>& outputs) {
    std::vector<OutputGateIr> gates;
    const SourceLocation where = Here();
    if (AcceptWord("gate")) {
      gates.push_back({Block(), where});
    } else {
      outputs.push_back(Arc());
    }
    return gates;
  }

  ActivityIr Activity() {
    ExpectWord("activity");
    ActivityIr activity;
    activity.where = Here();
    activity.name = Identifier("an activity name");
    if (AcceptWord("rate")) {
      activity.kind = ActivityKind::kExponential;
      activity.timing = Expression();
    } else if (AcceptWord("delay")) {
      activity.kind = ActivityKind::kDeterministic;
      activity.timing = Expression();
    } else if (AcceptWord("instant")) {
      activity.kind = ActivityKind::kInstantaneous;
      while (!failed_ && (IsWord("rank") || IsWord("weight"))) {
        if (AcceptWord("rank")) {
          activity.rank = Expression();
        } else if (AcceptWord("weight")) {
          activity.weight = Expression();
        }
      }
    } else {
      Fail(Peek(), "expected 'rate', 'delay' or 'instant' but found " +
                       Describe(Peek()));
    }
    Expect("{");
    while (!AtEnd() && !IsSymbol("}")) {
      const SourceLocation where = Here();
      if (AcceptWord("input")) {
        if (AcceptWord("gate")) {
          InputGateIr gate;
          gate.where = where;
          if (AcceptWord("when")) gate.predicate = Expression();
          if (IsSymbol("{")) {
            gate.function = Block();
          } else {
            Expect(";");
          }
          activity.input_gates.push_back(std::move(gate));
        } else {
          activity.inputs.push_back(Arc());
        }
      } else if (AcceptWord("output")) {
        for (OutputGateIr& gate : OutputItems(activity.outputs)) {
          activity.output_gates.push_back(std::move(gate));
        }
      } else if (AcceptWord("case")) {
        CaseIr one_case;
        one_case.where = where;
        one_case.probability = Expression();
        Expect("{");
        while (!AtEnd() && !IsSymbol("}")) {
          ExpectWord("output");
          for (OutputGateIr& gate : OutputItems(one_case.outputs)) {
            one_case.output_gates.push_back(std::move(gate));
          }
        }
        Expect("}");
        activity.cases.push_back(std::move(one_case));
      } else {
        Fail(Peek(), "expected 'input', 'output' or 'case' but found " +
                         Describe(Peek()));
      }
    }
    Expect("}");
    return activity;
  }

  // property NAME = KIND ( expr [ , expr ] [ , time | , [ time , time ] ] ) ;
  void Property() {
    enum class Times {
      kNone,
      kOne,
      kBound
    };  // kBound: optional, t or [t1, t2]
    struct Kind {
      const char* word;
      PropertyKindIr kind;
      int expressions;
      Times times;
    };
    static const Kind kKinds[] = {
        {"steady", PropertyKindIr::kSteady, 1, Times::kNone},
        {"reach", PropertyKindIr::kReach, 1, Times::kBound},
        {"reach_time", PropertyKindIr::kReachTime, 1, Times::kNone},
        {"instant", PropertyKindIr::kInstant, 1, Times::kOne},
        {"cumulative", PropertyKindIr::kCumulative, 1, Times::kOne},
        {"until", PropertyKindIr::kUntil, 2, Times::kBound},
        {"reach_reward", PropertyKindIr::kReachReward, 2, Times::kNone},
    };
    PropertyIr property;
    property.where = Here();
    property.name = Identifier("a property name");
    Expect("=");
    if (failed_) return;
    const Token& word = Peek();
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds) {
      if (IsWord(k.word)) kind = &k;
    }
    if (kind == nullptr) {
      Fail(word,
           "expected steady, reach, reach_time, instant, cumulative, until or "
           "reach_reward but found " +
               Describe(word));
      return;
    }
    ++pos_;
    property.kind = kind->kind;
    Expect("(");
    // until(a, b): a holds until b does; reach_reward(s, c): s until c.
    ExprPtr first = Expression();
    if (kind->expressions == 2) {
      Expect(",");
      ExprPtr second = Expression();
      if (kind->kind == PropertyKindIr::kUntil) {
        property.condition = std::move(first);
        property.subject = std::move(second);
      } else {
        property.subject = std::move(first);
        property.condition = std::move(second);
      }
    } else {
      property.subject = std::move(first);
    }
    property.unbounded = kind->times == Times::kBound;
    if (kind->times == Times::kOne ||
        (kind->times == Times::kBound && IsSymbol(","))) {
      Expect(",");
      property.unbounded = false;
      if (kind->times == Times::kBound && Accept("[")) {
        property.interval = true;
        property.start = Time();
        Expect(",");
        const Token& end = Peek();
        property.time = Time();
        Expect("]");
        if (!failed_ && property.time < property.start) {
          Fail(end, "a property's interval must not end before it starts");
        }
      } else {
        property.time = Time();
      }
    }
    Expect(")");
    Expect(";");
    model_.properties.push_back(std::move(property));
  }

  // A property's time: a finite number of at least 0.
  double Time() {
    const Token& at = Peek();
    const double time = Number("a time");
    if (!failed_ && !(time >= 0 && std::isfinite(time))) {
      Fail(at, "a property's time must be a finite number of at least 0");
    }
    return time;
  }

  void Reward() {
    RewardIr reward;
    reward.where = Here();
    reward.name = Identifier("a reward variable name");
    if (Accept("=")) {
      reward.rate = Expression();
      Expect(";");
    } else {
      Expect("{");
      while (!AtEnd() && !IsSymbol("}")) {
        const SourceLocation where = Here();
        if (AcceptWord("rate")) {
          if (reward.rate)
            Fail(Peek(), "a reward variable has one rate reward");
          reward.rate = Expression();
          Expect(";");
        } else if (AcceptWord("impulse")) {
          ImpulseIr impulse;
          impulse.where = Here();
          impulse.activity = Identifier("an activity name");
          if (Accept("=")) impulse.amount = Expression();
          Expect(";");
          reward.impulses.push_back(std::move(impulse));
        } else {
          Fail(Peek(),
               "expected 'rate' or 'impulse' but found " + Describe(Peek()));
        }
      }
      Expect("}");
    }
    model_.rewards.push_back(std::move(reward));
  }

  void Submodel() {
    SubmodelIr submodel;
    submodel.where = Here();
    const Token& name_token = Peek();
    submodel.name = Identifier("a submodel name");
    if (Accept("(")) {
      submodel.index_name = Identifier("the replica number's name");
      Expect(")");
    }
    Expect("{");
    while (!AtEnd() && !IsSymbol("}")) {
      if (IsWord("place")) {
        for (PlaceIr& place : Places())
          submodel.places.push_back(std::move(place));
      } else if (IsWord("activity")) {
        submodel.activities.push_back(Activity());
      } else {
        Fail(Peek(),
             "expected 'place' or 'activity' but found " + Describe(Peek()));
      }
    }
    Expect("}");
    if (!failed_ &&
        !submodels_.emplace(submodel.name, std::move(submodel)).second) {
      Fail(name_token, "submodel '" + name_token.text + "' is defined twice");
    }
  }

  const SubmodelIr* FindSubmodel() {
    const Token& t = Peek();
    const std::string name = Identifier("a submodel name");
    if (failed_) return nullptr;
    const auto it = submodels_.find(name);
    if (it == submodels_.end()) {
      Fail(t, "unknown submodel '" + name + "'");
      return nullptr;
    }
    return &it->second;
  }

  // replicate NAME COUNT [share p, q, ...];
  void Replicate() {
    const SourceLocation where = Here();
    const SubmodelIr* submodel = FindSubmodel();
    const Token& count_token = Peek();
    const long count = Integer("the number of replicas");
    if (!failed_ && (count < 1 || count > kMaxCount)) {
      Fail(count_token, "replica count " + std::to_string(count) +
                            " is outside 1.." + std::to_string(kMaxCount));
    }
    std::vector<std::string> shared;
    if (AcceptWord("share")) {
      do {
        shared.push_back(PlaceRef());
      } while (!failed_ && Accept(","));
    }
    Expect(";");
    if (!failed_ && submodel != nullptr &&
        count * static_cast<long>(submodel->places.size() +
                                  submodel->activities.size()) >
            kMaxElements) {
      Fail(count_token, "the replicas would have more than " +
                            std::to_string(kMaxElements) +
                            " places and activities");
    }
    if (!failed_ && submodel != nullptr) {
      composer_.Replicate(*submodel, static_cast<int>(count), shared, where);
    }
  }

  // ---- expressions ----
  ExprPtr Expression() {
    if (++depth_ > kMaxDepth) {
      Fail(Peek(), "expression nested more than " + std::to_string(kMaxDepth) +
                       " deep");
    }
    ExprPtr expr = ConditionalExpr();
    --depth_;
    return expr;
  }

  ExprPtr ConditionalExpr() {
    ExprPtr test = OrExpr();
    const SourceLocation where = Here();
    if (!Accept("?")) return test;
    ExprPtr then_value = Expression();
    Expect(":");
    ExprPtr else_value = Expression();
    return Condition(std::move(test), std::move(then_value),
                     std::move(else_value), where);
  }

  // The depth of a chain of binary operators once `right` joins `left`,
  // *depth being the chain's so far (kUncounted before its first join);
  // false, having failed, where that passes kMaxExpressionDepth.
  static constexpr std::size_t kUncounted = static_cast<std::size_t>(-1);
  bool Deepen(const ExprPtr& left, const ExprPtr& right, std::size_t* depth) {
    if (*depth == kUncounted) *depth = left ? ExprDepth(*left) : 0;
    *depth = std::max(*depth, right ? ExprDepth(*right) : 0) + 1;
    if (*depth <= kMaxExpressionDepth) return true;
    Fail(Peek(), "expression more than " + std::to_string(kMaxExpressionDepth) +
                     " operators deep (a long chain can be split with "
                     "brackets or definitions)");
    return false;
  }

  ExprPtr OrExpr() {
    ExprPtr left = AndExpr();
    std::size_t depth = kUncounted;
    while (!failed_ && IsWord("or")) {
      const SourceLocation where = Here();
      ++pos_;
      ExprPtr right = AndExpr();
      if (!Deepen(left, right, &depth)) break;
      left = Binary(Op::kOr, std::move(left), std::move(right), where);
    }
    return left;
  }

  ExprPtr AndExpr() {
    ExprPtr left = NotExpr();
    std::size_t depth = kUncounted;
    while (!failed_ && IsWord("and")) {
      const SourceLocation where = Here();
      ++pos_;
      ExprPtr right = NotExpr();
      if (!Deepen(left, right, &depth)) break;
      left = Binary(Op::kAnd, std::move(left), std::move(right), where);
    }
    return left;
  }

  ExprPtr NotExpr() {
    const SourceLocation where = Here();
    if (AcceptWord("not")) {
      if (++depth_ > kMaxDepth) Fail(Peek(), "expression nested too deeply");
      ExprPtr operand = NotExpr();
      --depth_;
      return Unary(Op::kNot, std::move(operand), where);
    }
    return Comparison();
  }

  ExprPtr Comparison() {
    ExprPtr left = Additive();
    static const std::pair<const char*, Op> kOps[] = {
        {"<=", Op::kLessEqual}, {">=", Op::kGreaterEqual}, {"==", Op::kEqual},
        {"!=", Op::kNotEqual},  {"<", Op::kLess},          {">", Op::kGreater}};
    for (const auto& [symbol, op] : kOps) {
      if (IsSymbol(symbol)) {
        const SourceLocation where = Here();
        ++pos_;
        return Binary(op, std::move(left), Additive(), where);
      }
    }
    return left;
  }

  ExprPtr Additive() {
    ExprPtr left = Multiplicative();
    std::size_t depth = kUncounted;
    while (!failed_ && (IsSymbol("+") || IsSymbol("-"))) {
      const SourceLocation where = Here();
      const Op op = IsSymbol("+") ? Op::kAdd : Op::kSubtract;
      ++pos_;
      ExprPtr right = Multiplicative();
      if (!Deepen(left, right, &depth)) break;
      left = Binary(op, std::move(left), std::move(right), where);
    }
    return left;
  }

  ExprPtr Multiplicative() {
    ExprPtr left = UnaryExpr();
    std::size_t depth = kUncounted;
    while (!failed_) {
      Op op = Op::kNone;
      if (IsSymbol("*")) {
        op = Op::kMultiply;
      } else if (IsSymbol("/")) {
        op = Op::kDivide;
      } else if (IsWord("div")) {
        op = Op::kIntDivide;
      } else if (IsWord("mod")) {
        op = Op::kModulo;
      } else {
        break;
      }
      const SourceLocation where = Here();
      ++pos_;
      ExprPtr right = UnaryExpr();
      if (!Deepen(left, right, &depth)) break;
      left = Binary(op, std::move(left), std::move(right), where);
    }
    return left;
  }

  ExprPtr UnaryExpr() {
    const SourceLocation where = Here();
    if (Accept("-")) {
      if (++depth_ > kMaxDepth) Fail(Peek(), "expression nested too deeply");
      ExprPtr operand = UnaryExpr();
      --depth_;
      return Unary(Op::kNegate, std::move(operand), where);
    }
    return Primary();
  }

  ExprPtr Primary() {
    const Token& t = Peek();
    const SourceLocation where = Here(t);
    if (failed_) return IntConstant(0, where);
    switch (t.kind) {
      case Token::Kind::kInteger: {
        errno = 0;
        const long long value = std::strtoll(t.text.c_str(), nullptr, 10);
        if (errno == ERANGE || value > (1LL << 53)) {
          Fail(t, "the integer " + t.text + " is too large");
          return IntConstant(0, where);
        }
        ++pos_;
        return IntConstant(value, where);
      }
      case Token::Kind::kReal:
        ++pos_;
        return RealConstant(std::strtod(t.text.c_str(), nullptr), where);
      case Token::Kind::kSymbol:
        if (Accept("(")) {
          ExprPtr inner = Expression();
          Expect(")");
          return inner;
        }
        break;
      case Token::Kind::kIdentifier:
        return NamedPrimary();
      default:
        break;
    }
    Fail(t, "expected an expression but found " + Describe(t));
    return IntConstant(0, where);
  }

  ExprPtr NamedPrimary() {
    const Token& t = Peek();
    const SourceLocation where = Here(t);
    if (AcceptWord("true")) return BoolConstant(true, where);
    if (AcceptWord("false")) return BoolConstant(false, where);
    if (IsSymbol("(", 1)) return FunctionCall();
    std::string name = Identifier("a name");
    if (Accept("[")) {
      const long index = Integer("an array index");
      Expect("]");
      name += "_" + std::to_string(index);
    }
    return NameRef(name, where);
  }

  ExprPtr FunctionCall() {
    const Token& t = Peek();
    const SourceLocation where = Here(t);
    static const std::pair<const char*, Op> kFunctions[] = {
        {"min", Op::kMin},   {"max", Op::kMax}, {"floor", Op::kFloor},
        {"ceil", Op::kCeil}, {"abs", Op::kAbs}, {"pow", Op::kPow},
        {"exp", Op::kExp},   {"log", Op::kLog}};
    Op op = Op::kNone;
    for (const auto& [name, function] : kFunctions) {
      if (t.text == name) op = function;
    }
    const bool choose = t.text == "choose";
    if (op == Op::kNone && !choose) {
      Fail(t, "unknown function '" + t.text + "'");
      return IntConstant(0, where);
    }
    pos_ += 2;  // name and "("
    std::vector<ExprPtr> args;
    if (!IsSymbol(")")) {
      do {
        args.push_back(Expression());
      } while (!failed_ && Accept(","));
    }
    Expect(")");
    if (!choose) return Call(op, std::move(args), where);
    // choose(k, v1, ..., vn): vk; written out as a chain of conditionals,
    // k == 1 ? v1 : k == 2 ? v2 : ... : vn.
    if (!failed_ && args.size() < 2) {
      Fail(t, "choose takes an index and at least one value");
      return IntConstant(0, where);
    }
    if (failed_) return IntConstant(0, where);
    ExprPtr result = std::move(args.back());
    for (std::size_t k = args.size() - 2; k >= 1; --k) {
      ExprPtr test =
          Binary(Op::kEqual, Clone(*args[0]),
                 IntConstant(static_cast<long long>(k), where), where);
      result = Condition(std::move(test), std::move(args[k]), std::move(result),
                         where);
    }
    return result;
  }

  std::vector<Token> tokens_;
  std::string file_;
  std::size_t pos_ = 0;
  bool failed_ = false;
  int depth_ = 0;
  ModelIr model_;
  Composer composer_;
  std::map<std::string, SubmodelIr> submodels_;
  std::vector<Diagnostic> errors_;
};

}  // namespace

ParseResult ParseModel(const std::string& text, const std::string& file_name) {
  return Parser(text, file_name).Run();
}

ParseResult LoadModelText(const std::string& text,
                          const std::string& file_name) {
  ParseResult result = ParseModel(text, file_name);
  if (!result.errors.empty()) return result;
  result.errors = CheckModel(result.model);
  return result;
}
