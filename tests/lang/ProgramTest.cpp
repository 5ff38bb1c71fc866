// Compiled expressions and statements: values, the language's integer and
// min/max rules, short circuits, folding of globals, refused writes.

#include "lang/Program.h"

#include <cmath>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "lang/Checker.h"
#include "lang/ModelIr.h"
#include "lang/Parser.h"

namespace {

// A model with globals g = 2.5 (real) and k = 3 (int), places a = 7 and
// b = 0 (bounds 0..10), and one reward variable per expression, so that the
// checker resolves each expression as it would in a real model.
struct Fixture {
  ModelIr model;
  std::vector<short> marks = {7, 0};
  ProgramBinding binding;

  explicit Fixture(const std::vector<std::string>& expressions,
                   const std::string& statements = "") {
    std::string text =
        "global real g = 2.5; global int k = 3;\n"
        "place a = 7; place b bounds 0 .. 10;\n";
    for (std::size_t i = 0; i < expressions.size(); ++i) {
      text += "reward r" + std::to_string(i) + " = " + expressions[i] + ";\n";
    }
    if (!statements.empty()) {
      text += "activity t rate 1 { output gate { " + statements + " } }\n";
    }
    ParseResult parsed = LoadModelText(text, "test.san");
    EXPECT_TRUE(parsed.errors.empty())
        << FormatDiagnostics(parsed.errors, &text);
    model = std::move(parsed.model);
    binding.globals = {2.5, 3.0};
    binding.marks = {&marks[0], &marks[1]};
    binding.low = {0, 0};
    binding.high = {32767, 10};
  }

  double Value(std::size_t i) const {
    return Program::CompileExpr(*model.rewards[i].rate, binding).Evaluate();
  }
  Program Statements() const {
    return Program::CompileStatements(
        model.activities[0].output_gates[0].function, binding);
  }
};

TEST(ProgramTest, ExpressionValues) {
  struct Row {
    const char* expr;
    double value;
  };
  const Row rows[] = {
      {"a + b * 2 - 1", 6.0},
      {"a / 2", 3.5},           // real division of integers
      {"a div 2", 3.0},         // truncating
      {"(0 - a) div 2", -3.0},  // toward zero
      {"(0 - a) mod 3", -1.0},
      {"min(a, g, k)", 2.5},
      {"max(a, g, k)", 7.0},
      {"floor(g) + ceil(g)", 5.0},
      {"abs(b - a)", 7.0},
      {"pow(2, k)", 8.0},
      {"exp(0) + log(1)", 1.0},
      {"a > 5 ? 1 : 2", 1.0},
      {"a > 5 and b > 0 ? 1 : 2", 2.0},
      {"not (a == 7) or b != 0 ? 1 : 2", 2.0},
      {"choose(k, 10, 20, 30, 40)", 30.0},
      {"-a * -1", 7.0},
      {"g * 100.0 * k", 750.0},
  };
  std::vector<std::string> expressions;
  for (const Row& row : rows) expressions.push_back(row.expr);
  Fixture f(expressions);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].expr);
    EXPECT_EQ(f.Value(i), rows[i].value);
  }
}

TEST(ProgramTest, GlobalsFoldAndMarkingsStayLive) {
  Fixture f({"g * k", "a * g"});
  const Program folded =
      Program::CompileExpr(*f.model.rewards[0].rate, f.binding);
  ASSERT_TRUE(folded.IsConstant());
  EXPECT_EQ(folded.ConstantValue(), 7.5);
  const Program live =
      Program::CompileExpr(*f.model.rewards[1].rate, f.binding);
  EXPECT_FALSE(live.IsConstant());
  f.marks[0] = 2;
  EXPECT_EQ(live.Evaluate(), 5.0);
}

TEST(ProgramTest, MinAndMaxCapInfinityButKeepNaN) {
  // An infinite load factor (division by an empty place) gives 1; no
  // number in any place, also folded from globals, gives no number, for
  // the consumers to refuse.
  Fixture f({"min(1.0, a / b)", "min(1.0, (a - a) / b)",
             "max(1.0, (a - a) / b)", "min((a - a) / b, 1.0, a)",
             "max(k, 0 * pow(0, -1))", "min(a, k) + max(b, 0) * 0"});
  EXPECT_EQ(f.Value(0), 1.0);
  EXPECT_TRUE(std::isnan(f.Value(1)));
  EXPECT_TRUE(std::isnan(f.Value(2)));
  EXPECT_TRUE(std::isnan(f.Value(3)));
  EXPECT_TRUE(std::isnan(f.Value(4)));
  EXPECT_EQ(f.Value(5), 3.0);
}

