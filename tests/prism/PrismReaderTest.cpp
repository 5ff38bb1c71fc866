#include "prism/PrismReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "peer/ConstantValue.h"
#include "prism/PrismParser.h"
#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

double Relative(double a, double b) {
  return std::fabs(a - b) / std::max(std::fabs(b), 1e-300);
}

// Writes `name`.prism and the property file `name`.csl into `dir`,
// generates the chain with `options` before the files (the run writes its
// own `name`.props), and returns what solve prints of it.
std::map<std::string, double> Solved(const std::string& dir,
                                     const std::string& name,
                                     const std::string& model,
                                     const std::string& properties,
                                     std::vector<std::string> options = {}) {
  WriteFile(dir + "/" + name + ".prism", model);
  WriteFile(dir + "/" + name + ".csl", properties);
  for (const std::string& arg :
       {std::string("--props"), name + ".csl", name + ".prism",
        "-P" + dir + "/", "-N" + name, std::string("-B0")}) {
    options.push_back(arg);
  }
  RunOk(SAN_BINARY, options, dir);
  return SolveCsv(SOLVE_BINARY, dir, name);
}

// Operators by precedence and the language's function rules, as constant
// values.
// `piece` written `count` times.
std::string Repeated(const std::string& piece, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += piece;
  return text;
}

TEST(PrismReaderTest, ExpressionsFollowTheLanguagesPrecedenceAndFunctions) {
  struct Row {
    const char* expr;
    double value;
  };
  const Row rows[] = {
      {"-2^2", 4},
      {"2^3^2", 64},
      {"7/2", 3.5},
      {"1 + 2 * 3 - 4", 3},
      {"mod(-1, 4)", 3},
      {"mod(7, 3)", 1},
      {"round(-1.5)", -1},
      {"round(2.5)", 3},
      {"round(0.49999999999999994)", 0},
      {"round(-0.5)", 0},
      {"round(-2.7)", -3},
      {"func(floor, 2.5)", 2},
      {"ceil(2.1)", 3},
      {"log(8, 2)", 3},
      {"min(4, 2, 3) + max(1, 5)", 7},
      {"pow(2, 10)", 1024},
      {"true ? 1 : false ? 2 : 3", 1},
      {"false ? 1 : false ? 2 : 3", 3},
      {"!1 = 2 ? 1 : 0", 1},
      {"(false => false) & (true <=> true) | false ? 1 : 0", 1},
      {"1.5E+3 + .5 + 3e-2", 1500.53},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expr);
    PrismModelFile model;
    std::vector<Diagnostic> errors;
    const std::string text =
        std::string("ctmc const double c = ") + row.expr + ";";
    ASSERT_TRUE(ParsePrismModel(text, "e.prism", &model, &errors))
        << FormatDiagnostics(errors, &text);
    std::string error;
    const std::optional<ConstantValue> value = EvaluateConstant(
        *model.constants.at(0).value,
        [](const std::string&) { return std::nullopt; }, &error);
    ASSERT_TRUE(value) << error;
    EXPECT_NEAR(value->value, row.value, 1e-12);
  }
}

