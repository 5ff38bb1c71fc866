// Types of expressions and what the checker accepts where.

#include "lang/Checker.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "lang/Parser.h"

namespace {

// The type the checker gives `expr` (in a model with places a and b, an int
// global n and a real global x), or its first error message.
std::string TypeOf(const std::string& expr) {
  const std::string text =
      "global int n = 1; global real x = 1;\nplace a; place b;\n"
      "define d = " +
      expr + ";\nreward r = d == d ? 1 : 0;\n";
  ParseResult result = LoadModelText(text, "t.san");
  if (!result.errors.empty()) return result.errors[0].message;
  return ValueTypeName(result.model.definitions[0].value->type);
}

TEST(CheckerTest, TypesOfExpressions) {
  struct Row {
    const char* expr;
    const char* type;
  };
  const Row rows[] = {
      {"a + n * 2", "int"},
      {"a + x", "real"},
      {"a / 2", "real"},
      {"a div 2 + a mod 3", "int"},
      {"-a", "int"},
      {"min(a, b, n)", "int"},
      {"max(a, x)", "real"},
      {"floor(x) + ceil(x)", "int"},
      {"abs(x)", "real"},
      {"pow(a, 2)", "real"},
      {"a > 1 ? a : b", "int"},
      {"a > 1 ? a : x", "real"},
      {"a > 1 ? true : false", "bool"},
      {"a == b and not (x != 1) or true", "bool"},
      {"a == true", "'==' compares a bool with a number"},
      {"a + true", "'+' needs two numbers, not int and bool"},
      {"x div 2", "'div' needs two ints, not real and int"},
      {"not a", "'not' needs a bool, not int"},
      {"-(a > 1)", "'-' needs a number, not bool"},
      {"a ? 1 : 2", "a condition must be a bool, not int"},
      {"a > 1 ? 1 : true",
       "the two branches of '?' must both be numbers or both be bools"},
      {"min(a)", "min takes two or more arguments, not 1"},
      {"floor(a > 1)", "floor needs numbers, not bool"},
      {"log(a, b)", "log takes 1 argument, not 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expr);
    EXPECT_EQ(TypeOf(row.expr), row.type);
  }
}

TEST(CheckerTest, WhatEachPlaceOfAModelAccepts) {
  struct Row {
    const char* model;
    const char* error;  // "" when the model is accepted
  };
  const Row rows[] = {
      {"place a; activity t rate 1 { input a * 2; output a * (a + 1); }", ""},
      {"place a; activity t rate 1 { input a * 1.5; }",
       "an arc multiplicity must be an int, not real"},
      {"place a; activity t instant rank a weight 0.5 { }", ""},
      {"place a; activity t instant rank 1.5 { }",
       "the rank of 't' must be an int, not real"},
      {"place a; activity t delay a > 0 { }",
       "the delay of 't' must be a number, not bool"},
      {"place a; activity t rate 1 { output gate { if (a) { a = 1; } } }",
       "an if condition must be a bool, not int"},
      {"place a; activity t rate 1 { output gate { b += 1; } }",
       "unknown place 'b' assigned"},
      {"place a bounds 3 .. 1;",
       "bounds [3, 1] of place 'a' are not a range within -32768..32767"},
      {"place a bounds -32769 .. 0;",
       "bounds [-32769, 0] of place 'a' are not a range within -32768..32767"},
      {"place a = -3 bounds -32768 .. 32767;", ""},
      {"place a; activity t rate 1 { } activity t rate 2 { }",
       "activity 't' has the name of an earlier activity"},
      {"place a; reward r { impulse t = a > 1; } activity t rate 1 { }",
       "the impulse of 'r' must be a number, not bool"},
      {"place a; define d = a; place b = d;",
       "definition 'd' reads markings, which cannot be used here"},
      {"global int n = 2; define d = n * 2; place b = d;", ""},
      {"place a; define d = d + 1; reward r = d;",
       "definition 'd' depends on itself: d -> d"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.model);
    const ParseResult result = LoadModelText(row.model, "t.san");
    const std::string first =
        result.errors.empty() ? "" : result.errors[0].message;
    EXPECT_EQ(first, row.error);
  }
}

// Every value error of every experiment, each once, as a run of that
// experiment would report it.
TEST(CheckerTest, StudyValuesOfEveryExperimentAreChecked) {
  struct Row {
    const char* name;
    const char* model;
    std::vector<std::string> errors;  // "line:column: message"
  };
  const Row rows[] = {
      {"defaults",
       "place a = 40000;\nplace y = -3;\nplace z = 2 bounds -2 .. 1;\n",
       {"1:7: the initial marking 40000 of place 'a' is outside 0..32767",
        "2:7: the initial marking -3 of place 'y' is outside 0..32767",
        "3:7: the initial marking 2 of place 'z' is outside -2..1"}},
      {"signed and in range", "place y = -3 bounds -3 .. 0;\n", {}},
      {"per experiment",
       "global int n = 1;\nstudy s { sweep n in [1, 9, -1, 9]; }\n"
       "place a = n bounds -1 .. 5;\nplace b = -7;\n",
       {"3:7: the initial marking 9 of place 'a' is outside -1..5 in "
        "Experiments 2, 4",
        "4:7: the initial marking -7 of place 'b' is outside 0..32767"}},
      // Timings that read no marking; those that do are checked in each
      // state (b - 1 is -1 only where b is empty).
      {"fixed timings",
       "global real d = 1;\nstudy s { sweep d in [1, -0.5]; }\n"
       "place a = 1;\nplace b;\n"
       "activity t delay d { input a; output b; }\n"
       "activity u rate 1/0 { input b; case -1 { } case b - 1 { } }\n"
       "activity v instant weight 0 mod 0 { input b; }\n"
       "activity w rate b - 1 { input b; }\n",
       {"5:18: the delay -0.5 of 't' must be a finite number that is not "
        "negative in Experiment 2",
        "6:18: the rate inf of 'u' must be a finite number that is not "
        "negative",
        "6:37: the case probability -1 of 'u' must be a finite number that "
        "is not negative",
        "7:29: the weight nan of 'v' must be a finite number that is not "
        "negative"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ParseResult result = LoadModelText(row.model, "t.san");
    ASSERT_TRUE(result.errors.empty()) << result.errors[0].message;
    std::vector<std::string> errors;
    for (const Diagnostic& d : CheckStudyValues(result.model)) {
      errors.push_back(std::to_string(d.where.line) + ":" +
                       std::to_string(d.where.column) + ": " + d.message);
    }
    EXPECT_EQ(errors, row.errors);
  }
}

}  // namespace