TEST(ProgramTest, IntegerDivisionByZeroIsNaN) {
  Fixture f({"a div b", "a mod b"});
  EXPECT_TRUE(std::isnan(f.Value(0)));
  EXPECT_TRUE(std::isnan(f.Value(1)));
}

TEST(ProgramTest, AndOrSkipTheRightSide) {
  // The right sides divide by zero; skipping them leaves a clean result.
  Fixture f({"b > 0 and a div b > 1 ? 1 : 0", "b == 0 or a div b > 1 ? 1 : 0"});
  EXPECT_EQ(f.Value(0), 0.0);
  EXPECT_EQ(f.Value(1), 1.0);
}

TEST(ProgramTest, StatementsRunInOrderWithBranches) {
  Fixture f({}, "b += 2; if (b > 1) { a -= b; } else { a = 0; } b = a - 1;");
  const Program program = f.Statements();
  ASSERT_TRUE(program.Execute());
  EXPECT_EQ(f.marks[0], 5);
  EXPECT_EQ(f.marks[1], 4);
}

TEST(ProgramTest, RefusedWritesLeaveThePlaceAndNameIt) {
  struct Row {
    const char* statements;
    int place;
    double value;
    short mark_after;  // earlier writes stay; the activity undoes them
  };
  const Row rows[] = {
      {"a -= 8;", 0, -1.0, 7},           {"a = 32768;", 0, 32768.0, 7},
      {"b = 11;", 1, 11.0, 0},            // above the place's own bound
      {"b = a div (b - b);", 1, NAN, 0},  // division by zero
      {"b += 3; b += 8;", 1, 11.0, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.statements);
    Fixture f({}, row.statements);
    const Program program = f.Statements();
    ASSERT_FALSE(program.Execute());
    EXPECT_EQ(program.error().place, row.place);
    if (std::isnan(row.value)) {
      EXPECT_TRUE(std::isnan(program.error().value));
    } else {
      EXPECT_EQ(program.error().value, row.value);
    }
    EXPECT_EQ(f.marks[static_cast<std::size_t>(row.place)], row.mark_after);
  }
}

TEST(ProgramTest, SimultaneousAssignmentsReadTheMarkingBeforeAnyWrite) {
  struct Row {
    const char* statements;
    bool ok;
    short a_after;
    short b_after;
    int refused_place;  // the first refused write in statement order
  };
  const Row rows[] = {
      {"a = b; b = a;", true, 0, 7, -1},
      {"b = a + 1; a = b + 2;", true, 2, 8, -1},
      {"a = b - 1; b = a + 4;", false, 7, 0, 0},
      {"b = a + 4; a = b - 1;", false, 7, 0, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.statements);
    Fixture f({}, row.statements);
    std::vector<StatementIr>& function =
        f.model.activities[0].output_gates[0].function;
    StatementIr step;
    step.kind = StatementIr::Kind::kSimultaneous;
    step.then_body = std::move(function);
    function.clear();
    function.push_back(std::move(step));
    const Program program = f.Statements();
    EXPECT_EQ(program.Execute(), row.ok);
    if (!row.ok) {
      EXPECT_EQ(program.error().place, row.refused_place);
    }
    EXPECT_EQ(f.marks[0], row.a_after);
    EXPECT_EQ(f.marks[1], row.b_after);
  }
}

}  // namespace

namespace {

TEST(ProgramTest, MarkRangesAgreeWithTheProgram) {
  struct Row {
    const char* predicate;
    bool ranges;  // whether it comes down to marking ranges
  };
  const Row rows[] = {
      {"a >= 1", true},
      {"a > 2 and b <= 3", true},
      {"a < 2.5 and b > 0.5 and a == 1", true},
      {"true", true},
      {"a == 1.5", false},
      {"a != 1", false},
      {"a > 1 or b > 1", false},
      {"a > b", false},
      {"not (a > 1)", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.predicate);
    Fixture f({std::string(row.predicate) + " ? 1 : 0"});
    const Expr& test = *f.model.rewards[0].rate->args[0];
    const Program program = Program::CompileExpr(test, f.binding);
    const auto ranges = program.AsMarkRanges();
    ASSERT_EQ(ranges.has_value(), row.ranges);
    if (!ranges) continue;
    for (short a = -1; a <= 5; ++a) {
      for (short b = -1; b <= 5; ++b) {
        f.marks = {a, b};
        bool inside = true;
        for (const MarkRange& range : *ranges) {
          inside =
              inside && *range.mark >= range.low && *range.mark <= range.high;
        }
        EXPECT_EQ(inside, program.Evaluate() != 0.0) << a << ' ' << b;
      }
    }
  }
}

}  // namespace