TEST(PrismReaderTest, MalformedInputNamesFileLineAndColumnWithACaret) {
  struct Row {
    const char* what;
    std::string model;
    std::string properties;  // empty: no property file
    const char* expected;
  };
  const std::string module = "module m\n  x : [0..2];\n";
  const std::vector<Row> rows = {
      {"a character no token starts with", "ctmc\nconst int N = 2 # 3;\n", "",
       "m.prism:2:17: unexpected character '#'\nconst int N = 2 # 3;\n"
       "                ^\n"},
      {"no model type", "const int N = 2;\n", "",
       "m.prism:1:1: no model type; only ctmc is read"},
      {"another model type", "dtmc\n", "",
       "m.prism:1:1: model type 'dtmc' is not supported; only ctmc is read"},
      {"a missing semicolon", "ctmc\nconst int N = 2\nconst int M = 3;\n", "",
       "m.prism:3:1: expected ';', found 'const'"},
      {"an unbounded int", "ctmc\nmodule m\n  x : int;\nendmodule\n", "",
       "m.prism:3:7: unbounded int variable 'x' is not supported"},
      {"a keyword as a name", "ctmc\nconst int F = 1;\n", "",
       "m.prism:2:11: 'F' is a keyword"},
      {"an unknown name",
       "ctmc\n" + module + "  [] y > 0 -> (x'=1);\nendmodule\n", "",
       "m.prism:4:6: unknown name 'y'"},
      {"a variable of another module",
       "ctmc\n" + module +
           "endmodule\nmodule n\n  [] true -> (x'=1);\nendmodule\n",
       "", "m.prism:6:14: module 'n' cannot write 'x' of module 'm'"},
      {"a global written under an action",
       "ctmc\nglobal g : bool;\nmodule m\n  [a] true -> (g'=true);\n"
       "endmodule\n",
       "",
       "m.prism:4:15: global 'g' cannot be written by a command with an "
       "action"},
      {"a variable assigned twice",
       "ctmc\n" + module + "  [] true -> (x'=1) & (x'=2);\nendmodule\n", "",
       "m.prism:4:23: 'x' is assigned twice in one update"},
      {"a renaming that keeps a variable",
       "ctmc\n" + module + "endmodule\nmodule n = m [a=b] endmodule\n", "",
       "needs a new name for variable 'x' of 'm'"},
      {"a name renamed twice",
       "ctmc\n" + module + "endmodule\nmodule n = m [x=y, x=z] endmodule\n", "",
       "m.prism:5:20: 'x' is renamed twice"},
      {"a renaming of a name the base does not use (a typo shares the action)",
       "ctmc\n" + module + "  [go] x < 2 -> (x'=x+1);\nendmodule\n" +
           "module n = m [x=y, og=go2] endmodule\n",
       "", "m.prism:6:20: 'og' does not occur in module 'm'"},
      {"two modules of one name",
       "ctmc\n" + module + "endmodule\nmodule m\n  y : [0..2];\nendmodule\n",
       "", "m.prism:5:8: module 'm' is declared twice"},
      // Modules share the namespace of constants, formulas and variables;
      // the later declaration is the one named.
      {"a module named as a later constant",
       "ctmc\n" + module + "endmodule\nconst int m = 2;\n", "",
       "m.prism:5:1: 'm' is declared twice"},
      {"a module named as an earlier formula",
       "ctmc\nformula f = 1;\n" + module +
           "endmodule\nmodule f\n"
           "  y : [0..2];\nendmodule\n",
       "", "m.prism:6:8: 'f' is declared twice"},
      {"a module named as its own variable",
       "ctmc\nmodule x\n  x : [0..1];\nendmodule\n", "",
       "m.prism:3:3: 'x' is declared twice"},
      {"a renamed module named as a variable of its base",
       "ctmc\n" + module + "endmodule\nmodule x = m [x=y] endmodule\n", "",
       "m.prism:5:8: 'x' is declared twice"},
      {"a property-file constant named as a module",
       "ctmc\n" + module + "endmodule\n", "const int m = 1;\nS=? [ x = 0 ];\n",
       "m.props:1:1: 'm' is declared twice"},
      {"init ... endinit with several states",
       "ctmc\n" + module + "endmodule\ninit x < 2 endinit\n", "",
       "init ... endinit gives 2 initial states; only one is supported"},
      {"an open constant without a value", "ctmc\nconst double r;\n", "",
       "m.prism:2:1: constant 'r' has no value: give one with --const r=VALUE"},
      {"a constant defined through itself",
       "ctmc\nconst int a = b;\nconst int b = a + 1;\n", "",
       "defined through itself"},
      {"an expression nested too deeply",
       "ctmc\nconst int c = " + std::string(300, '(') + "1" +
           std::string(300, ')') + ";\n",
       "", "m.prism:2:215: expression nested more than 200 levels deep"},
      {"a chain of operators too long to be kept",
       "ctmc\nconst int c = 1" + Repeated("+1", 6000) + ";\n", "",
       "m.prism:2:10016: expression more than 5000 operators deep"},
      {"a chain of powers too long to be kept",
       "ctmc\nconst int c = 1" + Repeated("^1", 6000) + ";\n", "",
       "m.prism:2:10016: expression more than 5000 operators deep"},
      {"implications nested too deeply",
       "ctmc\nconst bool c = true" + Repeated("=>true", 300) + ";\n", "",
       "expression nested more than 200 levels deep"},
      {"a value outside the range",
       "ctmc\nmodule m\n  x : [0..2] init 3;\n"
       "endmodule\n",
       "", "m.prism:3:19: initial value of 'x' is outside its range"},
      {"a guard that is not a condition",
       "ctmc\n" + module + "  [] x -> (x'=1);\nendmodule\n", "",
       "m.prism:4:6:"},
      {"a type error names the operator as written: = rather than ==",
       "ctmc\n" + module + "  [] x = true -> (x'=1);\nendmodule\n", "",
       "m.prism:4:8: '=' compares a bool with a number"},
      {"a type error names the operator as written: => rather than !, |",
       "ctmc\n" + module + "endmodule\n", "S=? [ x < 1 => x ];\n",
       "m.props:1:13: '=>' needs two bools, not bool and int"},
      {"a type error names the operator as written: ! rather than not",
       "ctmc\nconst bool b = !2;\n", "", "m.prism:2:16: '!' needs a bool"},
      {"an unknown name in a reward structure no property reads",
       "ctmc\n" + module + "endmodule\nrewards \"r\" true : xx; endrewards\n",
       "", "m.prism:5:20: unknown name 'xx'"},
      // Formulas and labels are checked where nothing reads them too.
      {"an unknown name in a formula nothing reads",
       "ctmc\n" + module + "endmodule\nformula h = zz + 1;\n", "",
       "m.prism:5:13: unknown name 'zz'"},
      {"formulas defined through each other that nothing reads",
       "ctmc\n" + module + "endmodule\nformula f = g + 1;\nformula g = f;\n",
       "", "m.prism:6:13: formulas or labels defined through themselves"},
      {"an int label in the property file", "ctmc\n" + module + "endmodule\n",
       "label \"q\" = x;\nS=? [ x = 1 ];\n",
       "m.props:1:13: label \"q\" must be a bool, not int"},
      // Type errors of reward items, also where no property reads them.
      {"a bool value of a state reward item",
       "ctmc\n" + module +
           "endmodule\nrewards \"r\" true : x > 0; endrewards\n",
       "R{\"r\"}=? [ S ];\n",
       "m.prism:5:13: the value of a reward item must be a number, not bool"},
      {"a bool value of a transition reward item",
       "ctmc\n" + module +
           "  [a] x < 2 -> (x'=x+1);\nendmodule\n"
           "rewards \"r\"\n  [a] true : x = 1;\nendrewards\n",
       "",
       "m.prism:7:3: the value of a reward item must be a number, not bool"},
      {"an int guard of a reward item",
       "ctmc\n" + module + "endmodule\nrewards x : 2; endrewards\n", "",
       "m.prism:5:9: the guard of a reward item must be a bool, not int"},
      {"an ill-typed reward value",
       "ctmc\n" + module + "endmodule\nrewards true : x + true; endrewards\n",
       "", "m.prism:5:18: '+' needs two numbers, not int and bool"},
      {"a property file with a syntax error", "ctmc\n" + module + "endmodule\n",
       "\"p\": S=? [ x = 1 ];\nlabel = 2;\n",
       "m.props:2:7: expected a quoted name, found '='\nlabel = 2;\n      ^\n"},
      {"an unknown label in a property", "ctmc\n" + module + "endmodule\n",
       "P=? [ F \"done\" ];\n",
       "m.props:1:9: unknown label \"done\"\nP=? [ F \"done\" ];\n        ^\n"},
      {"an int constant beyond 32 bits",
       "ctmc\nconst int big = 2147483647;\nconst int c = 2 * (big + 1);\n", "",
       "m.prism:3:24: int value 2147483648 is outside 32 bits "
       "(-2147483648..2147483647)"},
      {"an int product beyond 32 bits in a rate",
       "ctmc\n" + module + "  [] x < 2 -> 65536 * 65536 : (x'=1);\nendmodule\n",
       "", "m.prism:4:21: int value 4294967296 is outside 32 bits"},
      {"an int below 32 bits in a property", "ctmc\n" + module + "endmodule\n",
       "S=? [ x > -2147483647 - 2 ];\n",
       "m.props:1:23: int value -2147483649 is outside 32 bits"},
      {"mod by 0", "ctmc\nconst int c = mod(5, 0);\n", "",
       "m.prism:2:15: mod by 0: the divisor must be at least 1"},
      // Constants that give no number are refused where they are written.
      {"log of a constant below 1",
       "ctmc\nconst double d = 2 * log(1 - 2, 2);\n", "",
       "m.prism:2:22: log of -1: the argument must be above 0"},
      {"log of 0 as a time bound", "ctmc\n" + module + "endmodule\n",
       "P=? [ F<=(log(0, 2)) x = 2 ];\n",
       "m.props:1:11: log of 0: the argument must be above 0"},
      // An infinite bound is not the absent one.
      {"an infinite time bound",
       "ctmc\nconst double d = pow(0, -1);\n" + module + "endmodule\n",
       "P=? [ F<=d x = 2 ];\nR=? [ C<=2*d ];\n",
       "m.props:1:10: a time bound must be a finite number that is not "
       "negative"},
      {"an infinite lower time bound", "ctmc\n" + module + "endmodule\n",
       "P=? [ G[(pow(0, -1)), (pow(0, -1))] x < 2 ];\n",
       "m.props:1:10: a time bound must be a finite number"},
      {"an int that is not a number",
       "ctmc\nconst int n = floor(pow(-8, 0.5));\n" + module + "endmodule\n",
       "", "m.prism:2:15: int value nan is outside 32 bits"},
      {"mod by a negative constant",
       "ctmc\nconst int n = -2;\n" + module +
           "  [] mod(x, n) = 0 -> (x'=1);\nendmodule\n",
       "", "m.prism:5:6: mod by -2: the divisor must be at least 1"},
      {"a property name used twice", "ctmc\n" + module + "endmodule\n",
       "\"p\": S=? [ x = 0 ];\n\"p\": S=? [ x = 1 ];\n",
       "m.props:2:1: property name \"p\" is used twice"},
      {"a formula named as a constant",
       "ctmc\nconst double lam = 1;\n" + module +
           "  [] x < 2 -> lam : (x'=x+1);\nendmodule\n",
       "formula lam = 3;\nS=? [ x = 1 ];\n",
       "m.props:1:9: 'lam' is declared twice"},
      {"a doubled operator in a property", "ctmc\n" + module + "endmodule\n",
       "\"a\": P=? [ F x==2 ];\n",
       "m.props:1:16: expected an expression, found '='"},
      {"an operator without its operand", "ctmc\n" + module + "endmodule\n",
       "\"b\": S=? [ x=2 & ];\n",
       "m.props:1:18: expected an expression, found ']'"},
      {"two properties run together", "ctmc\n" + module + "endmodule\n",
       "S=? [ x=2 ] S=? [ x=1 ];\n",
       "m.props:1:13: expected the end of the property, found 'S'"},
      {"a misspelt operator", "ctmc\n" + module + "endmodule\n",
       "Q=? [ F x=2 ];\n", "m.props:1:3: expected an expression, found '?'"},
      {"a time interval that ends before it starts",
       "ctmc\n" + module + "endmodule\n", "P=? [ x=0 U[3,2] x=1 ];\n",
       "m.props:1:15: the time interval ends before it starts"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    std::vector<std::string> args = {"--check"};
    WriteFile(dir.path() + "/m.prism", row.model);
    if (!row.properties.empty()) {
      WriteFile(dir.path() + "/m.props", row.properties);
      args.insert(args.end(), {"--props", "m.props"});
    }
    args.push_back("m.prism");
    const ProcessResult run = RunProcess(SAN_BINARY, args, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(row.expected), std::string::npos) << run.err;
  }
}

// Two workers that start at rate a = 2 and finish, each with its own
// action, at the clerk's rate b = 3 (passive workers carry rate 1); W2 is
// W1 renamed. Each worker is busy with probability p(t) = 2/5 (1 - e^-5t),
// and the workers are independent.
const char* const kWorkers = R"(// workers
stochastic
const double a = 2;
const double b;
formula idle1 = !busy1;
module W1
  busy1 : bool;
  [] idle1 -> a : (busy1' = true);
  [done] busy1 -> (busy1' = false);
endmodule
module W2 = W1 [busy1 = busy2, done = done2] endmodule
module Clerk
  [done] true -> b : true;
  [done2] true -> b : true;
endmodule
label "both" = busy1 & busy2;
rewards "work"
  busy1 : 1;
  busy2 : 1;
  [done] true : 5;
endrewards
rewards "time"
  true : 1;
endrewards
)";

// Semicolons may be left out where the next item starts a line; a line
// that ends inside brackets or on an operator goes on.
const char* const kWorkerProperties = R"(const double T = 1
"both": S=? [ "both" ];
"work": R{"work"}=? [ S ]
"now": R=? [ I=T ];
"so far": R{"work"}=?
  [ C<=T ]
"meet": R{"time"}=? [ F "both" ];
S=? [ busy1 ]
"soon": P=? [ F<=(T/2)
  "both" ];
"checked": P>=0.5 [ F "both" ]
"sum": P=? [ F "both" ] +
  P=? [ F "both" ]
"so far 2": R{"work"}=? [ C<=2*T/2 ]
"now 2": R=? [ I=T*1 ]
)";

TEST(PrismReaderTest, WorkersGiveTheHandDerivedValues) {
  ScopedTempDir dir;
  std::map<std::string, double> values =
      Solved(dir.path(), "w", kWorkers, kWorkerProperties, {"--const", "b=3"});
  const ChainCounts counts = CountChain(dir.path() + "/w.arm");
  EXPECT_EQ(counts.states, 4u);
  EXPECT_EQ(counts.transitions, 8u);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/w.props"),
            "props 1\n"
            "both\tsteady-state\tboth\n"
            "work\tsteady-state\twork\n"
            "now\treward-instant\tnow\t1\n"
            "so far\treward-cumulative\tso_far\t1\n"
            "meet\treach-time\tmeet\n"
            "prop6\tsteady-state\tprop6\n"
            "soon\treach-probability\tsoon\t0.5\n"
            "checked\tunsupported\tP>=0.5 [ F \"both\" ]\n"
            "sum\tunsupported\tP=? [ F \"both\" ] +   P=? [ F \"both\" ]\n"
            "so far 2\treward-cumulative\tso_far_2\t1\n"
            "now 2\treward-instant\tnow_2\t1\n");
  const double e5 = std::exp(-5.0);
  EXPECT_LT(Relative(values["property:both"], 4.0 / 25), 1e-9);
  // Both busy on average 2 * 2/5, and W1 finishes at 3 * 2/5 per unit
  // of time, earning 5 each time.
  EXPECT_LT(Relative(values["property:work"], 0.8 + 6.0), 1e-9);
  // The first structure, state rewards only: 2 p(1).
  EXPECT_LT(Relative(values["property:now"], 0.8 * (1 - e5)), 1e-6);
  // (2 + 5 * 3) times the integral of p over [0, 1].
  EXPECT_LT(Relative(values["property:so far"], 6.8 * (0.8 + e5 / 5)), 1e-6);
  // The same two with their time as a product.
  EXPECT_LT(Relative(values["property:so far 2"], 6.8 * (0.8 + e5 / 5)), 1e-6);
  EXPECT_LT(Relative(values["property:now 2"], 0.8 * (1 - e5)), 1e-6);
  // From both idle: h0 = 1/4 + h1 and h1 = 1/5 + 3/5 h0, so h0 = 9/8.
  EXPECT_LT(Relative(values["property:meet"], 9.0 / 8), 1e-9);
  EXPECT_LT(Relative(values["property:prop6"], 2.0 / 5), 1e-9);
}

