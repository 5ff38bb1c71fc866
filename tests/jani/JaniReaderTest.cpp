#include "jani/JaniReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"
#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

// One automaton over a bounded x in 0..N; RATE, GUARD and VALUE are
// replaced by each test.
const char* const kBase = R"({"jani-version": 1, "name": "m", "type": "ctmc",
 "constants": [{"name": "N", "type": "int", "value": 2}],
 "variables": [{"name": "x", "initial-value": 0,
   "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": "N"}}],
 "automata": [{"name": "A", "locations": [{"name": "l"}], "initial-locations": ["l"],
   "edges": [{"location": "l", "rate": {"exp": RATE}, "guard": {"exp": GUARD},
     "destinations": [{"location": "l", "assignments": [{"ref": "x", "value": VALUE}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]}})";

std::string Replace(std::string text, const std::string& from,
                    const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string BaseModel(
    const std::string& rate = "1.5",
    const std::string& guard = R"({"op": "<", "left": "x", "right": "N"})",
    const std::string& value = R"({"op": "+", "left": "x", "right": 1})") {
  return Replace(Replace(Replace(kBase, "RATE", rate), "GUARD", guard), "VALUE",
                 value);
}

// A transient c set in location b1 of B and in the only location of A,
// kOneLocationSetter.
const char* const kOneLocationSetter =
    R"({"name": "A", "locations": [{"name": "l", "transient-values": [{"ref": "c", "value": 1}]}],
            "initial-locations": ["l"], "edges": []})";
std::string TwoSetters() {
  return std::string(R"({"jani-version": 1, "name": "m", "type": "ctmc",
         "variables": [{"name": "c", "type": "real", "transient": true, "initial-value": 0}],
         "automata": [
           {"name": "B", "locations": [{"name": "b0"}, {"name": "b1",
              "transient-values": [{"ref": "c", "value": 5}]}],
            "initial-locations": ["b0"], "edges": [
              {"location": "b0", "rate": {"exp": 1}, "destinations": [{"location": "b1"}]},
              {"location": "b1", "rate": {"exp": 1}, "destinations": [{"location": "b0"}]}]},
           )") +
         kOneLocationSetter + R"(],
         "system": {"elements": [{"automaton": "B"}, {"automaton": "A"}]},
         "properties": [{"name": "c", "expression": {"op": "Smax", "exp": "c"}}]})";
}

std::string Errors(const ImportedModel& model) {
  return FormatDiagnostics(model.errors, nullptr);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

double Relative(double a, double b) {
  return std::fabs(a - b) / std::max(std::fabs(b), 1e-300);
}

TEST(JaniReaderTest, AcceptsTheBaseModel) {
  const ImportedModel model = ReadJani(BaseModel(), "m.jani", {});
  EXPECT_TRUE(model.errors.empty()) << Errors(model);
  ASSERT_EQ(model.model.places.size(), 1u);
  EXPECT_EQ(model.model.places[0].bounds, std::make_pair(0, 2));
  EXPECT_EQ(model.model.activities.size(), 1u);
  // Comments and a tool's own "x-" members are passed over where a
  // misspelt member is refused.
  const ImportedModel extended =
      ReadJani(Replace(BaseModel(), R"("guard")",
                       R"("comment": "c", "x-tool": {"k": 1}, "guard")"),
               "m.jani", {});
  EXPECT_TRUE(extended.errors.empty()) << Errors(extended);
}

TEST(JaniReaderTest, MalformedInputNamesTheFileAndTheJsonPath) {
  struct Row {
    const char* what;
    std::string text;
    ImportOptions options;
    const char* expected;
  };
  ImportOptions unknown_constant;
  unknown_constant.constants["M"] = "3";
  const std::vector<Row> rows = {
      {"not JSON", "{\"jani-version\": 1,", {}, "bad.jani: $: not valid JSON"},
      {"not JSON, with the place",
       "\xEF\xBB\xBF{\"jani-version\": 1,\n  \"name\": \"m\",,\n}",
       {},
       "bad.jani: $: not valid JSON at line 2, column 15"},
      // A second declaration of a name replaced the first, or hid it, and the
      // model was generated with the wrong value.
      {"constant declared twice",
       Replace(BaseModel(), R"("value": 2}])",
               R"("value": 2}, {"name": "N", "type": "int", "value": 1}])"),
       {},
       "bad.jani: $.constants[1].name: a second constant named 'N'"},
      {"variable of a constant's name",
       Replace(
           BaseModel(), R"("variables": [)",
           R"("variables": [{"name": "N", "type": "int", "initial-value": 1}, )"),
       {},
       "bad.jani: $.variables[0].name: the name 'N' is already a constant or "
       "a variable"},
      {"local hiding a global",
       Replace(BaseModel(), R"("automata": [{"name": "A", )",
               R"("automata": [{"name": "A", "variables": [{"name": "x",
                  "type": "int", "initial-value": 1}], )"),
       {},
       "bad.jani: $.automata[0].variables[0].name: the name 'x' is already a "
       "constant or a variable"},
      {"location declared twice",
       Replace(BaseModel(), R"("locations": [{"name": "l"}])",
               R"("locations": [{"name": "l"}, {"name": "l"}])"),
       {},
       "bad.jani: $.automata[0].locations[1].name: a second location named "
       "'l'"},
      {"automaton declared twice",
       Replace(BaseModel(), "}]}]}]}],",
               R"(}]}]}]}, {"name": "A", "locations": [{"name": "k"}],
                  "initial-locations": ["k"], "edges": []}],)"),
       {},
       "bad.jani: $.automata[1].name: a second automaton named 'A'"},
      {"no jani-version",
       Replace(BaseModel(), R"("jani-version": 1, )", ""),
       {},
       "bad.jani: $: missing \"jani-version\""},
      {"jani-version not a whole number from 1",
       Replace(BaseModel(), R"("jani-version": 1, )",
               R"("jani-version": "1", )"),
       {},
       "bad.jani: $.jani-version: expected a whole number from 1 up, found "
       "\"1\""},
      // A misspelt optional member was dropped: the edge fired unguarded.
      {"misspelt member",
       Replace(BaseModel(), R"("guard")", R"("gaurd")"),
       {},
       "bad.jani: $.automata[0].edges[0].gaurd: unknown member \"gaurd\" "
       "(expected \"location\", \"action\", \"rate\", \"guard\", "
       "\"destinations\")"},
      {"misspelt time bound",
       Replace(BaseModel(), R"("system")",
               R"("properties": [{"name": "p", "expression": {"op": "filter",
                  "fun": "values", "states": {"op": "initial"}, "values":
                  {"op": "Pmax", "exp": {"op": "F", "exp": true,
                   "time-bounds": {"uper": 2}}}}}], "system")"),
       {},
       "bad.jani: $.properties[0].expression.values.exp.time-bounds.uper: "
       "unknown member \"uper\""},
      // A misspelt filter function was listed as unsupported with exit 0.
      {"misspelt filter function",
       Replace(BaseModel(), R"("system")",
               R"("properties": [{"name": "p", "expression": {"op": "filter",
                  "fun": "avgg", "states": {"op": "initial"}, "values": 1}}],
                  "system")"),
       {},
       "bad.jani: $.properties[0].expression.fun: unknown filter function "
       "\"avgg\""},
      {"other model type",
       Replace(BaseModel(), "\"ctmc\"", "\"dtmc\""),
       {},
       "bad.jani: $.type: model type \"dtmc\" is not supported"},
      {"unknown name",
       BaseModel("\"lam\""),
       {},
       "bad.jani: $.automata[0].edges[0].rate.exp: unknown name 'lam'"},
      {"unknown operator",
       BaseModel(R"({"op": "der", "var": "x"})"),
       {},
       "bad.jani: $.automata[0].edges[0].rate.exp.op: operator \"der\" is not "
       "supported"},
      {"guard of the wrong type",
       BaseModel("1.5", "3"),
       {},
       "bad.jani: $.automata[0].edges[0]"},
      {"open constant not given",
       Replace(BaseModel(), R"("type": "int", "value": 2)", R"("type": "int")"),
       {},
       "bad.jani: $.constants[0]: constant 'N' has no value: give one with "
       "--const N=VALUE"},
      {"--const of an unknown constant", BaseModel(), unknown_constant,
       "bad.jani: $.constants: --const M: the model has no constant 'M'"},
      {"real state variable",
       Replace(BaseModel(), R"("base": "int", "lower-bound")",
               R"("base": "real", "lower-bound")"),
       {},
       "bad.jani: $.variables[0].type: real state variable 'x'"},
      {"edge without rate in a ctmc",
       Replace(BaseModel(), R"("rate": {"exp": 1.5}, )", ""),
       {},
       "bad.jani: $.automata[0].edges[0]: an edge of a ctmc needs a \"rate\""},
      {"unknown location",
       Replace(BaseModel(), R"("edges": [{"location": "l")",
               R"("edges": [{"location": "q")"),
       {},
       "bad.jani: $.automata[0].edges[0].location: no location named 'q'"},
      {"unknown automaton",
       Replace(BaseModel(), R"({"automaton": "A"})", R"({"automaton": "B"})"),
       {},
       "bad.jani: $.system.elements[0].automaton: no automaton named 'B'"},
      {"sync vector of the wrong length",
       Replace(
           BaseModel(), R"([{"automaton": "A"}]})",
           R"([{"automaton": "A"}], "syncs": [{"synchronise": ["a", "b"]}]})"),
       {},
       "bad.jani: $.system.syncs[0].synchronise: needs one entry per system "
       "element (1)"},
      // An action missing from "actions" (a typo) made its edges or its
      // vector never fire, and the run went on with a smaller model.
      {"edge action not declared",
       Replace(BaseModel(), R"("edges": [{"location": "l", )",
               R"("edges": [{"location": "l", "action": "go", )"),
       {},
       "bad.jani: $.automata[0].edges[0].action: no action named 'go' in "
       "\"actions\""},
      {"edge action not a name",
       Replace(BaseModel(), R"("edges": [{"location": "l", )",
               R"("edges": [{"location": "l", "action": 7, )"),
       {},
       "bad.jani: $.automata[0].edges[0].action: expected an action name, "
       "found 7"},
      {"sync action not declared",
       Replace(BaseModel(), R"([{"automaton": "A"}]})",
               R"([{"automaton": "A"}], "syncs": [{"synchronise": ["go"]}]},
                  "actions": [{"name": "og"}])"),
       {},
       "bad.jani: $.system.syncs[0].synchronise[0]: no action named 'go' in "
       "\"actions\""},
      {"sync result not declared",
       Replace(BaseModel(), R"([{"automaton": "A"}]})",
               R"([{"automaton": "A"}], "syncs": [{"synchronise": ["og"],
                  "result": "go"}]}, "actions": [{"name": "og"}])"),
       {},
       "bad.jani: $.system.syncs[0].result: no action named 'go' in "
       "\"actions\""},
      {"action declared twice",
       Replace(BaseModel(), R"("type": "ctmc",)",
               R"("type": "ctmc", "actions": [{"name": "a"}, {"name": "a"}],)"),
       {},
       "bad.jani: $.actions[1].name: a second action named 'a'"},
      {"unsupported feature",
       Replace(BaseModel(), R"("type": "ctmc",)",
               R"("type": "ctmc", "features": ["arrays"],)"),
       {},
       "bad.jani: $.features[0]: feature \"arrays\" is not supported"},
      {"unknown function",
       BaseModel(R"({"op": "call", "function": "f", "args": []})"),
       {},
       "bad.jani: $.automata[0].edges[0].rate.exp.function: unknown function "
       "'f'"},
      {"recursive function",
       Replace(BaseModel(R"({"op": "call", "function": "f", "args": []})"),
               R"("type": "ctmc",)",
               R"("type": "ctmc", "functions": [{"name": "f", "type": "real",
                  "parameters": [], "body": {"op": "call", "function": "f", "args": []}}],)"),
       {},
       "calls of 'f' nest too deeply (recursion?)"},
      {"initial value out of range",
       Replace(BaseModel(), R"("initial-value": 0)", R"("initial-value": 3)"),
       {},
       "bad.jani: $.variables[0].initial-value: initial value of 'x' is "
       "outside "
       "its range"},
      {"negative value of an int without bounds",
       Replace(
           BaseModel(), R"("variables": [)",
           R"("variables": [{"name": "y", "type": "int", "initial-value": -1}, )"),
       {},
       "bad.jani: $.variables[0].initial-value: initial value of 'y' is "
       "outside its range (an int without an upper bound holds 0..32767 here: "
       "give it a bounded type)"},
      {"missing destinations",
       Replace(BaseModel(), R"("destinations")", R"("comment")"),
       {},
       "bad.jani: $.automata[0].edges[0]: missing \"destinations\""},
      {"property name used twice",
       Replace(BaseModel(), R"("system": {"elements": [{"automaton": "A"}]})",
               R"("system": {"elements": [{"automaton": "A"}]},
                  "properties": [
                    {"name": "p", "expression": {"op": "Smax", "exp": "x"}},
                    {"name": "p", "expression": {"op": "Smin", "exp": "x"}}])"),
       {},
       "bad.jani: $.properties[1].name: property name \"p\" is used twice"},
      // [1, 1) was read as the instant 1, a probability where there is none.
      {"empty time interval",
       Replace(BaseModel(), R"("system": {"elements": [{"automaton": "A"}]})",
               R"("system": {"elements": [{"automaton": "A"}]},
                  "properties": [{"name": "p", "expression": {"op": "Pmax",
                    "exp": {"op": "F", "exp": {"op": "=", "left": "x", "right": 2},
                    "time-bounds": {"lower": 1, "upper": 1, "upper-exclusive": true}}}}])"),
       {},
       "bad.jani: $.properties[0].expression.exp.time-bounds: the time "
       "interval "
       "is empty"},
      // The value depended on the order of the elements: 3 with A first,
      // 1 with B first.
      {"transient set by two automata at once",
       TwoSetters(),
       {},
       "bad.jani: $.automata[1].locations[0].transient-values[0]: transient "
       "variable 'c' is set in the locations of both B and A"},
      // With two locations each, the later element's value won where both
      // set it.
      {"transient set by two automata of two locations",
       Replace(
           Replace(TwoSetters(), kOneLocationSetter,
                   R"({"name": "C", "locations": [{"name": "c0"}, {"name": "c1",
              "transient-values": [{"ref": "c", "value": 1}]}],
            "initial-locations": ["c0"], "edges": [
              {"location": "c0", "rate": {"exp": 1}, "destinations": [{"location": "c1"}]}]})"),
           R"({"automaton": "A"})", R"({"automaton": "C"})"),
       {},
       "bad.jani: $.automata[1].locations[1].transient-values[0]: transient "
       "variable 'c' is set in the locations of both B and C"},
      {"negative time instant",
       Replace(BaseModel(), R"("system": {"elements": [{"automaton": "A"}]})",
               R"("system": {"elements": [{"automaton": "A"}]},
                  "properties": [{"name": "p", "expression": {"op": "Emax",
                    "exp": "x", "time-instant": -1}}])"),
       {},
       "bad.jani: $.properties[0].expression.time-instant: a time instant "
       "must be a finite number that is not negative"},
      // An infinite bound read as no bound at all.
      {"infinite time bound",
       Replace(BaseModel(), R"("system": {"elements": [{"automaton": "A"}]})",
               R"("system": {"elements": [{"automaton": "A"}]},
                  "properties": [{"name": "p", "expression": {"op": "Pmax",
                    "exp": {"op": "F", "exp": true, "time-bounds": {"upper":
                    {"op": "pow", "left": 10, "right": 400}}}}}])"),
       {},
       "bad.jani: $.properties[0].expression.exp.time-bounds.upper: a time "
       "bound must be a finite number that is not negative"},
      {"assignment index",
       Replace(BaseModel(), R"("ref": "x", "value")",
               R"("ref": "x", "index": 1, "value")"),
       {},
       "bad.jani: $.automata[0].edges[0].destinations[0].assignments[0].index"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ImportedModel model = ReadJani(row.text, "bad.jani", row.options);
    ASSERT_FALSE(model.errors.empty());
    EXPECT_NE(Errors(model).find(row.expected), std::string::npos)
        << Errors(model);
  }
}

