// An imported integer variable is kept as its value minus its lower bound;
// run-time messages and traces show the model's own values and ranges.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/RunProcess.h"

namespace {

// One automaton with one edge at `rate` that sets x to `value`; x has the
// bounds `bounds` (JSON members) and starts at `initial`.
std::string JaniModel(const std::string& bounds, int initial,
                      const std::string& value, const std::string& rate) {
  return R"({"jani-version": 1, "name": "v", "type": "ctmc",
 "variables": [{"name": "x", "initial-value": )" +
         std::to_string(initial) +
         R"(, "type": {"kind": "bounded", "base": "int", )" + bounds + R"(}}],
 "automata": [{"name": "A", "locations": [{"name": "l"}], "initial-locations": ["l"],
   "edges": [{"location": "l", "rate": {"exp": )" +
         rate + R"(}, "destinations": [{"location": "l",
     "assignments": [{"ref": "x", "value": )" +
         value + R"(}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]}})";
}

const char* const kUp = R"({"op": "+", "left": "x", "right": 1})";
const char* const kDown = R"({"op": "-", "left": "x", "right": 1})";

TEST(ImportedValuesTest, RunTimeErrorsShowTheVariablesOwnValues) {
  struct Row {
    const char* file;
    std::string text;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"two.prism",
       "ctmc\nmodule m\n  x : [2..5] init 2;\n"
       "  [] x<5 -> 1.0 : (x'=x+1);\n  [] x=5 -> 1.0 : (x'=7);\nendmodule\n",
       "Error: activity m.c2 (two.prism:5) would set place x to 7; it must "
       "be a whole "
       "number in 2..5 (state: x=5)\n"},
      {"minus.prism",
       "ctmc\nmodule m\n  x : [-3..3] init -1;\n"
       "  [] true -> 1.0 : (x'=x+1);\nendmodule\n",
       "Error: activity m.c1 (minus.prism:4) would set place x to 4; it must "
       "be a whole number in -3..3 (state: x=3)\n"},
      // Every command of a synchronised transition, also those of a
      // renamed copy (written where its base is).
      {"sync.prism",
       "ctmc\nmodule m\n  x : [0..2] init 0;\n"
       "  [a] x<2 -> 1.0 : (x'=x+1);\n  [b] true -> 1.0 : (x'=x+1);\n"
       "endmodule\nmodule n = m [x=y, a=c] endmodule\n"
       "module k\n  z : bool;\n  [b] true -> 2.0 : (z'=!z);\nendmodule\n",
       "Error: activity b[m.c2,n.c2,k.c1] (sync.prism:5, sync.prism:5, "
       "sync.prism:10) would set place x to 3; it must be a whole number in "
       "0..2 (state: x=2 y=0 z=0)\n"},
      // Whole numbers in full, not in six significant digits.
      {"million.prism",
       "ctmc\nmodule m\n  x : [1000000..1000003] init 1000000;\n"
       "  [] true -> 1.0 : (x'=x+1);\nendmodule\n",
       "Error: activity m.c1 (million.prism:4) would set place x to 1000004; "
       "it must be a whole number in 1000000..1000003 (state: x=1000003)\n"},
      {"rate.prism",
       "ctmc\nmodule m\n  x : [-3..3] init -2;\n"
       "  [] true -> x : (x'=x);\nendmodule\n",
       "Error: invalid rate -2 of action m.c1 (rate.prism:4) while exploring "
       "state 1 (marking: x=-2); it must be a finite number that is not "
       "negative\n"},
      // A comparison or choice on no number (a modulo by 0) is refused
      // rather than taken as false; one never evaluated does no harm.
      {"guard.prism",
       "ctmc\nmodule m\n  x : [0..2];\n  z : [0..1];\n"
       "  [] z > 0 & mod(x, z) = 0 -> 1.0 : (x'=2);\n"
       "  [] z = 0 -> 1.0 : (x'=1);\n"
       "  [] mod(x, z) = 1 -> 1.0 : (x'=0);\nendmodule\n",
       "Error: the enabling condition of activity m.c3 (guard.prism:7) reads "
       "a value that is no number, such as a modulo by 0 (state: x=0 z=0)\n"},
      // min and max pass no number on instead of dropping it.
      {"min.prism",
       "ctmc\nmodule m\n  x : [0..2];\n  z : [0..1];\n"
       "  [] min(1, x/z) > 0 -> 1.0 : (x'=1);\nendmodule\n",
       "Error: the enabling condition of activity m.c1 (min.prism:5) reads a "
       "value that is no number, such as a modulo by 0 (state: x=0 z=0)\n"},
      {"max.prism",
       "ctmc\nconst double d = max(1, pow(0, -1) - pow(0, -1));\n"
       "module m\n  x : [0..2];\n  [] x < d -> 1.0 : (x'=1);\nendmodule\n",
       "Error: the enabling condition of activity m.c1 (max.prism:5) reads a "
       "value that is no number, such as a modulo by 0 (state: x=0)\n"},
      {"choice.prism",
       "ctmc\nmodule m\n  x : [0..2];\n  z : [0..1];\n"
       "  [] x < 2 -> x/z < 1 ? 1.0 : 2.0 : (x'=x+1);\nendmodule\n",
       "Error: the rate of activity m.c1 (choice.prism:5) reads a value that "
       "is no number, such as a modulo by 0 (state: x=0 z=0)\n"},
      {"update.prism",
       "ctmc\nmodule m\n  x : [0..2];\n  z : [0..1];\n"
       "  [] x < 2 -> 1.0 : (x'=mod(x, z) = 0 ? 2 : 1);\nendmodule\n",
       "Error: the effect of activity m.c1 (update.prism:5) reads a value "
       "that is no number, such as a modulo by 0 (state: x=0 z=0)\n"},
      // Int arithmetic has 32 bits: the run stops at the first state where
      // a product leaves them (22^7), not before, and never compares a
      // value rounded beyond 2^53.
      {"wide.prism",
       "ctmc\nmodule m\n  x : [0..1000];\n"
       "  [] x*x*x*x*x*x*x - 1 < x*x*x*x*x*x*x -> 1.0 : (x'=x+1);\n"
       "endmodule\n",
       "Error: the enabling condition of activity m.c1 (wide.prism:4) reads "
       "an int that leaves the 32-bit range (state: x=22)\n"},
      {"power.prism",
       "ctmc\nmodule m\n  x : [0..40];\n"
       "  [] x < 40 -> floor(pow(2, x)) > 1 ? 2.0 : 1.0 : "
       "(x'=x+1);\nendmodule\n",
       "Error: the rate of activity m.c1 (power.prism:4) reads an int that "
       "leaves the 32-bit range (state: x=31)\n"},
      {"two.jani",
       JaniModel(R"("lower-bound": 2, "upper-bound": 5)", 2, kUp, "1"),
       "Error: activity A.e0 would set place x to 6; it must be a whole "
       "number in 2..5 (state: x=5)\n"},
      // Without an upper bound x holds 32768 values from its lower bound.
      {"minus.jani", JaniModel(R"("lower-bound": -3)", -3, kDown, "1"),
       "Error: activity A.e0 would set place x to -4; it must be a whole "
       "number in -3..32764 (state: x=-3)\n"},
      {"rate.jani",
       JaniModel(R"("lower-bound": -3, "upper-bound": 3)", -2, "\"x\"",
                 "\"x\""),
       "Error: invalid rate -2 of action A.e0 while exploring state 1 "
       "(marking: x=-2); it must be a finite number that is not negative\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ScopedTempDir dir;
    std::ofstream(dir.path() + "/" + row.file) << row.text;
    const ProcessResult run = RunProcess(
        SAN_BINARY, {row.file, "-P" + dir.path() + "/", "-Nv"}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, row.message);
  }
}

// The trace and the .states file show x itself, not the stored marking (x
// minus its lower bound -3).
TEST(ImportedValuesTest, TracesAndTheStatesFileShowTheValues) {
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/a.prism")
      << "ctmc\nmodule m\n  x : [-3..3] init -1;\n"
         "  [] x<1 -> 1.0 : (x'=x+1);\nendmodule\n";
  const ProcessResult run =
      RunProcess(SAN_BINARY,
                 {"a.prism", "-P" + dir.path() + "/", "-Na", "-a", "-l1", "-t",
                  "trace.txt", "--states"},
                 dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string trace = ReadWholeFile(dir.path() + "/trace.txt");
  EXPECT_NE(trace.find("absorbing: \n  Model: (2)prism\n    x = 1\n"),
            std::string::npos)
      << trace;
  EXPECT_EQ(ReadWholeFile(dir.path() + "/a.states"), "1 x=-1\n2 x=0\n3 x=1\n");
}

}  // namespace