// Two steps at rate 1 from x = 0 to x = 2, where nothing is enabled: the
// predefined "deadlock" label holds there and only there. A branch that is
// never taken may hold what would overflow.
const char* const kSteps = R"(ctmc
const int big = 2147483647;
module m
  x : [0..2];
  [] x < 2 -> (true ? 1 : big + 1) : (x' = x + 1);
endmodule
)";

// A reward item that compares or chooses on no number (a modulo by 0)
// stops generation rather than earning a made-up 0 or 1.
TEST(PrismReaderTest, RewardsThatReadNoNumberStopGeneration) {
  const std::string model =
      "ctmc\nmodule m\n  x : [0..2];\n  z : [0..1];\n"
      "  [a] x < 1 -> (x'=1);\nendmodule\n";
  for (const char* item :
       {"mod(x, z) = 0 : 1;", "[a] true : x/z < 1 ? 1 : 2;"}) {
    SCOPED_TRACE(item);
    ScopedTempDir dir;
    WriteFile(dir.path() + "/m.prism",
              model + "rewards \"r\" " + item + " endrewards\n");
    WriteFile(dir.path() + "/m.csl", "R=? [ S ];\n");
    const ProcessResult run = RunProcess(
        SAN_BINARY,
        {"--props", "m.csl", "m.prism", "-P" + dir.path() + "/", "-Nm"},
        dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("Error: the rate reward of reward variable prop1 is "
                           "nan in state 1 (marking: x=0 z=0)"),
              std::string::npos)
        << run.err;
  }
}