// Values of unexpected kinds anywhere are refused or passed over with a
// message, never thrown out of the reader.
TEST(JaniReaderTest, ValuesOfUnexpectedKindsNeverEscape) {
  const std::string with_properties =
      Replace(BaseModel(), R"("system")", R"("properties": PROPS, "system")");
  struct Row {
    const char* what;
    std::string text;
    bool refused;
  };
  const std::vector<Row> rows = {
      {"filter over null states",
       Replace(with_properties, "PROPS",
               R"([{"name": "p", "expression": {"op": "filter", "fun": "values",
                  "states": null, "values": 1}}])"),
       false},
      {"properties as an object",
       Replace(with_properties, "PROPS", R"({"p": 1})"), true},
      {"property name a number",
       Replace(with_properties, "PROPS", R"([{"name": 7, "expression": 1}])"),
       false},
      {"automaton name a number",
       Replace(BaseModel(), R"("automata": [{"name": "A")",
               R"("automata": [{"name": 5)"),
       true},
      {"location name a list",
       Replace(BaseModel(), R"("locations": [{"name": "l"}])",
               R"("locations": [{"name": ["l"]}])"),
       true},
      {"restrict-initial a number",
       Replace(BaseModel(), R"("initial-locations": ["l"],)",
               R"("initial-locations": ["l"], "restrict-initial": 5,)"),
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ImportedModel model;
    ASSERT_NO_THROW(model = ReadJani(row.text, "odd.jani", {}));
    EXPECT_EQ(!model.errors.empty(), row.refused) << Errors(model);
    if (row.refused) {
      EXPECT_EQ(Errors(model).rfind("odd.jani: $", 0), 0u);
    }
  }
  // Members that properties need and lack: read as absent, never looked up
  // past the end (the sanitizer builds catch that).
  for (const char* property :
       {R"({"op": "Smax"})", R"({"op": "Pmax", "exp": {"op": "F"}})",
        R"({"op": "Pmax", "exp": {"op": "U", "left": true}})",
        R"({"op": "Emax", "time-instant": 1})",
        R"({"op": "Emax", "exp": 1, "reach": 1, "accumulate": 3})"}) {
    SCOPED_TRACE(property);
    const std::string text = Replace(
        with_properties, "PROPS",
        std::string(R"([{"name": "p", "expression": )") + property + "}]");
    ImportedModel model;
    ASSERT_NO_THROW(model = ReadJani(text, "odd.jani", {}));
    if (!model.errors.empty()) {
      EXPECT_EQ(Errors(model).rfind("odd.jani: $", 0), 0u);
    }
  }
}

