// Reading model text: every class of error with its location and caret,
// and the flattening of composed models.

#include "lang/Parser.h"

#include <string>

#include "gtest/gtest.h"
#include "lang/ModelIr.h"

namespace {

std::string Errors(const std::string& text) {
  const ParseResult result = LoadModelText(text, "m.san");
  return FormatDiagnostics(result.errors, &text);
}

TEST(ParserTest, EachErrorClassNamesItsPlace) {
  struct Row {
    const char* name;
    const char* text;
    const char* first_line;  // "file:line:column: message"
  };
  const Row rows[] = {
      {"syntax", "place a = 1\nplace b;\n",
       "m.san:2:1: expected ';' but found 'place'"},
      {"bad character", "place a = 1 $ 2;\n",
       "m.san:1:13: unexpected character '$'"},
      {"unclosed comment", "place a;\n  /* never closed\n",
       "m.san:2:3: comment not closed"},
      {"unknown name", "place a;\nactivity t rate 1 { input b; }\n",
       "m.san:2:27: unknown place 'b' in an arc of 't'"},
      {"unknown name in an expression", "place a;\nreward r = a + z;\n",
       "m.san:2:16: unknown name 'z'"},
      {"type error: guard",
       "place a;\nactivity t rate 1 { input gate when a; }\n",
       "m.san:2:37: an input gate predicate must be a bool, not int"},
      {"type error: real into a marking",
       "place a;\nactivity t rate 1 { output gate { a = 1.5; } }\n",
       "m.san:2:39: the value assigned to 'a' must be an int, not real"},
      {"type error: operands", "place a;\nreward r = a and true ? 1 : 0;\n",
       "m.san:2:14: 'and' needs two bools, not int and bool"},
      {"probability that is not a number",
       "place a;\nactivity t rate 1 {\n  case a > 0 { output a; }\n  case 1 "
       "{ }\n}\n",
       "m.san:3:10: a case probability of 't' must be a number, not bool"},
      {"rate that is not a number", "place a;\nactivity t rate a == 1 { }\n",
       "m.san:2:19: the rate of 't' must be a number, not bool"},
      {"cycle in definitions",
       "define x = y + 1;\ndefine y = x * 2;\nplace a = 1;\nreward r = x;\n",
       "m.san:2:12: definition 'x' depends on itself: x -> y -> x"},
      {"marking read in an initial marking", "place a = 1;\nplace b = a;\n",
       "m.san:2:11: the marking of 'a' cannot be used here: only globals "
       "and constants"},
      {"joined places with different initial markings",
       "global int N = 2;\nsubmodel S { place p = N; }\nsubmodel T { place p "
       "= 1; }\njoin S;\njoin T;\n",
       "m.san:3:20: place 'p' is shared with different initial markings: 1 "
       "here, N at m.san:2:20"},
      {"duplicate name", "place a;\nglobal int a = 1;\n",
       "m.san:1:7: place 'a' has the name of an earlier global variable"},
      {"experiment of an unknown global",
       "study s { experiment { x = 1; } }\nplace a;\n",
       "m.san:1:24: unknown global variable 'x'"},
      {"fraction for an int global",
       "global int n;\nstudy s { sweep n in [1, 2.5]; }\nplace a;\n",
       "m.san:2:17: int global variable 'n' cannot take the value 2.500000"},
      {"sweep that ends before it starts",
       "global real d;\nstudy s { sweep d from 2 to 1.5; }\nplace a;\n",
       "m.san:2:29: the sweep goes from 2 to 1.5: its last value must not be "
       "less than its first"},
      {"case of an activity without cases",
       "place a;\nactivity t rate 1 { }\nreward r { impulse t_case1; }\n",
       "m.san:3:20: unknown activity 't_case1' in an impulse"},
      {"case beyond the last",
       "place a;\nactivity t rate 1 { case 1 { } case 1 { } }\n"
       "reward r { impulse t_case3; }\n",
       "m.san:3:20: unknown activity 't_case3' in an impulse"},
      {"unknown property kind", "place a;\nproperty p = mean(a);\n",
       "m.san:2:14: expected steady, reach, reach_time, instant, cumulative, "
       "until or reach_reward but found 'mean'"},
      {"interval that ends before it starts",
       "place a;\nproperty p = reach(a > 0, [3, 2]);\n",
       "m.san:2:31: a property's interval must not end before it starts"},
      {"negative start of an interval",
       "place a;\nproperty p = until(a > 0, a > 1, [-1, 2]);\n",
       "m.san:2:35: a property's time must be a finite number of at least 0"},
      {"interval where only a time is allowed",
       "place a;\nproperty p = cumulative(a, [0, 2]);\n",
       "m.san:2:28: expected a time but found '['"},
      {"until with one condition", "place a;\nproperty p = until(a > 0);\n",
       "m.san:2:25: expected ',' but found ')'"},
      {"property without its time", "place a;\nproperty p = instant(a);\n",
       "m.san:2:23: expected ',' but found ')'"},
      {"property of an unknown name", "place a;\nproperty p = steady(b);\n",
       "m.san:2:21: unknown name 'b'"},
      {"property name taken by a reward",
       "place a;\nreward prop_p = a;\nproperty p = steady(a > 0);\n",
       "m.san:3:10: property 'p' needs the reward variable name 'prop_p', "
       "which is taken"},
      {"unknown function", "place a;\nreward r = sqrt(a);\n",
       "m.san:2:12: unknown function 'sqrt'"},
      {"arity", "place a;\nreward r = pow(a);\n",
       "m.san:2:12: pow takes 2 arguments, not 1"},
      {"no places", "global int n;\n", "m.san: the model has no places"},
      {"reserved word as a name", "place a;\nactivity step rate 1 { }\n",
       "m.san:2:10: expected an activity name but found 'step', a reserved "
       "word that cannot be a name (the reserved words are listed under "
       "\"Lexical rules\" in docs/model-language.md)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string errors = Errors(row.text);
    EXPECT_EQ(errors.substr(0, errors.find('\n')), row.first_line) << errors;
  }
}

TEST(ParserTest, TheCaretStandsUnderTheColumn) {
  EXPECT_EQ(Errors("place a;\nreward r =\n\ta + zz;\n"),
            "m.san:3:6: unknown name 'zz'\n"
            "\ta + zz;\n"
            "\t    ^\n");
}

TEST(ParserTest, DeepNestingIsRefusedNotOverflowed) {
  std::string text = "place a;\nreward r = ";
  text += std::string(5000, '(') + "a" + std::string(5000, ')') + ";\n";
  EXPECT_NE(Errors(text).find("nested more than 100 deep"), std::string::npos);
  // A flat chain makes a tree as deep as it is long: 4,000 operators are
  // read, 100,000 (which ended the process on a full stack) are refused.
  auto chain = [](int terms, const char* op) {
    std::string text = "place a;\nreward r = a";
    for (int k = 1; k < terms; ++k) text += std::string(" ") + op + " a";
    return text + ";\n";
  };
  EXPECT_EQ(Errors(chain(4000, "+")), "");
  for (const char* op : {"+", "*", "or", "and"}) {
    EXPECT_NE(Errors(chain(100000, op)).find("more than 5000 operators deep"),
              std::string::npos)
        << op;
  }
}

TEST(ParserTest, SweepsAndExperimentsNumberInOrder) {
  const std::string text =
      "global real x; global int n = 4;\n"
      "study s {\n"
      "  experiment { x = 0.5; }\n"
      "  sweep n from 1 to 2 { x = 2; }\n"
      "  sweep x from 0.1 to 0.3 step 0.1;\n"
      "}\n"
      "place a;\n";
  const ParseResult result = LoadModelText(text, "m.san");
  ASSERT_TRUE(result.errors.empty()) << FormatDiagnostics(result.errors, &text);
  const auto& experiments = result.model.experiments;
  ASSERT_EQ(experiments.size(), 6u);
  EXPECT_EQ(experiments[1].settings.size(), 2u);  // x = 2, then n = 1
  EXPECT_EQ(experiments[2].settings.back().value, 2.0);
  // Values are first + k * step: 0.1 + 2 * 0.1, not three additions.
  EXPECT_EQ(experiments[5].settings.back().value, 0.1 + 2 * 0.1);
}

TEST(ParserTest, ReplicasRenameTheirOwnPlacesAndShareTheOthers) {
  const std::string text =
      "place pool = 3;\n"
      "submodel Cell(i) {\n"
      "  place busy;\n"
      "  place stock[2] = 1;\n"
      "  activity work rate i * 0.5 { input pool; input stock[1]; output busy; "
      "}\n"
      "}\n"
      "replicate Cell 2 share stock[2];\n"
      "reward r = busy_1 + busy_2 + stock_1_2;\n";
  ParseResult result = LoadModelText(text, "m.san");
  ASSERT_TRUE(result.errors.empty()) << FormatDiagnostics(result.errors, &text);
  const ModelIr& model = result.model;
  std::vector<std::string> places;
  for (const PlaceIr& place : model.places) places.push_back(place.name);
  EXPECT_EQ(places,
            (std::vector<std::string>{"pool", "busy_1", "stock_1_1", "stock_2",
                                      "busy_2", "stock_1_2"}));
  ASSERT_EQ(model.activities.size(), 2u);
  EXPECT_EQ(model.activities[1].name, "work_2");
  EXPECT_EQ(model.activities[1].inputs[1].place, "stock_1_2");
  EXPECT_EQ(model.activities[0].inputs[0].place, "pool");
  EXPECT_EQ(ExprToString(*model.activities[1].timing), "(2 * 0.5)");
  // stock_2 is shared, so its initial marking must agree between replicas:
  // with i in it, replica 2 disagrees with replica 1.
  const std::string clash =
      "submodel S(i) { place q = i; }\nreplicate S 2 share q;\n";
  EXPECT_NE(Errors(clash).find("place 'q' is shared with different initial "
                               "markings: 2 here, 1 at m.san:1:23"),
            std::string::npos);
}

TEST(ParserTest, JoinedSubmodelsShareEqualPlaces) {
  const std::string text =
      "submodel A { place p = 2; activity a rate 1 { input p; } }\n"
      "submodel B { place p = 2; place q; activity b rate 1 { output p; } }\n"
      "join A;\njoin B;\n";
  ParseResult result = LoadModelText(text, "m.san");
  ASSERT_TRUE(result.errors.empty()) << FormatDiagnostics(result.errors, &text);
  EXPECT_EQ(result.model.places.size(), 2u);
  EXPECT_EQ(result.model.activities[1].outputs[0].place_index, 0);
}

}  // namespace