TEST(PrismReaderTest, TheDeadlockLabelHoldsWhereNoCommandCanFire) {
  ScopedTempDir dir;
  std::map<std::string, double> values =
      Solved(dir.path(), "s", kSteps,
             "\"stuck\": P=? [ F<=1 \"deadlock\" ];\n"
             "\"end\": S=? [ \"deadlock\" ];\n"
             "\"not yet\": S=? [ !\"deadlock\" ];\n"
             "\"moving\": P=? [ G<=2/2 !\"deadlock\" ];\n"
             "\"at 0\": P=? [ G<=0 x = 0 ];\n"
             "\"late\": P=? [ G[1,2] x < 2 ];\n"
             "\"ever\": P=? [ G x < 2 ];\n");
  EXPECT_EQ(CountChain(dir.path() + "/s.arm").states, 3u);
  // Erlang(2, 1) by time 1.
  EXPECT_LT(Relative(values["property:stuck"], 1 - 2 * std::exp(-1.0)), 1e-9);
  EXPECT_LT(Relative(values["property:end"], 1.0), 1e-12);
  EXPECT_LT(std::fabs(values["property:not yet"]), 1e-12);
  // G<=t is the complement of F<=t of the complement; G<=0 the start. A
  // bound may be a product.
  EXPECT_LT(Relative(values["property:moving"], 2 * std::exp(-1.0)), 1e-9);
  EXPECT_LT(Relative(values["property:at 0"], 1.0), 1e-12);
  // Other bounds of G are listed as unsupported, with no value.
  const std::string props = ReadWholeFile(dir.path() + "/s.props");
  EXPECT_NE(props.find("late\tunsupported\t"), std::string::npos) << props;
  EXPECT_NE(props.find("ever\tunsupported\t"), std::string::npos) << props;
}