TEST(JaniReaderTest, AssignmentsOfADestinationFormOneStep) {
  // x := y and y := x: a swap, accepted and kept as one simultaneous step.
  std::string text = Replace(
      BaseModel(), R"("variables": [)",
      R"("variables": [{"name": "y", "type": "int", "initial-value": 1},)");
  text = Replace(
      text, R"({"ref": "x", "value": {"op": "+", "left": "x", "right": 1}})",
      R"({"ref": "y", "value": "x"}, {"ref": "x", "value": "y"})");
  const ImportedModel model = ReadJani(text, "m.jani", {});
  ASSERT_TRUE(model.errors.empty()) << Errors(model);
  const auto& statements =
      model.model.activities.at(0).output_gates.at(0).function;
  ASSERT_EQ(statements.size(), 1u);
  EXPECT_EQ(statements[0].kind, StatementIr::Kind::kSimultaneous);
  EXPECT_EQ(statements[0].then_body.size(), 2u);
}

class JaniRunTest : public testing::Test {
 protected:
  std::string Model(const std::string& name) const {
    return std::string(GEN_MODELS_DIR) + "/jani/" + name;
  }
  ProcessResult San(const std::vector<std::string>& args) const {
    return RunProcess(SAN_BINARY, args, dir_.path());
  }
  ScopedTempDir dir_;
};

