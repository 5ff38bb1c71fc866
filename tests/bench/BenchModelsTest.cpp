#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "bench/floor/FmsFloor.h"
#include "bench/floor/KanbanFloor.h"
#include "bench/models/Fms.h"
#include "bench/models/Kanban.h"
#include "reward/PVModel.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/RunProcess.h"

namespace {

struct Files {
  std::string out;
  std::string arm;
  std::string var;
  std::string pvtype;
};

Files ReadFiles(const std::string& base) {
  return {"", ReadWholeFile(base + ".arm"), ReadWholeFile(base + ".var"),
          ReadWholeFile(base + ".pvtype")};
}

Files GenerateModel(std::unique_ptr<PVModel> model, const std::string& dir) {
  testing::internal::CaptureStdout();
  RunGenerationOrExit(*model, dir + "/", "g");
  const std::string out = testing::internal::GetCapturedStdout();
  Files files = ReadFiles(dir + "/g");
  files.out = out;
  return files;
}

struct Counts {
  std::uint64_t states = 0;
  std::uint64_t transitions = 0;
};

// States from line 2; transitions are the target lines of every block.
Counts CountArm(const std::string& arm) {
  std::istringstream in(arm);
  std::string line;
  Counts counts;
  std::getline(in, line);
  std::getline(in, line);
  counts.states = std::stoull(line);
  std::getline(in, line);  // placeholder
  std::uint64_t lines = 0;
  while (std::getline(in, line)) ++lines;
  counts.transitions = (lines - 2 * counts.states) / 2;
  return counts;
}

// The block of state `number`: its target and rate lines, without the
// number line and the closing 0.
std::string Block(const std::string& arm, int number) {
  std::istringstream in(arm);
  std::string line;
  for (int i = 0; i < 3; ++i) std::getline(in, line);  // header
  while (std::getline(in, line)) {
    const bool wanted = line == std::to_string(number);
    std::string block;
    std::string target;
    std::string rate;
    while (std::getline(in, target) && target != "0") {
      std::getline(in, rate);
      block += target + "\n" + rate + "\n";
    }
    if (wanted) return block;
  }
  return "missing";
}

}  // namespace

TEST(BenchModelsTest, ReachPublishedCounts) {
  struct Row {
    const char* model;
    int n;
    std::uint64_t states;
    std::uint64_t transitions;
  };
  const Row rows[] = {
      {"kanban", 1, 160, 616},      {"kanban", 2, 4600, 28120},
      {"kanban", 3, 58400, 446400}, {"fms", 1, 54, 155},
      {"fms", 2, 810, 3699},        {"fms", 3, 6520, 37394},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.model) + " N=" + std::to_string(row.n));
    ScopedTempDir dir;
    const bool kanban = std::string(row.model) == "kanban";
    const Files files = GenerateModel(
        kanban ? MakeKanbanModel(row.n) : MakeFmsModel(row.n), dir.path());
    const Counts counts = CountArm(files.arm);
    EXPECT_EQ(counts.states, row.states);
    EXPECT_EQ(counts.transitions, row.transitions);
    EXPECT_NE(files.out.find("Generated: " + std::to_string(row.states) +
                             " states\n"),
              std::string::npos);
    // One name line, then number, impulse and reward per state.
    EXPECT_EQ(std::count(files.var.begin(), files.var.end(), '\n'),
              static_cast<long>(1 + 3 * row.states));
  }
}

// Rates worked out by hand from the activity rates, the case weights and,
// for FMS, the load factor and the instantaneous choices.
TEST(BenchModelsTest, RatesOfFirstStates) {
  ScopedTempDir kanban_dir;
  const Files kanban = GenerateModel(MakeKanbanModel(1), kanban_dir.path());
  // State 1, all cards free: only in_1 (rate 1). State 2, one part in
  // machining_1: finish_1 ok 1.2 * 0.7 and redo 1.2 * 0.3, in_1 disabled.
  EXPECT_EQ(Block(kanban.arm, 1), "2\n1.0000000000e+00\n");
  EXPECT_EQ(Block(kanban.arm, 2), "3\n8.4000000000e-01\n4\n3.6000000000e-01\n");
  // State 4, the part in rework_1: back_1 at 0.3 returns to state 2.
  EXPECT_EQ(Block(kanban.arm, 4), "2\n3.0000000000e-01\n");
  // The reward is the number of parts in machining: 0 in state 1, 1 in 2.
  EXPECT_EQ(kanban.var.substr(0, 26), "busy_machines\n1\n0\n0\n2\n0\n1\n");

  ScopedTempDir fms_dir;
  const Files fms = GenerateModel(MakeFmsModel(1), fms_dir.path());
  // N = 1: at most one part loaded (np = 1), so each of P1, P2, P3 loads at
  // 1 * min(1, 1/3); loading P1 acquires M1 at once (instantaneous).
  EXPECT_EQ(Block(fms.arm, 1),
            "2\n3.3333333333e-01\n3\n3.3333333333e-01\n4\n3.3333333333e-01\n");
  // State 2, P1 on M1: machining at 0.25 ends in the choice 0.8 / 0.2;
  // P2 and P3 load at 1 * min(1, 1/2), as only they count now.
  EXPECT_EQ(Block(fms.arm, 2),
            "5\n2.0000000000e-01\n6\n5.0000000000e-02\n"
            "7\n5.0000000000e-01\n8\n5.0000000000e-01\n");
  EXPECT_EQ(fms.pvtype,
            "Version:1\nNumPV:1\nName:busy_machines\nType:3\nNumTimes:1\n"
            "Start:0\nStop:1\n");
}

