#include "pnpro/PnproReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "lang/SourceLocation.h"
#include "peer/ConstantValue.h"
#include "pnpro/PnproExpression.h"
#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

double Relative(double a, double b) {
  return std::fabs(a - b) / std::max(std::fabs(b), 1e-300);
}

PnproNames Names() {
  PnproNames names;
  names.constant = [](const std::string& name) -> std::optional<ValueType> {
    if (name == "k") return ValueType::kInt;
    if (name == "r") return ValueType::kReal;
    return std::nullopt;
  };
  names.place = [](const std::string& name) { return name == "P"; };
  return names;
}

TEST(PnproExpressionTest, ParsesTheFormatsPrecedenceAndTypes) {
  // Constants k = 7 and r = 0.5 are folded in for evaluation.
  const ConstantLookup values =
      [](const std::string& name) -> std::optional<ConstantValue> {
    if (name == "k") return ConstantValue{7, ValueType::kInt};
    if (name == "r") return ConstantValue{0.5, ValueType::kReal};
    return std::nullopt;
  };
  struct Row {
    const char* text;
    double value;
    ValueType type;
  };
  const std::vector<Row> rows = {
      {"-2+3", -5, ValueType::kInt},  // unary minus takes the whole sum
      {"2*-3", -6, ValueType::kInt},
      {"k/2", 3, ValueType::kInt},  // integers divide with truncation
      {"Fract[k, 2]", 3.5, ValueType::kReal},
      {"k/2.0", 3.5, ValueType::kReal},
      {"1 + 2 * 3 - 4", 3, ValueType::kInt},
      {"If[k > 5 && !(k == 6), 1, 2]", 1, ValueType::kInt},
      {"Min[k, 3] + Max[r, 2.5E-1]", 3.5, ValueType::kReal},
      {"Mod[k, 4] * Abs[-1]", 3, ValueType::kInt},
      {"Round[2.5] + Floor[r] + Ceil[r]", 4, ValueType::kInt},
      {"k >= 7 -> False", 0, ValueType::kBool},
      {"True <-> k != 7", 0, ValueType::kBool},
      {".5 + Sqrt[4.0]", 2.5, ValueType::kReal},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const PnproParse parsed = ParsePnproExpression(row.text, Names(), false);
    ASSERT_TRUE(parsed.expr) << parsed.error;
    EXPECT_EQ(parsed.type, row.type);
    std::string error;
    const std::optional<ConstantValue> value =
        EvaluateConstant(*parsed.expr, values, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_DOUBLE_EQ(value->value, row.value);
  }
  // A real field (a delay, a weight, a REAL constant) divides integers
  // exactly: a delay of 1/2 is the rate 0.5, never 0.
  for (const char* text : {"1/2", "k/2 - 3"}) {
    SCOPED_TRACE(text);
    const PnproParse parsed = ParsePnproExpression(text, Names(), true);
    ASSERT_TRUE(parsed.expr) << parsed.error;
    EXPECT_EQ(parsed.type, ValueType::kReal);
    std::string error;
    const std::optional<ConstantValue> value =
        EvaluateConstant(*parsed.expr, values, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_DOUBLE_EQ(value->value, 0.5);
  }
}

TEST(PnproExpressionTest, RejectsWhatTheFormatRejects) {
  struct Row {
    const char* text;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"1.", "a real needs digits after its dot"},
      {"1.0E", "an exponent needs digits"},
      {"P + 1", "place 'P' needs '#' for its marking"},
      {"#Q", "'#Q' names no place"},
      {"q", "unknown name 'q'"},
      {"Binomial[4, 2]", "function Binomial[...] is not supported"},
      {"Min[1]", "Min takes 2 arguments"},
      {"(1 + 2", "missing ')'"},
      {"1 + True", "'+' needs numbers"},
      {"True && 1", "'&&' needs two booleans"},
      {"1 2", "unexpected '2'"},
      {"", "the expression ends too early"},
  };
  // A flat sum of 100,000 terms, a tree as deep, ended the process on a
  // full stack once parsed.
  std::string sum = "1";
  for (int k = 1; k < 100000; ++k) sum += "+1";
  EXPECT_NE(ParsePnproExpression(sum, Names(), false)
                .error.find("the expression is too long"),
            std::string::npos);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const PnproParse parsed = ParsePnproExpression(row.text, Names(), false);
    EXPECT_FALSE(parsed.expr);
    EXPECT_NE(parsed.error.find(row.expected), std::string::npos)
        << parsed.error;
  }
}