TEST_F(JaniRunTest, SynchronisingModelGivesTheHandComputedChain) {
  // States (Sender, n): A=(s0,0) B=(s1,0) C=(s0,1) D=(s1,1); with mu = 2:
  // A->B 3, B->A 0.5 and B->C 1.5 (the sync, rate 2*1 split 0.25/0.75),
  // C->D 3, C->A 2, D->B 2; pi = (22, 60, 18, 27)/127.
  RunOk(SAN_BINARY,
        {"--const", "mu=2", Model("relay.jani"), "-P" + dir_.path() + "/",
         "-Nrelay", "-B0"},
        dir_.path());
  const ChainCounts counts = CountChain(dir_.path() + "/relay.arm");
  EXPECT_EQ(counts.states, 4u);
  EXPECT_EQ(counts.transitions, 6u);
  EXPECT_EQ(ReadWholeFile(dir_.path() + "/relay.props"),
            "props 1\n"
            "waiting\tsteady-state\twaiting\n"
            "delivery rate\tsteady-state\tdelivery_rate\n"
            "full\tsteady-state\tfull\n"
            "first delivery\treach-time\tfirst_delivery\n"
            "until\tuntil\tuntil_left\tuntil\t0\tinf\n");
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "relay");
  // The .arm file holds every rate as the model computed it.
  EXPECT_LT(Relative(values["property:waiting"], 87.0 / 127), 1e-12);
  EXPECT_LT(Relative(values["property:delivery rate"], 90.0 / 127), 1e-12);
  EXPECT_LT(Relative(values["property:full"], 45.0 / 127), 1e-12);
  // Expected time to the first delivery from A: h_A = 1/3 + h_B and
  // h_B = 1/2 + h_A / 4, so h_A = 10/9.
  EXPECT_LT(Relative(values["property:first delivery"], 10.0 / 9), 1e-12);
  // waiting U full from A, which is in neither set.
  EXPECT_EQ(values.count("property:until"), 1u);
  EXPECT_EQ(values["property:until"], 0.0);
}