// Where every command whose guard holds has rate 0 (mass action at a count
// of 0) or waits for a partner that cannot move, nothing leaves the state:
// "deadlock" holds there too. Decay from a = 2 at rate 3a takes 1/6 + 1/3.
const char* const kDecay = R"(ctmc
module m
  a : [0..2] init 2;
  [] true -> 3*a : (a'=max(a-1, 0));
  [go] a = 2 -> 1 : true;
endmodule
module n
  b : bool;
  [go] b -> (b'=false);
endmodule
rewards "time" true : 1; endrewards
)";

TEST(PrismReaderTest, TheDeadlockLabelHoldsWhereEveryEnabledRateIsZero) {
  ScopedTempDir dir;
  std::map<std::string, double> values =
      Solved(dir.path(), "d", kDecay,
             "\"ever\": P=? [ F \"deadlock\" ];\n"
             "\"time\": R=? [ F \"deadlock\" ];\n"
             "\"end\": S=? [ \"deadlock\" ];\n"
             "\"start\": S=? [ a = 2 & \"deadlock\" ];\n");
  EXPECT_LT(Relative(values["property:ever"], 1.0), 1e-12);
  EXPECT_LT(Relative(values["property:time"], 0.5), 1e-12);
  EXPECT_LT(Relative(values["property:end"], 1.0), 1e-12);
  EXPECT_EQ(values["property:start"], 0.0);
}

// Properties of forms that have no kind are listed as unsupported, however
// they combine the operators of the language, and so are those that read
// another property by its name.
TEST(PrismReaderTest, WellFormedPropertiesOfOtherFormsAreListedAsUnsupported) {
  const std::vector<std::string> properties = {
      "P>=0.5 [ F x=2 ]",
      "S<0.1 [ x=2 ]",
      "R{\"r\"}<=3 [ F x=2 ]",
      "P=? [ X x=1 ]",
      "P=? [ x<2 W x=2 ]",
      "P=? [ x<2 R x=2 ]",
      "R=? [ C ]",
      "R{1}>2 [ I=1 ]",
      "R=? [ Fc x=2 ]",
      "P=? [ F S>0.9 [ x=1 ] ]",
      "P=? [ F G x>0 ]",
      "P=? [ F (x=1 & X<=2 x=2) ]",
      "filter(max, P=? [ F x=2 ], x<2)",
      "filter(+, S=? [ x=1 ])",
      "A [ G x<3 ]",
      "E [ F[1,2] x=2 ]",
      "1 - P=? [ F<=1 x=2 ]",
      "\"other\"",
      "P=? [ G<=1 \"other\" ]",
      "S=? [ \"other\" ]",
      "Pmax<0.3 [ x<1 U<=2 x=2 ]",
      "P=? [ F x=2 {x=0}{max} ]",
      "P=? [ G x<2 ]",
      "x=2",
      "P=? [ F x=2 ] > 0.5 ? 1 : 0",
  };
  ScopedTempDir dir;
  WriteFile(dir.path() + "/m.prism",
            "ctmc\nmodule m\n  x : [0..2];\n  [] x < 2 -> (x'=x+1);\n"
            "endmodule\nrewards \"r\" true : x; endrewards\n");
  std::string text = "\"other\": S=? [ x=0 ];\n";
  for (std::size_t i = 0; i < properties.size(); ++i) {
    text += "\"p" + std::to_string(i) + "\": " + properties[i] + ";\n";
  }
  WriteFile(dir.path() + "/m.csl", text);
  RunOk(SAN_BINARY,
        {"--props", "m.csl", "m.prism", "-P" + dir.path() + "/", "-Nm", "-B0"},
        dir.path());
  const std::string written = ReadWholeFile(dir.path() + "/m.props");
  for (std::size_t i = 0; i < properties.size(); ++i) {
    EXPECT_NE(written.find("p" + std::to_string(i) + "\tunsupported\t" +
                           properties[i] + "\n"),
              std::string::npos)
        << properties[i] << "\n"
        << written;
  }
}

// pow and ^ of ints with a constant exponent that is not negative are ints:
// they may size a range and be assigned. The cycle 1 -> 2 -> 4 -> 1 at rate
// 1 spends a third of the time in each state.
TEST(PrismReaderTest, PowersOfIntsAreInts) {
  ScopedTempDir dir;
  std::map<std::string, double> values = Solved(dir.path(), "p", R"(ctmc
const int K = pow(2, 2);
module m
  x : [0..K] init 2^0;
  [] x = 1 -> 1 : (x' = pow(x + 1, 1));
  [] x = 2 -> 1 : (x' = x^2);
  [] x = K -> 1 : (x' = pow(x, K - 4));
endmodule
rewards "x" true : x; endrewards
)",
                                                "\"at K\": S=? [ x = K ];\n"
                                                "\"mean\": R=? [ S ];\n");
  EXPECT_EQ(CountChain(dir.path() + "/p.arm").states, 3u);
  EXPECT_LT(Relative(values["property:at K"], 1.0 / 3), 1e-12);
  EXPECT_LT(Relative(values["property:mean"], 7.0 / 3), 1e-12);
  // A negative exponent gives a real, which an int cannot take.
  WriteFile(dir.path() + "/n.prism",
            "ctmc\nmodule m\n  x : [0..2];\n"
            "  [] x = 0 -> (x' = pow(2, -1));\nendmodule\n");
  const ProcessResult run =
      RunProcess(SAN_BINARY, {"--check", "n.prism"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("must be an int, not real"), std::string::npos)
      << run.err;
}

// The "deadlock" label of a model of many commands, and a reward structure
// of many items, are no deeper than a few dozen levels: 60000 guards or
// items read as a chain ran out of stack.
TEST(PrismReaderTest, ManyCommandsAndRewardItemsAreRead) {
  ScopedTempDir dir;
  std::string model = "ctmc\nmodule m\n  x : [0..1];\n";
  std::string rewards = "rewards \"r\"\n";
  for (int i = 0; i < 60000; ++i) {
    model += "  [] x = 0 -> (x' = 1);\n";
    rewards += "  x = 0 : 1;\n";
  }
  WriteFile(dir.path() + "/d.prism",
            model + "endmodule\n" + rewards + "endrewards\n");
  WriteFile(dir.path() + "/d.props", "S=? [ \"deadlock\" ];\nR=? [ S ];\n");
  const ProcessResult run = RunProcess(
      SAN_BINARY, {"--check", "--props", "d.props", "d.prism"}, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("prop2: steady-state"), std::string::npos) << run.out;
}

TEST(PrismReaderTest, EveryEnabledCommandOfAnActionPairsWithItsPartners) {
  // At x = 1 both go commands of Mover are enabled, each with Flipper's: two
  // transitions of rate 1 * 4. States (x, b): from (1, F) to (2, T) and
  // (0, T); (2, T) -> (0, F) -> (1, T) -> (2, F), (0, F); (2, F) -> (0, T)
  // -> (1, F): six states, eight transitions.
  ScopedTempDir dir;
  WriteFile(dir.path() + "/go.prism", R"(ctmc
module Mover
  x : [0..2] init 1;
  [go] x < 2 -> 1 : (x' = x + 1);
  [go] x > 0 -> 1 : (x' = 0);
endmodule
module Flipper
  b : bool;
  [go] true -> 4 : (b' = !b);
endmodule
)");
  RunOk(SAN_BINARY, {"go.prism", "-P" + dir.path() + "/", "-Ngo", "-B0"},
        dir.path());
  const ChainCounts counts = CountChain(dir.path() + "/go.arm");
  EXPECT_EQ(counts.states, 6u);
  EXPECT_EQ(counts.transitions, 8u);
}

class PrismModelsTest : public testing::Test {
 protected:
  std::string Model(const std::string& name) const {
    return std::string(GEN_MODELS_DIR) + "/" + name;
  }
  ScopedTempDir dir_;
};

// Kanban and FMS in the PRISM language give exactly the chains of their
// JANI versions: the same states in the same order, the same rates.
TEST_F(PrismModelsTest, KanbanAndFmsGiveTheChainsOfTheirJaniVersions) {
  for (const char* model : {"kanban", "fms"}) {
    for (int n = 1; n <= 3; ++n) {
      SCOPED_TRACE(std::string(model) + " N=" + std::to_string(n));
      const std::string constant = "N=" + std::to_string(n);
      const std::string p = "-P" + dir_.path() + "/";
      RunOk(SAN_BINARY,
            {"--const", constant, Model("jani/" + std::string(model) + ".jani"),
             p, "-Njani", "-B0"},
            dir_.path());
      RunOk(SAN_BINARY,
            {"--const", constant, "--props",
             Model("prism/" + std::string(model) + ".props"),
             Model("prism/" + std::string(model) + ".sm"), p, "-Nprism", "-B0"},
            dir_.path());
      const std::string jani = ReadWholeFile(dir_.path() + "/jani.arm");
      ASSERT_FALSE(jani.empty());
      EXPECT_TRUE(jani == ReadWholeFile(dir_.path() + "/prism.arm"));
      std::map<std::string, double> from_jani =
          SolveCsv(SOLVE_BINARY, dir_.path(), "jani");
      std::map<std::string, double> from_prism =
          SolveCsv(SOLVE_BINARY, dir_.path(), "prism");
      EXPECT_LT(Relative(from_prism["property:busy_machines"],
                         from_jani["property:busy_machines"]),
                1e-12);
    }
  }
}

}  // namespace
