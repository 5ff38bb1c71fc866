// Models whose initial marking is vanishing, in every format san reads: the
// marking resolves in zero time into the states the chain starts in. All
// share one chain: a token chooses between a (weight 1) and b (weight 3);
// from a it moves to d at rate 2; b and d are absorbing. So the chain starts
// in a with 1/4 and in b with 3/4, and with q = 1 - e^-2:
//   P(d at 1) = q / 4, reward of d over [0, 1] = (1 - q / 2) / 4,
//   long-run P(b) = 3/4, P(d ever) = 1/4, time until a is left = 1/8.
// From state 1 alone every one of these would differ.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

const double kQ = 1 - std::exp(-2.0);

const char* const kLanguage = R"(model v;
place start = 1;
place a;
place b;
place d;
activity to_a instant weight 1 { input start; output a; }
activity to_b instant weight 3 { input start; output b; }
activity fail rate 2 { input a; output d; }
property steady_b = steady(b == 1);
property ever_d = reach(d == 1);
property d_by_1 = reach(d == 1, 1);
property settled = reach_time(a == 0);
property d_at_1 = instant(d, 1);
property d_over_1 = cumulative(d, 1);
)";

// The same net as a GSPN; each place is a reward variable of its marking.
const char* const kPnpro = R"(<?xml version="1.0"?>
<project name="v" version="121"><gspn name="v"><nodes>
  <place name="S" marking="1"/>
  <place name="A" marking="0"/>
  <place name="B" marking="0"/>
  <place name="D" marking="0"/>
  <transition name="ta" type="IMM" weight="1.0"/>
  <transition name="tb" type="IMM" weight="3.0"/>
  <transition name="fail" type="EXP" delay="2.0"/>
</nodes><edges>
  <arc kind="INPUT" tail="S" head="ta"/>
  <arc kind="OUTPUT" tail="ta" head="A"/>
  <arc kind="INPUT" tail="S" head="tb"/>
  <arc kind="OUTPUT" tail="tb" head="B"/>
  <arc kind="INPUT" tail="A" head="fail"/>
  <arc kind="OUTPUT" tail="fail" head="D"/>
</edges></gspn></project>
)";

// A Markov automaton that starts in a location with an immediate edge; x
// is 1 in a, 2 in b and 3 in d.
const char* const kJani = R"({"jani-version": 1, "name": "v", "type": "ma",
 "variables": [{"name": "x", "initial-value": 0,
   "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": 3}}],
 "automata": [{"name": "A", "locations": [{"name": "pick"}, {"name": "l"}],
   "initial-locations": ["pick"],
   "edges": [
    {"location": "pick", "destinations": [
     {"location": "l", "probability": {"exp": 0.25},
      "assignments": [{"ref": "x", "value": 1}]},
     {"location": "l", "probability": {"exp": 0.75},
      "assignments": [{"ref": "x", "value": 2}]}]},
    {"location": "l", "rate": {"exp": 2},
     "guard": {"exp": {"op": "=", "left": "x", "right": 1}},
     "destinations": [{"location": "l",
      "assignments": [{"ref": "x", "value": 3}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]},
 "properties": [
  {"name": "ever_d", "expression": {"op": "filter", "fun": "values",
    "states": {"op": "initial"}, "values": {"op": "Pmax", "exp": {"op": "F",
      "exp": {"op": "=", "left": "x", "right": 3}}}}},
  {"name": "d_by_1", "expression": {"op": "filter", "fun": "values",
    "states": {"op": "initial"}, "values": {"op": "Pmax", "exp": {"op": "F",
      "exp": {"op": "=", "left": "x", "right": 3},
      "time-bounds": {"upper": 1}}}}},
  {"name": "settled", "expression": {"op": "filter", "fun": "values",
    "states": {"op": "initial"}, "values": {"op": "Emin",
      "accumulate": ["time"], "exp": 1,
      "reach": {"op": "\u2260", "left": "x", "right": 1}}}}]})";

// One instantaneous activity: the marking resolves to a alone.
const char* const kOneState = R"(model v;
place start = 1;
place a;
place b;
activity go instant { input start; output a; }
activity move rate 2 { input a; output b; }
property b_by_1 = reach(b == 1, 1);
)";

const char* const kTwoStates = "init 1\n1\t0.25\n2\t0.75\n";

double Relative(double value, double expected) {
  return std::abs(value - expected) / std::abs(expected);
}

void Generate(const std::string& dir, const std::string& file,
              const std::string& text,
              const std::vector<std::string>& options = {}) {
  std::ofstream(dir + "/" + file) << text;
  std::vector<std::string> args = {file, "-P" + dir + "/", "-Nv", "-B0"};
  args.insert(args.end(), options.begin(), options.end());
  RunOk(SAN_BINARY, args, dir);
}

// solve --csv with `options`: each row's value by "MEASURE:OF:TIME_START".
// Its notes go to `notes` when given.
std::map<std::string, double> SolveRows(const std::string& dir,
                                        const std::vector<std::string>& options,
                                        std::string* notes = nullptr) {
  std::vector<std::string> args = {"-P" + dir + "/", "-Nv", "--csv",
                                   "--tolerance=1e-14"};
  args.insert(args.end(), options.begin(), options.end());
  const ProcessResult run = RunOk(SOLVE_BINARY, args, dir);
  if (notes != nullptr) *notes = run.err;
  std::map<std::string, double> rows;
  std::istringstream lines(run.out);
  std::string line;
  std::getline(lines, line);  // the header
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) fields.push_back(cell);
    if (fields.size() < 5) continue;
    rows[fields[0] + ":" + fields[1] + ":" + fields[2]] =
        std::strtod(fields[4].c_str(), nullptr);
  }
  return rows;
}

