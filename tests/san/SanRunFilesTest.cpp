// The files san publishes beside the chain (the states' markings and the
// run's record) and the one-step run that solves the chain it generated.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

// Two places and a token count set by a global; experiment 0 with
// `-O d:tokens:2` has the states (a, b) = (2, 0), (1, 1), (0, 2), found in
// that order, and the birth-death chain 1 -4-> 2 -2-> 3, 3 -1-> 2 -1-> 1,
// so pi = (1, 4, 8) / 13.
constexpr char kRing[] = R"(model ring;

global int tokens = 1;
global real speed = 2;

place a = tokens;
place b;

activity ab rate speed * a {
  input a;
  output b;
}

activity ba rate 1.0 {
  input b;
  output a;
}

reward all_b = a == 0 ? 1 : 0;
)";
// sha256sum of kRing's bytes.
constexpr char kRingSha256[] =
    "576d8b2cc8653539d84b40a93d040429e7733bbaddb3af6b128c0d857712c484";

class SanRunFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_.path() + "/ring.san") << kRing;
    RunProcess("/bin/mkdir", {"out"}, dir_.path());
  }
  ProcessResult San(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"ring.san", "-Pout/", "-Nr", "-O",
                                    "d:tokens:2"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(SAN_BINARY, all, dir_.path());
  }
  std::string File(const std::string& name) {
    return ReadWholeFile(dir_.path() + "/out/" + name);
  }
  bool Exists(const std::string& name) {
    std::FILE* file = std::fopen((dir_.path() + "/out/" + name).c_str(), "r");
    if (file != nullptr) std::fclose(file);
    return file != nullptr;
  }

  ScopedTempDir dir_;
};