// A net of one place, one transition and one arc; NODES and ARCS add to it.
std::string Net(const std::string& nodes, const std::string& arcs = "") {
  return R"(<?xml version="1.0"?>
<project name="t" version="121"><gspn name="t"><nodes>
  <place name="A" marking="1"/>
  <transition name="go" type="EXP" delay="2.0"/>
)" + nodes +
         R"(</nodes><edges>
  <arc kind="INPUT" tail="A" head="go"/>
)" + arcs +
         "</edges></gspn></project>";
}

std::string Errors(const ImportedModel& model) {
  return FormatDiagnostics(model.errors, nullptr);
}

TEST(PnproReaderTest, MalformedInputNamesTheFileAndTheElement) {
  struct Row {
    const char* what;
    std::string text;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"not XML", "<project>\n  <gspn>",
       "bad.pnpro: line 2, column 8 (offset 17)"},
      {"wrong root", "<net/>",
       "bad.pnpro: <net>: the root element must be <project>"},
      {"no gspn page", "<project/>", "the project has no gspn page"},
      {"second root", Net("") + "<project/>",
       "bad.pnpro: <project>: a second root element beside <project>"},
      {"two gspn pages",
       "<project><gspn name='a'><nodes/><edges/></gspn><gspn name='b'><nodes/>"
       "<edges/></gspn></project>",
       "several gspn pages: choose one with --page NAME"},
      {"missing edges", "<project><gspn name='a'><nodes/></gspn></project>",
       "a gspn page needs <nodes> and <edges>"},
      {"second nodes",
       "<project><gspn name='a'><nodes/><edges/><nodes/></gspn></project>",
       "bad.pnpro: <gspn name=\"a\">: a gspn page has one <nodes>, not "
       "several"},
      {"general transition",
       Net(R"(<transition name="g" type="GEN" delay="1.0"/>)"),
       "bad.pnpro: <transition name=\"g\">: transition type \"GEN\" is not "
       "supported"},
      {"real marking", Net(R"(<place name="B" marking="1.0"/>)"),
       "bad.pnpro: <place name=\"B\">: marking \"1.0\" must be an integer"},
      {"template without value", Net(R"(<template name="K" type="INTEGER"/>)"),
       "bad.pnpro: <template name=\"K\">: template 'K' has no value: give one "
       "with --const K=VALUE"},
      {"constants in a cycle",
       Net(R"(<constant name="a" consttype="INTEGER" value="b"/>)"
           R"(<constant name="b" consttype="INTEGER" value="a + 1"/>)"),
       "depends on itself"},
      {"bad delay", Net(R"(<transition name="h" type="EXP" delay="1."/>)"),
       "bad.pnpro: <transition name=\"h\">: delay: a real needs digits after "
       "its "
       "dot in \"1.\""},
      {"zero weight",
       Net(R"(<transition name="i" type="IMM" weight="0.0"/>)",
           R"(<arc kind="INPUT" tail="A" head="i"/>)"),
       "<transition name=\"i\">: weight must be positive, not 0.0"},
      // Constant expressions are checked as their values: these passed the
      // import and then stopped generation with a rate of -2 or NaN, or (a
      // weight) were accepted while the transition never fired.
      {"negative multiplicity by an expression",
       Net("", R"(<arc kind="OUTPUT" tail="go" head="A" mult="1-2"/>)"),
       "<arc tail=\"go\" head=\"A\">: mult \"1-2\" is negative"},
      {"negative weight",
       Net(R"(<transition name="i" type="IMM" weight="-1.0"/>)",
           R"(<arc kind="INPUT" tail="A" head="i"/>)"),
       "<transition name=\"i\">: weight must be positive, not -1.0"},
      {"zero weight by an expression",
       Net(R"(<transition name="i" type="IMM" weight="0*1.0"/>)",
           R"(<arc kind="INPUT" tail="A" head="i"/>)"),
       "weight must be positive, not 0*1.0"},
      {"negative delay",
       Net(R"(<transition name="h" type="EXP" delay="0.5-1.0" nservers="1"/>)"),
       "<transition name=\"h\">: delay \"0.5-1.0\" is negative"},
      // Reported with no file and no element.
      {"boolean weight",
       Net(R"(<transition name="i" type="IMM" weight="#A &gt; 0"/>)",
           R"(<arc kind="INPUT" tail="A" head="i"/>)"),
       "bad.pnpro: <transition name=\"i\">: weight \"#A > 0\" must be a "
       "number"},
      {"division by zero",
       Net(R"(<transition name="h" type="EXP" delay="1/0" nservers="1"/>)"),
       "<transition name=\"h\">: delay \"1/0\": division by zero"},
      {"priority zero",
       Net(R"(<transition name="i" type="IMM" priority="0"/>)"),
       "priority 0 must be at least 1"},
      {"arc to nothing", Net("", R"(<arc kind="OUTPUT" tail="go" head="Z"/>)"),
       "bad.pnpro: <arc tail=\"go\" head=\"Z\">: an arc joins a place and a "
       "transition"},
      {"parallel arcs", Net("", R"(<arc kind="INPUT" tail="A" head="go"/>)"),
       "a second INPUT arc between 'A' and 'go'"},
      // Skipped, and with it the arc it was meant to be.
      {"unknown edge", Net("", R"(<arcc kind="OUTPUT" tail="go" head="A"/>)"),
       "bad.pnpro: <arcc>: unknown edge <arcc>"},
      {"unknown arc kind", Net("", R"(<arc kind="RESET" tail="A" head="go"/>)"),
       "arc kind \"RESET\" must be INPUT, OUTPUT or INHIBITOR"},
      {"infinite server without input",
       Net(R"(<transition name="src" type="EXP" delay="1.0"/>)"),
       "<transition name=\"src\">: an infinite-server transition needs an "
       "input "
       "arc"},
      {"coloured place", Net(R"(<place name="C" domain="D"/>)"),
       "coloured places are not supported"},
      // Accepted, and written to the .states file as "A B=0".
      {"name with a space", Net(R"(<place name="A B"/>)"),
       "bad.pnpro: <place name=\"A B\">: the name 'A B' must be letters, "
       "digits and '_'"},
      {"name starting with a digit",
       Net(R"(<transition name="2t" type="EXP" delay="1.0" nservers="1"/>)"),
       "the name '2t' must be letters"},
      {"duplicate name", Net(R"(<place name="go"/>)"),
       "the name 'go' is used twice"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ImportedModel model = ReadPnpro(row.text, "bad.pnpro", {});
    ASSERT_FALSE(model.errors.empty());
    EXPECT_NE(Errors(model).find(row.expected), std::string::npos)
        << Errors(model);
  }

  // A --const the net does not take was ignored: a misspelt name, or a
  // constant whose value the file gives.
  const std::string net =
      Net(R"(<constant name="c" consttype="INTEGER" value="2"/>)"
          R"(<template name="K" type="INTEGER"/>)");
  const std::vector<std::pair<std::string, std::string>> consts = {
      {"k", "bad.pnpro: --const: --const k: the net has no template 'k'"},
      {"c",
       "bad.pnpro: <constant name=\"c\">: constant 'c' has a value in "
       "the net; --const cannot set it"}};
  for (const auto& [name, expected] : consts) {
    SCOPED_TRACE(name);
    ImportOptions options;
    options.constants = {{"K", "1"}, {name, "3"}};
    const ImportedModel model = ReadPnpro(net, "bad.pnpro", options);
    EXPECT_NE(Errors(model).find(expected), std::string::npos) << Errors(model);
  }
}