TEST(VanishingInitialTest, SeveralInitialStatesInEveryFormat) {
  struct Row {
    const char* file;
    const char* text;
    // Expected values by row key; NaN-free hand values.
    std::map<std::string, double> expected;
  };
  const std::vector<Row> rows = {
      {"v.san",
       kLanguage,
       {{"property:steady_b:", 0.75},
        {"property:ever_d:inf", 0.25},
        {"property:d_by_1:1", kQ / 4},
        {"property:settled:", 0.125},
        {"property:d_at_1:1", kQ / 4},
        {"property:d_over_1:0", (1 - kQ / 2) / 4}}},
      {"v.pnpro",
       kPnpro,
       {{"steady-state:B:", 0.75},
        {"steady-state:D:", 0.25},
        {"instant:D:1", kQ / 4},
        {"accumulated:D:0", (1 - kQ / 2) / 4},
        {"absorption-time:-:", 0.125}}},
      {"v.jani",
       kJani,
       {{"property:ever_d:inf", 0.25},
        {"property:d_by_1:1", kQ / 4},
        {"property:settled:", 0.125}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    ScopedTempDir dir;
    Generate(dir.path(), row.file, row.text);
    EXPECT_EQ(ReadWholeFile(dir.path() + "/v.init"), kTwoStates);
    const ChainCounts counts = CountChain(dir.path() + "/v.arm");
    EXPECT_EQ(counts.states, 3u);       // a, b, d
    EXPECT_EQ(counts.transitions, 1u);  // a -> d
    std::string notes;
    const std::map<std::string, double> values =
        SolveRows(dir.path(), {"--time=1", "--absorption"}, &notes);
    EXPECT_NE(notes.find("2 closed classes reached from the initial "
                         "distribution, 1 transient states; limiting "
                         "distribution from the initial distribution"),
              std::string::npos)
        << notes;
    EXPECT_NE(notes.find("the chain starts in states 1..2 as "),
              std::string::npos);
    for (const auto& [key, expected] : row.expected) {
      SCOPED_TRACE(key);
      ASSERT_EQ(values.count(key), 1u);
      EXPECT_LT(Relative(values.at(key), expected), 1e-9) << values.at(key);
    }
  }
}

TEST(VanishingInitialTest, OneResolvedStateIsStateOneAndWithdrawsAnOldInit) {
  ScopedTempDir dir;
  Generate(dir.path(), "v.san", kLanguage);
  ASSERT_EQ(ReadWholeFile(dir.path() + "/v.init"), kTwoStates);
  // The same name, a marking that resolves to a alone: no .init, and the
  // one left by the run before is gone with its chain.
  Generate(dir.path(), "v.san", kOneState);
  EXPECT_FALSE(std::ifstream(dir.path() + "/v.init").good());
  EXPECT_EQ(ReadWholeFile(dir.path() + "/v.arm").substr(0, 2), "1\n");
  EXPECT_EQ(CountChain(dir.path() + "/v.arm").states, 2u);
  const std::map<std::string, double> values = SolveRows(dir.path(), {});
  EXPECT_LT(Relative(values.at("property:b_by_1:1"), kQ), 1e-9);
}

TEST(VanishingInitialTest,
     SeveralInitialStatesGiveTheSameFilesOnEveryThreadCount) {
  ScopedTempDir one;
  ScopedTempDir three;
  Generate(one.path(), "v.san", kLanguage, {"--threads", "1"});
  Generate(three.path(), "v.san", kLanguage, {"--threads", "3"});
  for (const char* ending : {".arm", ".var", ".init", ".props"}) {
    SCOPED_TRACE(ending);
    EXPECT_EQ(ReadWholeFile(one.path() + "/v" + ending),
              ReadWholeFile(three.path() + "/v" + ending));
  }
}

// The resolution of the initial marking fails as any zero-time resolution
// does, and says where.
TEST(VanishingInitialTest, AFailedResolutionNamesTheInitialMarking) {
  struct Row {
    const char* what;
    const char* model;
    const char* expected;
  };
  const std::vector<Row> rows = {
      {"only negative ranks",
       "place a = 1;\nplace b;\n"
       "activity left instant rank -1 { input a; output b; }\n"
       "activity right instant rank -2 { input a; output b; }\n",
       "Error: a vanishing state reached from the initial marking leads "
       "nowhere: every enabled instantaneous action (left, right) has a "
       "negative rank\n"},
      {"an endless zero-time loop",
       "place a = 1;\nactivity spin instant { input a; output a; }\n",
       "while resolving the initial marking, at the marking"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    std::ofstream(dir.path() + "/v.san") << row.model;
    const ProcessResult run =
        RunProcess(SAN_BINARY, {"v.san", "-P" + dir.path() + "/", "-Nv", "-B0"},
                   dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE((run.out + run.err).find(row.expected), std::string::npos)
        << run.out << run.err;
    EXPECT_FALSE(std::ifstream(dir.path() + "/v.arm").good());
  }
}

// In deterministic mode the initial marking resolves the same way; the
// long run of a reducible chain with deterministic delays is solved from
// state 1 only, so solve refuses it rather than print the limit from there.
TEST(VanishingInitialTest, DeterministicModeStartsInSeveralStatesToo) {
  ScopedTempDir dir;
  std::string text = kLanguage;
  text.replace(text.find("rate 2"), 6, "delay 2");
  text = text.substr(0, text.find("property"));
  Generate(dir.path(), "v.san", text);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/v.init"), kTwoStates);
  const ProcessResult run =
      RunProcess(SOLVE_BINARY, {"-P" + dir.path() + "/", "-Nv"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("v.init: the chain starts in several states and is "
                         "reducible"),
            std::string::npos)
      << run.err;
}

}  // namespace