TEST_F(SanRunFilesTest, StatesFileListsEveryMarkingAndLeavesWithItsChain) {
  const ProcessResult with = San({"--states"});
  ASSERT_EQ(with.exit_code, 0) << with.err;
  EXPECT_EQ(File("r.states"), "1 a=2 b=0\n2 a=1 b=1\n3 a=0 b=2\n");
  // The same run on two threads numbers the states alike.
  ASSERT_EQ(San({"--states", "--threads", "2"}).exit_code, 0);
  EXPECT_EQ(File("r.states"), "1 a=2 b=0\n2 a=1 b=1\n3 a=0 b=2\n");
  // A run without --states removes the file of the earlier chain.
  const ProcessResult without = San({});
  ASSERT_EQ(without.exit_code, 0) << without.err;
  EXPECT_FALSE(Exists("r.states"));
  EXPECT_TRUE(Exists("r.arm"));
  // So does gen, which writes no record either: solve would otherwise show
  // the ring's values for gen's chain.
  ASSERT_EQ(San({"--states"}).exit_code, 0);
  ASSERT_TRUE(Exists("r.run.json"));
  const ProcessResult gen =
      RunProcess(GEN_BINARY, {"-Pout/", "-Nr", "-B0"}, dir_.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  EXPECT_FALSE(Exists("r.states"));
  EXPECT_FALSE(Exists("r.run.json"));
}

// The .det and .dch of a chain with deterministic delays leave with it: a
// later chain without them under the same name, of san or of gen, removes
// them, since solve would read the .dch it finds.
TEST_F(SanRunFilesTest, DeterministicFilesLeaveWithTheirChain) {
  std::ofstream(dir_.path() + "/fixed.san")
      << "place a = 1;\nactivity t delay 2 { input a; output a; }\n";
  for (const char* later : {"san", "gen"}) {
    SCOPED_TRACE(later);
    const ProcessResult fixed =
        RunProcess(SAN_BINARY, {"fixed.san", "-Pout/", "-Nr"}, dir_.path());
    ASSERT_EQ(fixed.exit_code, 0) << fixed.err;
    ASSERT_TRUE(Exists("r.det"));
    ASSERT_TRUE(Exists("r.dch"));
    const ProcessResult run =
        later == std::string("san")
            ? San({})
            : RunProcess(GEN_BINARY, {"-Pout/", "-Nr", "-B0"}, dir_.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(Exists("r.det"));
    EXPECT_FALSE(Exists("r.dch"));
    EXPECT_TRUE(Exists("r.arm"));
  }
}

TEST_F(SanRunFilesTest, RunRecordHoldsTheModelTheValuesAndTheCounts) {
  const ProcessResult run = San({});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ProcessResult version =
      RunProcess(SAN_BINARY, {"--version"}, dir_.path());
  ASSERT_EQ(version.out.rfind("san ", 0), 0u);
  const std::string number = version.out.substr(4, version.out.size() - 5);
  // The measured seconds vary from run to run.
  const std::regex seconds(R"re("(cpu|wall)_seconds": [0-9.e+-]+)re");
  EXPECT_EQ(
      std::regex_replace(File("r.run.json"), seconds, "\"$1_seconds\": S"),
      std::string("{\n"
                  "  \"program\": \"san\",\n"
                  "  \"version\": \"") +
          number +
          "\",\n"
          "  \"model_file\": \"ring.san\",\n"
          "  \"model_sha256\": \"" +
          kRingSha256 +
          "\",\n"
          "  \"format\": \"san\",\n"
          "  \"experiment\": 0,\n"
          "  \"experiment_name\": \"Experiment 1\",\n"
          "  \"globals\": [\n"
          "    {\"name\": \"tokens\", \"type\": \"int\", \"value\": 2},\n"
          "    {\"name\": \"speed\", \"type\": \"double\", \"value\": "
          "2}\n"
          "  ],\n"
          "  \"states\": 3,\n"
          "  \"transitions\": 4,\n"
          "  \"cpu_seconds\": S,\n"
          "  \"wall_seconds\": S\n"
          "}\n");
  // A run that fails publishes no record: the earlier one stays.
  const std::string published = File("r.run.json");
  ASSERT_EQ(San({"--max-states", "2"}).exit_code, 1);
  EXPECT_EQ(File("r.run.json"), published);
}

// An imported model's constants are recorded in declaration order, whether
// the file or --const gives the value, derived ones evaluated.
TEST_F(SanRunFilesTest, RunRecordListsEveryConstantOfAnImportedModel) {
  struct Row {
    const char* file;
    std::string text;
    std::vector<std::string> args;
    const char* globals;
  };
  const std::vector<Row> rows = {
      {"m.jani",
       R"({"jani-version": 1, "name": "m", "type": "ctmc",
 "constants": [{"name": "N", "type": "int", "value": 2},
   {"name": "r", "type": "real"},
   {"name": "on", "type": "bool", "value": true}],
 "variables": [{"name": "x", "initial-value": 0,
   "type": {"kind": "bounded", "base": "int", "lower-bound": 0, "upper-bound": "N"}}],
 "automata": [{"name": "A", "locations": [{"name": "l"}], "initial-locations": ["l"],
   "edges": [{"location": "l", "rate": {"exp": "r"},
     "guard": {"exp": {"op": "∧", "left": "on", "right": {"op": "<", "left": "x", "right": "N"}}},
     "destinations": [{"location": "l", "assignments": [{"ref": "x", "value": {"op": "+", "left": "x", "right": 1}}]}]}]}],
 "system": {"elements": [{"automaton": "A"}]}})",
       {"--const", "r=1.5"},
       "    {\"name\": \"N\", \"type\": \"constant\", \"value\": 2},\n"
       "    {\"name\": \"r\", \"type\": \"constant\", \"value\": 1.5},\n"
       "    {\"name\": \"on\", \"type\": \"bool\", \"value\": 1}\n"},
      {"m.prism",
       "ctmc\n"
       "const int N = 3;\n"
       "const double r = 2*N;\n"
       "const double s;\n"
       "const bool fast = false;\n"
       "module m\n"
       "  x : [0..N] init 0;\n"
       "  [] x<N -> r : (x'=x+1);\n"
       "  [] x>0 -> s : (x'=x-1);\n"
       "endmodule\n",
       {"--const", "s=0.25"},
       "    {\"name\": \"N\", \"type\": \"constant\", \"value\": 3},\n"
       "    {\"name\": \"r\", \"type\": \"constant\", \"value\": 6},\n"
       "    {\"name\": \"s\", \"type\": \"constant\", \"value\": 0.25},\n"
       "    {\"name\": \"fast\", \"type\": \"bool\", \"value\": 0}\n"},
      {"m.pnpro",
       R"(<?xml version="1.0"?>
<project name="t" version="121"><gspn name="t"><nodes>
  <template name="lambda" type="REAL"/>
  <constant name="k" consttype="INTEGER" value="2"/>
  <constant name="mu" consttype="REAL" value="lambda * k"/>
  <place name="A" marking="k"/>
  <transition name="go" type="EXP" delay="mu"/>
</nodes><edges>
  <arc kind="INPUT" tail="A" head="go"/>
</edges></gspn></project>)",
       {"--const", "lambda=0.5"},
       "    {\"name\": \"lambda\", \"type\": \"constant\", \"value\": 0.5},\n"
       "    {\"name\": \"k\", \"type\": \"constant\", \"value\": 2},\n"
       "    {\"name\": \"mu\", \"type\": \"constant\", \"value\": 1}\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    std::ofstream(dir_.path() + "/" + row.file) << row.text;
    std::vector<std::string> args = {row.file, "-Pout/", "-Nm"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ProcessResult run = RunProcess(SAN_BINARY, args, dir_.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::string record = File("m.run.json");
    const std::string from = "\"globals\": [\n";
    const std::size_t begin = record.find(from);
    const std::size_t end = record.find("  ],\n", begin);
    ASSERT_NE(end, std::string::npos) << record;
    EXPECT_EQ(record.substr(begin + from.size(), end - begin - from.size()),
              row.globals);
  }
}

TEST_F(SanRunFilesTest, SolveFollowsTheGenerationWithTheRunsValues) {
  const ProcessResult solved = San({"--solve", "--csv"});
  ASSERT_EQ(solved.exit_code, 0) << solved.err;
  const std::string tail =
      "measure,of,time_start,time_stop,value,bound\nsteady-state,all_b,,,";
  const std::size_t at = solved.out.find("Generated: 3 states\n");
  ASSERT_NE(at, std::string::npos) << solved.out;
  const std::size_t values = solved.out.find(tail, at);
  ASSERT_NE(values, std::string::npos) << solved.out;
  EXPECT_NEAR(std::stod(solved.out.substr(values + tail.size())), 8.0 / 13.0,
              1e-12);

  // solve's header names the run and the values in force.
  const ProcessResult table = San({"--solve"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("model     out/r\n"
                           "run       san "),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find(" of ring.san (san), experiment 0 \"Experiment "
                           "1\"\nglobals   tokens=2 speed=2\nchain     3 "
                           "states, 4 transitions\n"),
            std::string::npos)
      << table.out;
  const ProcessResult json = San({"--solve", "--json"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out.find("\"run\": {\"program\":\"san\","),
            json.out.find("\"model\": \"out/r\",\n  ") + 20)
      << json.out;
  EXPECT_NE(
      json.out.find("\"experiment\":0,\"experiment_name\":\"Experiment 1\","
                    "\"globals\":[{\"name\":\"tokens\",\"type\":\"int\","
                    "\"value\":2},{\"name\":\"speed\",\"type\":\"double\","
                    "\"value\":2}],\"states\":3,\"transitions\":4,"),
      std::string::npos)
      << json.out;
}

TEST_F(SanRunFilesTest, SolveOptionsAreCheckedBeforeTheRun) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"--solve", "--methd=direct"}, "after --solve: unknown option"},
      {{"--solve", "--csv", "--json"}, "--csv and --json exclude each other"},
      {{"--solve", "-Pother/"}, "solve reads the chain san writes"},
      {{"--solve", "stray"}, "unexpected argument \"stray\""},
      {{"--check", "--solve"}, "--check makes no chain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const ProcessResult refused = San(c.args);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_FALSE(Exists("r.arm"));
  }
}

TEST_F(SanRunFilesTest, AnInputNamedAsAResultFileIsRefusedAndKept) {
  constexpr char kModel[] =
      "ctmc\nmodule m\n  x : [0..1] init 0;\n  [] x=0 -> 2 : (x'=1);\n"
      "  [] x=1 -> 1 : (x'=0);\nendmodule\n";
  constexpr char kProperties[] = "\"up\": S=? [ x=0 ];\n";
  std::ofstream(dir_.path() + "/out/m.sm") << kModel;
  std::ofstream(dir_.path() + "/out/m.props") << kProperties;
  std::ofstream(dir_.path() + "/out/r.arm") << kModel;
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const std::vector<Case> cases = {
      {{"--props", "out/m.props", "out/m.sm", "-Pout/", "-Nm"},
       "the property file out/m.props is the result file out/m.props"},
      {{"--props", "m.props", "m.sm", "-P", dir_.path() + "/out/", "-Nm"},
       "the property file m.props is the result file"},
      {{"--format", "prism", "out/r.arm", "-Pout/", "-Nr"},
       "the model file out/r.arm is the result file out/r.arm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string cwd =
        c.args[1] == "m.props" ? dir_.path() + "/out" : dir_.path();
    const ProcessResult refused = RunProcess(SAN_BINARY, c.args, cwd);
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_EQ(File("m.props"), kProperties);
    EXPECT_EQ(File("r.arm"), kModel);
    EXPECT_FALSE(Exists("m.arm"));
  }
  // Another name publishes beside them.
  const ProcessResult run = RunProcess(
      SAN_BINARY, {"--props", "out/m.props", "out/m.sm", "-Pout/", "-Nm2"},
      dir_.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(File("m.props"), kProperties);
  EXPECT_TRUE(Exists("m2.props"));
}

}  // namespace