TEST(PnproReaderTest, ServersAndRewardChoices) {
  // Single server: the delay alone; k servers: the delay times
  // min(degree, k); the default, infinite: the delay times the degree.
  ImportOptions options;
  options.rewards = "A,X_go";
  ImportedModel model = ReadPnpro(
      Net(R"(<transition name="two" type="EXP" delay="1.0" nservers="2"/>)"
          R"(<transition name="one" type="EXP" delay="1.0" nservers="1"/>)",
          R"(<arc kind="INPUT" tail="A" head="two" mult="2"/>)"
          R"(<arc kind="INPUT" tail="A" head="one"/>)"),
      "m.pnpro", options);
  ASSERT_TRUE(model.errors.empty()) << Errors(model);
  ASSERT_EQ(model.model.activities.size(), 3u);
  EXPECT_EQ(ExprToString(*model.model.activities[0].timing), "(2 * A)");
  EXPECT_EQ(ExprToString(*model.model.activities[1].timing),
            "(1 * min((A div 2), 2))");
  EXPECT_EQ(ExprToString(*model.model.activities[2].timing), "1");
  ASSERT_EQ(model.model.rewards.size(), 2u);
  EXPECT_EQ(model.model.rewards[1].impulses.at(0).activity, "go");

  // Real fields divide integers exactly, integer fields truncate: a REAL
  // constant 1/2 and a delay 3/2 are 0.5 and 1.5 (both were 0 and 1, and a
  // rate of 0 silently dropped the transition), a multiplicity 3/2 is 1.
  options.rewards = "A";
  model = ReadPnpro(
      Net(R"(<constant name="half" consttype="REAL" value="1/2"/>)"
          R"(<transition name="h" type="EXP" delay="half" nservers="1"/>)"
          R"(<transition name="t" type="EXP" delay="3/2" nservers="1"/>)"
          R"(<transition name="w" type="IMM" weight="1/2"/>)",
          R"(<arc kind="INPUT" tail="A" head="h"/>)"
          R"(<arc kind="INPUT" tail="A" head="t" mult="3/2"/>)"
          R"(<arc kind="INPUT" tail="A" head="w"/>)"),
      "m.pnpro", options);
  ASSERT_TRUE(model.errors.empty()) << Errors(model);
  ASSERT_EQ(model.model.activities.size(), 4u);
  const auto value = [](const Expr& expr) {
    std::string error;
    const std::optional<ConstantValue> v = EvaluateConstant(
        expr, [](const std::string&) { return std::nullopt; }, &error);
    return v ? v->value : -1.0;
  };
  EXPECT_EQ(value(*model.model.activities[1].timing), 0.5);
  EXPECT_EQ(value(*model.model.activities[2].timing), 1.5);
  EXPECT_EQ(value(*model.model.activities[3].weight), 0.5);
  EXPECT_EQ(model.constants.at(0).value.value, 0.5);

  // Without an input arc of a positive multiplicity every one of k
  // servers is busy: k times the delay. The import stopped with an
  // internal "min takes two or more arguments" and no file or element.
  options.rewards = "A";
  model = ReadPnpro(
      Net(R"(<transition name="src" type="EXP" delay="1.5" nservers="3"/>)"
          R"(<transition name="zero" type="EXP" delay="1.5" nservers="2"/>)",
          R"(<arc kind="OUTPUT" tail="src" head="A"/>)"
          R"(<arc kind="INPUT" tail="A" head="zero" mult="0"/>)"),
      "m.pnpro", options);
  ASSERT_TRUE(model.errors.empty()) << Errors(model);
  ASSERT_EQ(model.model.activities.size(), 3u);
  EXPECT_EQ(value(*model.model.activities[1].timing), 4.5);
  EXPECT_EQ(value(*model.model.activities[2].timing), 3.0);

  // A multiplicity that reads the marking and is 0 there leaves its arc out
  // of the enabling degree; the degree divided by it and generation
  // stopped on a rate of NaN.
  options.rewards = "A";
  model = ReadPnpro(
      Net(R"(<place name="B"/>)"
          R"(<transition name="k" type="EXP" delay="1.5" nservers="2"/>)"
          R"(<transition name="mixed" type="EXP" delay="1.5"/>)"
          R"(<transition name="inf" type="EXP" delay="1.5"/>)",
          R"(<arc kind="INPUT" tail="A" head="k" mult="#A"/>)"
          R"(<arc kind="INPUT" tail="A" head="mixed" mult="#A"/>)"
          R"(<arc kind="INPUT" tail="B" head="mixed"/>)"
          R"(<arc kind="INPUT" tail="A" head="inf" mult="#A"/>)"),
      "m.pnpro", options);
  ASSERT_TRUE(model.errors.empty()) << Errors(model);
  ASSERT_EQ(model.model.activities.size(), 4u);
  // The rate with A and B marked a and b.
  const auto rate = [](const Expr& expr, double a, double b) {
    ExprPtr marked = Clone(expr);
    std::vector<Expr*> stack = {marked.get()};
    while (!stack.empty()) {
      Expr* node = stack.back();
      stack.pop_back();
      if (node->kind == ExprKind::kPlace) {
        node->value = node->name == "A" ? a : b;
        node->kind = ExprKind::kConstant;
        node->type = ValueType::kInt;
      }
      for (ExprPtr& arg : node->args) stack.push_back(arg.get());
    }
    std::string error;
    const std::optional<ConstantValue> v = EvaluateConstant(
        *marked, [](const std::string&) { return std::nullopt; }, &error);
    return v ? v->value : -1.0;
  };
  const Expr& k = *model.model.activities[1].timing;
  const Expr& mixed = *model.model.activities[2].timing;
  const Expr& inf = *model.model.activities[3].timing;
  EXPECT_EQ(rate(k, 0, 0), 3.0);  // no arc counts: both servers busy
  EXPECT_EQ(rate(k, 3, 0), 1.5);  // 3 div 3
  EXPECT_EQ(rate(mixed, 0, 2), 3.0);
  EXPECT_EQ(rate(mixed, 2, 3), 1.5);
  EXPECT_EQ(rate(inf, 4, 0), 1.5);
  EXPECT_TRUE(std::isnan(rate(inf, 0, 0)));  // reported by generation

  // A place named X_go: --rewards X_go took its marking, never the
  // throughput of go.
  options.rewards = "X_go";
  model = ReadPnpro(Net(R"(<place name="X_go"/>)"), "m.pnpro", options);
  EXPECT_NE(Errors(model).find("\"X_go\" is both a place and the throughput "
                               "of transition 'go'"),
            std::string::npos)
      << Errors(model);

  // A list is taken as written: a name at the end left empty was dropped,
  // a repeated one became a second variable A_2.
  const std::vector<std::pair<std::string, std::string>> lists = {
      {"X_nothing", "\"X_nothing\" is neither a place nor X_"},
      {"A,", "\"\" is neither a place nor X_"},
      {"A,X_go,A", "\"A\" is listed twice"}};
  for (const auto& [list, expected] : lists) {
    SCOPED_TRACE(list);
    options.rewards = list;
    model = ReadPnpro(Net(""), "m.pnpro", options);
    EXPECT_NE(Errors(model).find("m.pnpro: --rewards: " + expected),
              std::string::npos)
        << Errors(model);
  }
}

class PnproRunTest : public testing::Test {
 protected:
  std::string Model(const std::string& name) const {
    return std::string(GEN_MODELS_DIR) + "/pnpro/" + name;
  }
  ScopedTempDir dir_;
};

TEST_F(PnproRunTest, WorkshopGivesTheHandComputedChain) {
  // Tangible markings (Idle, Ready, Work): M0 = (2,0,0), M1 = (1,0,1).
  // M0: wake (0.5 x 2 servers busy) then start 2/3 -> M1, sleep 1/3 back.
  // M1: wake 0.5 then sleep (start inhibited) back to M1; done 3 -> M0.
  // pi = (9, 2)/11; X_wake = 9/11 + 0.5 * 2/11, X_done = 6/11.
  RunOk(SAN_BINARY,
        {Model("workshop.pnpro"), "-P" + dir_.path() + "/", "-Nws", "-B0"},
        dir_.path());
  const ChainCounts counts = CountChain(dir_.path() + "/ws.arm");
  EXPECT_EQ(counts.states, 2u);
  EXPECT_EQ(counts.transitions, 4u);  // two of them self-loops
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "ws");
  // The .arm file holds every rate as the model computed it.
  EXPECT_LT(Relative(values["Idle"], 20.0 / 11), 1e-12);
  EXPECT_LT(Relative(values["Work"], 2.0 / 11), 1e-12);
  EXPECT_EQ(values["Ready"], 0.0);
  EXPECT_LT(Relative(values["X_wake"], 10.0 / 11), 1e-12);
  EXPECT_LT(Relative(values["X_done"], 6.0 / 11), 1e-12);

  // The immediate transitions' throughputs, on request: start fires after
  // 2/3 of the wakes in M0 (1 x 9/11 x 2/3 = 6/11); sleep after the other
  // third (3/11) and after every wake in M1 (0.5 x 2/11): 4/11.
  RunOk(SAN_BINARY,
        {"--rewards", "X_start,X_sleep", Model("workshop.pnpro"),
         "-P" + dir_.path() + "/", "-Nimm", "-B0"},
        dir_.path());
  values = SolveCsv(SOLVE_BINARY, dir_.path(), "imm");
  EXPECT_LT(Relative(values["X_start"], 6.0 / 11), 1e-9);
  EXPECT_LT(Relative(values["X_sleep"], 4.0 / 11), 1e-9);
}