// Three automata over globals a, b, c: "rot" (rates 2, 1, 1) moves every
// value one place left, a := b, b := c, c := a; "swap" (rates 3 and 1)
// exchanges a and b. Both read the values before the transition.
const char* const kPermutations = R"({"jani-version": 1, "name": "perm",
 "type": "ctmc", "actions": [{"name": "rot"}, {"name": "swap"}],
 "variables": [
   {"name": "a", "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 2}, "initial-value": 0},
   {"name": "b", "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 2}, "initial-value": 1},
   {"name": "c", "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 2}, "initial-value": 2}],
 "automata": [
   {"name": "A", "locations": [{"name": "l"}], "initial-locations": ["l"], "edges": [
     {"location": "l", "action": "rot", "rate": {"exp": 2},
      "destinations": [{"location": "l", "assignments": [{"ref": "a", "value": "b"}]}]},
     {"location": "l", "action": "swap", "rate": {"exp": 3},
      "destinations": [{"location": "l", "assignments": [{"ref": "a", "value": "b"}]}]}]},
   {"name": "B", "locations": [{"name": "l"}], "initial-locations": ["l"], "edges": [
     {"location": "l", "action": "rot", "rate": {"exp": 1},
      "destinations": [{"location": "l", "assignments": [{"ref": "b", "value": "c"}]}]},
     {"location": "l", "action": "swap", "rate": {"exp": 1},
      "destinations": [{"location": "l", "assignments": [{"ref": "b", "value": "a"}]}]}]},
   {"name": "C", "locations": [{"name": "l"}], "initial-locations": ["l"], "edges": [
     {"location": "l", "action": "rot", "rate": {"exp": 1},
      "destinations": [{"location": "l", "assignments": [{"ref": "c", "value": "a"}]}]}]}],
 "system": {"elements": [{"automaton": "A"}, {"automaton": "B"}, {"automaton": "C"}],
   "syncs": [{"synchronise": ["rot", "rot", "rot"]},
             {"synchronise": ["swap", "swap", null]}]},
 "properties": [
   {"name": "reversed", "expression": {"op": "filter", "fun": "values",
     "states": {"op": "initial"}, "values": {"op": "Emin", "accumulate": ["time"], "exp": 1,
     "reach": {"op": "\u2227", "left": {"op": "=", "left": "a", "right": 2},
       "right": {"op": "=", "left": "c", "right": 0}}}}},
   {"name": "unmoved", "expression": {"op": "filter", "fun": "values",
     "states": {"op": "initial"}, "values": {"op": "Pmin", "exp": {"op": "G",
     "exp": {"op": "=", "left": "a", "right": 0}, "time-bounds": {"upper": 0.25}}}}},
   {"name": "distinct", "expression": {"op": "filter", "fun": "values",
     "states": {"op": "initial"}, "values": {"op": "Smax", "exp":
     {"op": "\u2227", "left": {"op": "\u2260", "left": "a", "right": "b"},
      "right": {"op": "\u2260", "left": "b", "right": "c"}}}}}]})";

TEST_F(JaniRunTest, SwapsAndRotationsAcrossAutomataReadTheOldState) {
  // The six orders of (0, 1, 2), each left at rate 5 to two others: 12
  // transitions, and the values always stay distinct. With h the expected
  // time to (2, 1, 0), h(x) = 1/5 + 2/5 h(rot x) + 3/5 h(swap x) gives
  // h(0, 1, 2) = 4/3 (with 11/15, 7/5, 4/3 and 1 for (1, 2, 0), (1, 0, 2),
  // (2, 0, 1) and (0, 2, 1)).
  WriteFile(dir_.path() + "/perm.jani", kPermutations);
  RunOk(SAN_BINARY, {"perm.jani", "-P" + dir_.path() + "/", "-Nperm", "-B0"},
        dir_.path());
  const ChainCounts counts = CountChain(dir_.path() + "/perm.arm");
  EXPECT_EQ(counts.states, 6u);
  EXPECT_EQ(counts.transitions, 12u);
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "perm");
  EXPECT_LT(Relative(values["property:reversed"], 4.0 / 3), 1e-9);
  EXPECT_LT(Relative(values["property:distinct"], 1.0), 1e-12);
  // From (0, 1, 2) both moves, at rates 2 and 3, leave a = 0: G<=1/4
  // (a = 0) is the chance of no jump before 1/4, e^(-5/4).
  EXPECT_LT(Relative(values["property:unmoved"], std::exp(-1.25)), 1e-9);
}

const char* const kCoin = R"({"jani-version": 1, "name": "coin", "type": "ma",
 "variables": [{"name": "heads", "type": "real", "transient": true, "initial-value": 0}],
 "automata": [{"name": "C", "locations": [{"name": "a"}, {"name": "toss"},
     {"name": "b", "transient-values": [{"ref": "heads", "value": 1}]}],
   "initial-locations": ["a"],
   "edges": [
     {"location": "a", "rate": {"exp": 4}, "destinations": [{"location": "toss"}]},
     {"location": "toss", "destinations": [
       {"location": "a", "probability": {"exp": 0.5}},
       {"location": "b", "probability": {"exp": 0.5}}]},
     {"location": "b", "rate": {"exp": 1}, "destinations": [{"location": "a"}]}
     EXTRA]}],
 "system": {"elements": [{"automaton": "C"}]},
 "properties": [{"name": "heads", "expression": {"op": "filter", "fun": "values",
   "values": {"op": "Smax", "exp": "heads"}, "states": {"op": "initial"}}}]})";

