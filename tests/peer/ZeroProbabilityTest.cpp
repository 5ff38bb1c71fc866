// Destinations and cases whose probability is 0 in a state are never taken,
// in every format san reads: each model below has such a choice that would
// set x outside 0..2 if it were fired.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

// x in 0..2 moves up by one while below 2 and from 2 back to 0; the other
// destination of each step has probability 0 and would leave the range.
const char* const kJaniCtmc =
    R"({"jani-version": 1, "name": "z", "type": "ctmc",
 "variables": [{"name": "x", "initial-value": 0,
   "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 2}}],
 "automata": [{"name": "A", "locations": [{"name": "l"}], "initial-locations": ["l"],
   "edges": [{"location": "l", "rate": {"exp": 1}, "destinations": [
     {"location": "l", "probability": {"exp": {"op": "ite",
        "if": {"op": "<", "left": "x", "right": 2}, "then": 1, "else": 0}},
      "assignments": [{"ref": "x", "value": {"op": "+", "left": "x", "right": 1}}]},
     {"location": "l", "probability": {"exp": {"op": "ite",
        "if": {"op": "<", "left": "x", "right": 2}, "then": 0, "else": 1}},
      "assignments": [{"ref": "x", "value": {"op": "-", "left": "x", "right": 2}}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]}})";

// The same choice on an immediate edge after a Markovian one.
const char* const kJaniMa = R"({"jani-version": 1, "name": "z", "type": "ma",
 "variables": [{"name": "x", "initial-value": 0,
   "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 2}}],
 "automata": [{"name": "A", "locations": [{"name": "l"}, {"name": "pick"}],
   "initial-locations": ["l"],
   "edges": [{"location": "l", "rate": {"exp": 1}, "destinations": [{"location": "pick"}]},
    {"location": "pick", "destinations": [
     {"location": "l", "probability": {"exp": {"op": "ite",
        "if": {"op": "<", "left": "x", "right": 2}, "then": 1, "else": 0}},
      "assignments": [{"ref": "x", "value": {"op": "+", "left": "x", "right": 1}}]},
     {"location": "l", "probability": {"exp": {"op": "ite",
        "if": {"op": "<", "left": "x", "right": 2}, "then": 0, "else": 1}},
      "assignments": [{"ref": "x", "value": {"op": "-", "left": "x", "right": 2}}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]}})";

const char* const kTextTimed = R"(place x bounds 0 .. 2;
activity move rate 1 {
  case x < 2 ? 1 : 0 { output gate { x += 1; } }
  case x < 2 ? 0 : 1 { output gate { x -= 2; } }
}
)";

const char* const kTextInstant = R"(place x bounds 0 .. 2;
place go bounds 0 .. 1;
activity tick rate 1 { input gate when go == 0; output go; }
activity pick instant {
  input go;
  case x < 2 ? 1 : 0 { output gate { x += 1; } }
  case x < 2 ? 0 : 1 { output gate { x -= 2; } }
}
)";

TEST(ZeroProbabilityTest, ChoicesOfProbabilityZeroAreNeverTaken) {
  struct Row {
    const char* file;
    const char* text;
  };
  const std::vector<Row> rows = {
      {"ctmc.jani", kJaniCtmc},
      {"ma.jani", kJaniMa},
      {"timed.san", kTextTimed},
      {"instant.san", kTextInstant},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ScopedTempDir dir;
    std::ofstream(dir.path() + "/" + row.file) << row.text;
    RunOk(SAN_BINARY, {row.file, "-P" + dir.path() + "/", "-Nz", "-B0"},
          dir.path());
    // 0 -> 1 -> 2 -> 0, each at rate 1.
    const ChainCounts counts = CountChain(dir.path() + "/z.arm");
    EXPECT_EQ(counts.states, 3u);
    EXPECT_EQ(counts.transitions, 3u);
  }
}

// An immediate edge whose only destination has probability 0 in a state
// is not taken there: kJaniMa without its second destination stays in the
// location pick at x = 2, a stable and absorbing state, where taking the
// edge would set x to 3.
TEST(ZeroProbabilityTest, AnImmediateEdgeWithItsOnlyDestinationAtZeroStays) {
  std::string text = kJaniMa;
  const std::string second = R"(,
     {"location": "l", "probability": {"exp": {"op": "ite",
        "if": {"op": "<", "left": "x", "right": 2}, "then": 0, "else": 1}},
      "assignments": [{"ref": "x", "value": {"op": "-", "left": "x", "right": 2}}]})";
  const std::size_t at = text.rfind(second);
  ASSERT_NE(at, std::string::npos);
  text.erase(at, second.size());
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/one.jani") << text;
  RunOk(SAN_BINARY,
        {"one.jani", "-P" + dir.path() + "/", "-Nz", "-B0", "--states"},
        dir.path());
  EXPECT_EQ(ReadWholeFile(dir.path() + "/z.states"),
            "1 x=0 A.location=0\n2 x=1 A.location=0\n3 x=2 A.location=0\n"
            "4 x=2 A.location=1\n");
}

}  // namespace