TEST_F(PnproRunTest, AWeightOfZeroTakesTheConcession) {
  // A token goes A -t-> B, then on to C, and C -u-> A (rates 1). The
  // immediate `back` (B -> A, weight #C) has weight 0 whenever B is marked:
  // no concession there. Alone, it used to fire anyway (a one-state chain);
  // at priority 2 it hid `on` and the generator stopped on a total weight 0.
  const std::string head = R"(<?xml version="1.0"?>
<project name="w" version="121"><gspn name="w"><nodes>
  <place name="A" marking="1"/><place name="B"/><place name="C"/>
  <transition name="t" type="EXP" delay="1.0"/>
  <transition name="u" type="EXP" delay="1.0"/>
)";
  const std::string arcs = R"(</nodes><edges>
  <arc kind="INPUT" tail="A" head="t"/><arc kind="OUTPUT" tail="t" head="B"/>
  <arc kind="INPUT" tail="B" head="back"/>
  <arc kind="OUTPUT" tail="back" head="A"/>
  <arc kind="INPUT" tail="C" head="u"/><arc kind="OUTPUT" tail="u" head="A"/>
)";
  struct Case {
    const char* what;
    std::string net;
    double a;  // pi(A) = pi(C)
  };
  const std::vector<Case> cases = {
      // B is left by the exponential v at rate 1: pi = 1/3 each.
      {"alone",
       head + R"(<transition name="back" type="IMM" weight="#C"/>
  <transition name="v" type="EXP" delay="1.0"/>)" +
           arcs + R"(<arc kind="INPUT" tail="B" head="v"/>
  <arc kind="OUTPUT" tail="v" head="C"/></edges></gspn></project>)",
       1.0 / 3},
      // B is vanishing by `on`: pi = 1/2 each for A and C.
      {"above another",
       head + R"(<transition name="back" type="IMM" weight="#C" priority="2"/>
  <transition name="on" type="IMM"/>)" +
           arcs + R"(<arc kind="INPUT" tail="B" head="on"/>
  <arc kind="OUTPUT" tail="on" head="C"/></edges></gspn></project>)",
       0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(dir_.path() + "/w.pnpro") << c.net;
    RunOk(SAN_BINARY,
          {"--rewards", "A,C,X_back", "w.pnpro", "-P" + dir_.path() + "/",
           "-Nw", "-B0"},
          dir_.path());
    std::map<std::string, double> values =
        SolveCsv(SOLVE_BINARY, dir_.path(), "w");
    EXPECT_LT(Relative(values["A"], c.a), 1e-9);
    EXPECT_LT(Relative(values["C"], c.a), 1e-9);
    EXPECT_EQ(values["X_back"], 0.0);
  }
}