TEST_F(JaniRunTest, MarkovAutomatonResolvesImmediateEdges) {
  // a -> toss (rate 4) -> a or b with 1/2 each; b -> a at rate 1:
  // a->a 2 (a self-loop), a->b 2, b->a 1; pi(b) = 2/3.
  WriteFile(dir_.path() + "/coin.jani", Replace(kCoin, "EXTRA", ""));
  RunOk(SAN_BINARY, {"coin.jani", "-P" + dir_.path() + "/", "-Ncoin", "-B0"},
        dir_.path());
  EXPECT_EQ(CountChain(dir_.path() + "/coin.arm").states, 2u);
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "coin");
  EXPECT_LT(Relative(values["property:heads"], 2.0 / 3), 1e-9);
}

// Transient assignments on immediate edges: a toss pays 1 or 3 (1/2 each),
// the return from b pays 10 on a single destination.
const char* const kPaidCoin =
    R"({"jani-version": 1, "name": "paid", "type": "ma",
 "variables": [{"name": "paid", "type": "real", "transient": true, "initial-value": 0}],
 "automata": [{"name": "C", "locations": [{"name": "a"}, {"name": "toss"},
     {"name": "b"}, {"name": "back"}],
   "initial-locations": ["a"],
   "edges": [
     {"location": "a", "rate": {"exp": 4}, "destinations": [{"location": "toss"}]},
     {"location": "toss", "destinations": [
       {"location": "a", "probability": {"exp": 0.5},
        "assignments": [{"ref": "paid", "value": 1}]},
       {"location": "b", "probability": {"exp": 0.5},
        "assignments": [{"ref": "paid", "value": 3}]}]},
     {"location": "b", "rate": {"exp": 1}, "destinations": [{"location": "back"}]},
     {"location": "back", "destinations": [{"location": "a",
        "assignments": [{"ref": "paid", "value": 10}]}]}]}],
 "system": {"elements": [{"automaton": "C"}]},
 "properties": [{"name": "paid", "expression": {"op": "filter", "fun": "values",
   "values": {"op": "Smax", "exp": "paid"}, "states": {"op": "initial"}}}]})";

TEST_F(JaniRunTest, ImmediateEdgesEarnTheirTransientAssignments) {
  // As for the coin: pi(a) = 1/3, pi(b) = 2/3. Tosses happen 4/3 times per
  // unit of time and pay 2 on average; returns 2/3 times and pay 10:
  // 8/3 + 20/3 = 28/3.
  WriteFile(dir_.path() + "/paid.jani", kPaidCoin);
  RunOk(SAN_BINARY, {"paid.jani", "-P" + dir_.path() + "/", "-Npaid", "-B0"},
        dir_.path());
  EXPECT_EQ(CountChain(dir_.path() + "/paid.arm").states, 2u);
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "paid");
  EXPECT_LT(Relative(values["property:paid"], 28.0 / 3), 1e-12);
}