// Each floor writes the general generator's files byte for byte and the
// same lines up to the measured time.
TEST(FloorTest, WritesTheGeneratorsFiles) {
  using Floor = int (*)(int, const std::string&, const std::string&,
                        std::ostream&, std::ostream&);
  using Model = std::unique_ptr<PVModel> (*)(int);
  struct Row {
    const char* name;
    Floor floor;
    Model model;
    int max_n;
  };
  // FMS N = 4 has 35,910 states and every instantaneous branching kind.
  const Row rows[] = {{"kanban", RunKanbanFloor, MakeKanbanModel, 3},
                      {"fms", RunFmsFloor, MakeFmsModel, 4}};
  for (const Row& row : rows) {
    for (int n = 1; n <= row.max_n; ++n) {
      SCOPED_TRACE(std::string(row.name) + " N=" + std::to_string(n));
      ScopedTempDir dir;
      const Files general = GenerateModel(row.model(n), dir.path());
      std::ostringstream out;
      std::ostringstream err;
      ASSERT_EQ(row.floor(n, dir.path() + "/", "f", out, err), 0) << err.str();
      const Files floor = ReadFiles(dir.path() + "/f");
      EXPECT_TRUE(floor.arm == general.arm) << "the .arm files differ";
      EXPECT_TRUE(floor.var == general.var) << "the .var files differ";
      EXPECT_EQ(floor.pvtype, general.pvtype);
      const std::string floor_out = out.str();
      // The floor has no trace level to report.
      const std::string level_line = "SSG: SetTraceLevel: 0\n";
      ASSERT_EQ(general.out.rfind(level_line, 0), 0u);
      const std::string general_out = general.out.substr(
          level_line.size(),
          general.out.find("Computation Time") - level_line.size());
      EXPECT_EQ(floor_out.substr(0, floor_out.find("Computation Time")),
                general_out);
    }
  }
}

TEST(KanbanFloorTest, UnwritableFolderFails) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunKanbanFloor(1, "/nonexistent-folder/", "f", out, err), 1);
  EXPECT_NE(err.str().find("Error: Could not"), std::string::npos);
}

// The genbench program: gen's options and lines, its own argument errors.
TEST(GenBenchTest, RunsLikeGen) {
  ScopedTempDir dir;
  const ProcessResult run = RunProcess(
      GEN_BENCH_BINARY, {"kanban", "2", "-P", dir.path() + "/", "-Nk"}, ".");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find("Computation Time")),
            "path=[" + dir.path() +
                "/]\nSSG: SetTraceLevel: 0\n_$1000$\n_$2000$\n_$3000$\n"
                "_$4000$\n_$4600$\nGenerated: 4600 states\n");
  EXPECT_EQ(CountArm(ReadWholeFile(dir.path() + "/k.arm")).states, 4600u);

  const ProcessResult floor = RunProcess(
      GEN_BENCH_BINARY,
      {"--floor", "kanban", "2", "-P", dir.path() + "/", "-Nf"}, ".");
  EXPECT_EQ(floor.exit_code, 0) << floor.err;
  EXPECT_EQ(ReadWholeFile(dir.path() + "/f.arm"),
            ReadWholeFile(dir.path() + "/k.arm"));
}

TEST(GenBenchTest, RefusesBadArguments) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"petri", "2"}, "unknown model \"petri\"; use kanban or fms"},
      {{"--floor", "fms", "16"}, "N \"16\" is outside 1..15"},
      {{"kanban", "0"}, "N \"0\" is outside 1..10000"},
      {{"kanban", "2x"}, "N \"2x\" is outside 1..10000"},
      {{"--floor", "kanban", "16"}, "N \"16\" is outside 1..15"},
      {{"kanban", "1", "-Bx"}, "-B value \"x\" is not a whole number"},
      {{"kanban", "1", "-Pout/", "--flor"},
       "unknown option \"--flor\"; did you mean \"--floor\"?"},
      {{"kanban", "1", "-N"}, "option \"-N\" needs a value"},
      {{"kanban"}, "genbench takes MODEL and N; given: \"kanban\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    ScopedTempDir dir;
    const ProcessResult run =
        RunProcess(GEN_BENCH_BINARY, row.args, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  const ProcessResult help = RunProcess(GEN_BENCH_BINARY, {"--help"}, ".");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("\n  --floor "), std::string::npos);
  EXPECT_NE(help.out.find("\n  -h VALUE "), std::string::npos);
  const ProcessResult version =
      RunProcess(GEN_BENCH_BINARY, {"--version"}, ".");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("genbench ", 0), 0u);
  const ProcessResult usage = RunProcess(GEN_BENCH_BINARY, {}, ".");
  EXPECT_EQ(usage.exit_code, 0);
  EXPECT_NE(usage.out.find("usage:  genbench MODEL N"), std::string::npos);
}