TEST_F(PnproRunTest, AMultiplicityBelowZeroStopsGeneration) {
  // "#Q - 1" is -1 while Q is empty: taking -1 tokens from A put one in,
  // and generation went on until A overflowed.
  std::ofstream(dir_.path() + "/n.pnpro") << R"(<?xml version="1.0"?>
<project name="n" version="121"><gspn name="n"><nodes>
  <place name="A" marking="1"/><place name="Q"/>
  <transition name="t" type="EXP" delay="1.0" nservers="1"/>
</nodes><edges>
  <arc kind="INPUT" tail="A" head="t" mult="#Q - 1"/>
</edges></gspn></project>)";
  const ProcessResult san = RunProcess(
      SAN_BINARY, {"n.pnpro", "-P" + dir_.path() + "/", "-Nn"}, dir_.path());
  EXPECT_NE(san.exit_code, 0);
  EXPECT_NE(san.err.find("Error: activity t would set place A to nan; it "
                         "must be a whole number in 0..32767 (state: A=1 Q=0)"),
            std::string::npos)
      << san.out << san.err;
}

TEST_F(PnproRunTest, KanbanAndFmsGiveTheCompiledChains) {
  for (const char* model : {"kanban", "fms"}) {
    for (int n = 1; n <= kLargestComparedN; ++n) {
      SCOPED_TRACE(std::string(model) + " N=" + std::to_string(n));
      // Only the places that make up the compiled model's reward.
      const std::string rewards =
          std::string(model) == "kanban"
              ? "machining1,machining2,machining3,machining4"
              : "P1M1,P2M2,P12M3,P3M2";
      const auto [compiled, imported] =
          GenerateBoth(GEN_BENCH_BINARY, SAN_BINARY, dir_.path(), model, n,
                       {"--const", "N=" + std::to_string(n), "--rewards",
                        rewards, Model(std::string(model) + ".pnpro")});
      EXPECT_EQ(imported.states, compiled.states);
      EXPECT_EQ(imported.transitions, compiled.transitions);
      if (n <= 3) {
        const double expected =
            SolveCsv(SOLVE_BINARY, dir_.path(), "compiled")["busy_machines"];
        double got = 0;
        for (const auto& [name, value] :
             SolveCsv(SOLVE_BINARY, dir_.path(), "imported")) {
          got += value;
        }
        // The compiled chain's rates carry eleven significant digits, the
        // imported one's every digit: the values differ by about 2e-11.
        EXPECT_LT(Relative(got, expected), 1e-10) << got << " " << expected;
      }
    }
  }
}

}  // namespace