TEST_F(JaniRunTest, FatalRunErrorsNameTheStateTheEdgesAndTheVariable) {
  struct Row {
    const char* what;
    std::string text;
    std::vector<const char*> expected;
  };
  const std::vector<Row> rows = {
      {"nondeterministic immediate choice",
       Replace(
           kCoin, "EXTRA",
           R"(, {"location": "toss", "destinations": [{"location": "b"}]})"),
       {"nondeterministic choice between C.e1 and C.e3", "state"}},
      {"assignment out of range",
       BaseModel("1.5", "true"),
       {"activity A.e0 would set place x to 3", "0..2", "state"}},
      // The probability was multiplied into the rate and reported as a rate.
      {"negative destination probability",
       Replace(BaseModel(), R"("destinations": [{"location": "l", )",
               R"("destinations": [{"location": "l", "probability": {"exp":
                  {"op": "-", "left": 1, "right": {"op": "*", "left": 2,
                   "right": "x"}}}, )"),
       {"invalid probability -1 of bad.jani: "
        "$.automata[0].edges[0].destinations[0]",
        "state: x=1"}},
      // Cases are weighed against each other: 0.5 and 0.3 became 5/8, 3/8.
      {"immediate destinations not adding up to 1",
       Replace(Replace(kCoin, "EXTRA", ""),
               R"("b", "probability": {"exp": 0.5})",
               R"("b", "probability": {"exp": 0.3})"),
       {"the probabilities of the destinations of bad.jani: "
        "$.automata[0].edges[1] add up to 0.8, not 1",
        "state: C.location=1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    WriteFile(dir_.path() + "/bad.jani", row.text);
    const ProcessResult run =
        San({"bad.jani", "-P" + dir_.path() + "/", "-Nbad", "-B0"});
    EXPECT_EQ(run.exit_code, 1);
    for (const char* text : row.expected) {
      EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
    }
  }
}

// The conversions of Kanban and FMS give the compiled models' chains: the
// same numbers of states and transitions and, where solving is quick, the
// same steady-state measure.
TEST_F(JaniRunTest, KanbanAndFmsGiveTheCompiledChains) {
  for (const char* model : {"kanban", "fms"}) {
    for (int n = 1; n <= kLargestComparedN; ++n) {
      SCOPED_TRACE(std::string(model) + " N=" + std::to_string(n));
      const auto [compiled, imported] =
          GenerateBoth(GEN_BENCH_BINARY, SAN_BINARY, dir_.path(), model, n,
                       {"--const", "N=" + std::to_string(n),
                        Model(std::string(model) + ".jani")});
      EXPECT_EQ(imported.states, compiled.states);
      EXPECT_EQ(imported.transitions, compiled.transitions);
      if (n <= 3) {
        const double expected =
            SolveCsv(SOLVE_BINARY, dir_.path(), "compiled")["busy_machines"];
        const double got = SolveCsv(SOLVE_BINARY, dir_.path(),
                                    "imported")["property:busy_machines"];
        // The compiled chain's rates carry eleven significant digits, the
        // imported one's every digit: the values differ by about 2e-11.
        EXPECT_LT(Relative(got, expected), 1e-10) << got << " " << expected;
      }
      if (std::string(model) == "kanban" && n == 4) {
        EXPECT_EQ(imported.states, 454475u);
        EXPECT_EQ(imported.transitions, 3979850u);
      }
      if (std::string(model) == "fms" && n == 4) {
        EXPECT_EQ(imported.states, 35910u);
        EXPECT_EQ(imported.transitions, 237120u);
      }
    }
  }
}

}  // namespace

namespace {

// An M/M/1/3 queue (arrivals 1, services 2) whose services set the
// transient `served` to 1, and properties over it with each `accumulate`
// list. pi = (8, 4, 2, 1)/15.
const char* const kServedQueue = R"({"jani-version": 1, "name": "mm13",
 "type": "ctmc", "features": ["derived-operators"],
 "variables": [
   {"name": "q", "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 3}, "initial-value": 0},
   {"name": "served", "type": "real", "transient": true, "initial-value": 0}],
 "automata": [{"name": "Q", "locations": [{"name": "l"}], "initial-locations": ["l"],
   "edges": [
     {"location": "l", "rate": {"exp": 1}, "guard": {"exp": {"op": "<", "left": "q", "right": 3}},
      "destinations": [{"location": "l", "assignments": [{"ref": "q", "value": {"op": "+", "left": "q", "right": 1}}]}]},
     {"location": "l", "rate": {"exp": 2}, "guard": {"exp": {"op": ">", "left": "q", "right": 0}},
      "destinations": [{"location": "l", "assignments": [{"ref": "q", "value": {"op": "-", "left": "q", "right": 1}},
        {"ref": "served", "value": 1}]}]}]}],
 "system": {"elements": [{"automaton": "Q"}]},
 "properties": [PROPERTIES]})";

std::string Property(const std::string& name, const std::string& values) {
  return R"({"name": ")" + name +
         R"(", "expression": {"op": "filter", "fun": "values", "states": {"op": "initial"}, "values": )" +
         values + "}}";
}