namespace {

TEST_F(PnproRunTest, FormatByExtensionOrOptionAndCheckSummary) {
  const std::string net = ReadWholeFile(Model("workshop.pnpro"));
  for (const char* name : {"w.PNPRO", "w.xml"}) {
    std::ofstream(dir_.path() + "/" + name, std::ios::binary) << net;
  }
  struct Row {
    std::vector<std::string> args;
    int exit_code;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {{"--check", "w.PNPRO"}, 0, "model workshop\nplaces 3\nactivities 4"},
      {{"--check", "--format", "pnpro", "w.xml"}, 0, "reward variables 5\n"},
      {{"--check", "--rewards", "Work,X_done", "w.PNPRO"},
       0,
       "reward variables 2\n"},
      {{"--check", "w.xml"}, 1, "w.xml:1:1"},  // read as a model text
      {{"--check", "--const", "N=2", Model("../kanban.san")},
       1,
       "Error: --const is not an option of san files; a model text sets its "
       "globals with -O\n"},
      {{"--check", "--page", "p", Model("../jani/relay.jani")},
       1,
       "Error: --page is not an option of jani files\n"},
      {{"--check", "--const", "N", "w.PNPRO"}, 1, "--const needs NAME=VALUE"},
      {{"--check", "--rewards", "", "w.PNPRO"},
       1,
       "Error: --rewards needs at least one name\n"},
      {{"--check", "--const", "N=2", "--const", "N=3", "w.PNPRO"},
       1,
       "Error: --const N is given twice, as 2 and as 3\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.back());
    const ProcessResult run = RunProcess(SAN_BINARY, row.args, dir_.path());
    EXPECT_EQ(run.exit_code, row.exit_code) << run.err;
    EXPECT_NE((run.out + run.err).find(row.expected), std::string::npos)
        << run.out << run.err;
  }
}

}  // namespace