TEST_F(JaniRunTest, AccumulateListsChooseTimeStepsOrBoth) {
  const std::string full = R"({"op": "=", "left": "q", "right": 3})";
  const std::vector<std::string> properties = {
      Property("both", R"({"op": "Smax", "exp": "served"})"),
      Property("time",
               R"({"op": "Smax", "exp": "served", "accumulate": ["time"]})"),
      Property("steps",
               R"({"op": "Smax", "exp": "served", "accumulate": ["steps"]})"),
      Property(
          "reach steps",
          R"({"op": "Emax", "exp": "served", "accumulate": ["steps"], "reach": )" +
              full + "}"),
      Property(
          "reach time",
          R"({"op": "Emax", "exp": "served", "accumulate": ["time"], "reach": )" +
              full + "}"),
      Property(
          "cumulative steps",
          R"({"op": "Emax", "exp": "served", "accumulate": ["steps"], "time-instant": 1})"),
      Property(
          "cumulative time",
          R"({"op": "Emax", "exp": "served", "accumulate": ["time"], "time-instant": 1})"),
      Property("instant",
               R"({"op": "Emax", "exp": "served", "time-instant": 1})"),
      Property(
          "step count",
          R"({"op": "Emax", "exp": 1, "accumulate": ["steps"], "reach": )" +
              full + "}"),
      Property(
          "queue steps",
          R"({"op": "Emax", "exp": "q", "accumulate": ["steps", "time"], "reach": )" +
              full + "}"),
      // served + q was q over time plus 1.5 q per service, read before it.
      Property(
          "mixed",
          R"({"op": "Smax", "exp": {"op": "+", "left": "served", "right": "q"}})"),
      // A nested query stopped the whole import with an error.
      Property(
          "nested",
          R"({"op": "Smax", "exp": {"op": "Pmax", "exp": {"op": "F", "exp": )" +
              full + "}}}"),
      R"({"name": "count", "expression": {"op": "filter", "fun": "count",
          "states": {"op": "initial"}, "values": {"op": "Smax", "exp": "q"}}})",
      R"({"name": "argmax", "expression": {"op": "filter", "fun": "argmax",
          "states": {"op": "initial"}, "values": {"op": "Smax", "exp": "q"}}})",
      R"({"name": "everywhere", "expression": {"op": "filter", "fun": "max",
          "states": true, "values": {"op": "Smax", "exp": "q"}}})",
      // The deadlock predicate stopped the whole import with an error.
      Property(
          "stuck",
          R"({"op": "Pmax", "exp": {"op": "F", "exp": {"op": "deadlock"}}})"),
  };
  std::string list;
  for (const std::string& property : properties) {
    list += (list.empty() ? "" : ", ") + property;
  }
  WriteFile(dir_.path() + "/mm13.jani",
            Replace(kServedQueue, "PROPERTIES", list));
  RunOk(SAN_BINARY, {"mm13.jani", "-P" + dir_.path() + "/", "-Nmm13", "-B0"},
        dir_.path());
  const std::string props = ReadWholeFile(dir_.path() + "/mm13.props");
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir_.path(), "mm13");
  // served is 0 in every state: over time it earns nothing, on the steps it
  // counts the services, 2 (1 - pi_0) = 14/15 in the long run.
  EXPECT_LT(Relative(values["property:both"], 14.0 / 15), 1e-9);
  EXPECT_EQ(values["property:time"], 0.0);
  EXPECT_LT(Relative(values["property:steps"], 14.0 / 15), 1e-9);
  // Services before q = 3 first holds: e1 = 2/3 (1 + e0) + e2 / 3,
  // e2 = 2/3 (1 + e1), e0 = e1, so e0 = 8.
  EXPECT_LT(Relative(values["property:reach steps"], 8.0), 1e-9);
  EXPECT_EQ(values["property:reach time"], 0.0);
  // Services in [0, 1]: the integral of 2 (1 - p0(t)), by the exponential
  // of the 4x4 generator in 30-digit arithmetic.
  EXPECT_LT(
      Relative(values["property:cumulative steps"], 0.491828598233243308248510),
      1e-8);
  EXPECT_EQ(values["property:cumulative time"], 0.0);
  EXPECT_EQ(values["property:instant"], 0.0);
  // Steps of a state expression (the step count, q per step) or of one
  // mixing state and transient variables, count and
  // nested queries are not computed: reported, never the expected time or
  // the mean, and the other properties are still answered.
  for (const char* name :
       {"step count", "queue steps", "mixed", "count", "nested"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(props.find(std::string(name) + "\tunsupported\t"),
              std::string::npos)
        << props;
  }
  // A filter that is not the initial state's value says which, where it
  // said "nested filter".
  EXPECT_NE(props.find("count\tunsupported\tfilter \"count\"\n"),
            std::string::npos)
      << props;
  EXPECT_NE(props.find("argmax\tunsupported\tfilter \"argmax\"\n"),
            std::string::npos)
      << props;
  EXPECT_NE(props.find("everywhere\tunsupported\tfilter over states other "
                       "than the initial one\n"),
            std::string::npos)
      << props;
  EXPECT_NE(props.find("stuck\tunsupported\tthe \"deadlock\" state "
                       "predicate\n"),
            std::string::npos)
      << props;
}

TEST_F(JaniRunTest, CheckListsThePropertiesAndTheirKinds) {
  const ProcessResult run =
      RunOk(SAN_BINARY, {"--check", "--const", "N=2", Model("kanban.jani")},
            dir_.path());
  EXPECT_NE(run.out.find("model kanban\nplaces 16\nactivities 16"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("properties 4\n"
                         "  busy_machines: steady-state busy_machines\n"
                         "  throughput: steady-state throughput\n"
                         "  cell1_idle: steady-state cell1_idle\n"
                         "  full_soon: reach-probability full_soon 10\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
