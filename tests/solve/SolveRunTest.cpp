#include "solve/SolveRun.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

struct Outcome {
  int exit_code;
  std::string out;
  std::string err;
};

Outcome RunArgs(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"solve"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out;
  std::ostringstream err;
  const int code =
      RunSolve(static_cast<int>(argv.size()), argv.data(), out, err);
  return {code, out.str(), err.str()};
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const char kTypes[] =
    "Version:1\nNumPV:1\nName:failed\nType:3\nNumTimes:1\nStart:0\nStop:1\n";

// Two states, 1 -> 2 at rate 1 and 2 -> 1 at rate 3: pi = (3/4, 1/4); the
// reward is 1 in state 2.
void WriteTwoStateChain(const std::string& base, int file_type) {
  Write(base + ".arm", std::to_string(file_type) + "\n2\n" +
                           std::string(61, ' ') +
                           "\n1\n2\n1.0000000000e+00\n0\n2\n1\n"
                           "3.0000000000e+00\n2\n4.0000000000e+00\n0\n");
  Write(base + ".pvtype", kTypes);
  if (file_type == 1) {
    Write(base + ".var", "failed\n1\n0\n0\n2\n0\n1\n");
    return;
  }
  std::string bytes = "failed\n";
  for (std::uint32_t s = 1; s <= 2; ++s) {
    const double values[2] = {0.0, s == 2 ? 1.0 : 0.0};
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(s >> 8 * i));
    for (double d : values) {
      std::uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<char>(bits >> 8 * i));
      }
    }
  }
  Write(base + ".var", bytes);
}

TEST(SolveRunTest, TableAndCsvForTextAndBinaryRecords) {
  ScopedTempDir dir;
  for (int file_type : {1, 2}) {
    SCOPED_TRACE(file_type);
    WriteTwoStateChain(dir.path() + "/c", file_type);
    const Outcome table = RunArgs({"-P", dir.path() + "/", "-Nc"});
    ASSERT_EQ(table.exit_code, 0) << table.err;
    EXPECT_NE(table.out.find("2 states, 2 transitions (1 self-loops ignored)"),
              std::string::npos);
    EXPECT_NE(table.out.find("irreducible"), std::string::npos);
    // The one layout, bound column included, in the table and the CSV.
    EXPECT_NE(table.out.find("\nsteady-state   failed   -      "
                             "2.5000000000e-01   "),
              std::string::npos)
        << table.out;
    const Outcome csv = RunArgs({"-P" + dir.path() + "/", "-N", "c", "--csv"});
    ASSERT_EQ(csv.exit_code, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("measure,of,time_start,time_stop,value,bound\n"
                            "steady-state,failed,,,0.25,",
                            0),
              0u)
        << csv.out;
    EXPECT_EQ(csv.err, "");
    // Times and values in the fewest digits that read back exactly: the
    // time asked as 0.7 is 0.7, not 0.69999999999999996.
    const Outcome at = RunArgs({"-P" + dir.path() + "/", "-Nc", "--time=0.7"});
    EXPECT_NE(at.out.find(" 0.7 "), std::string::npos) << at.out;
    const Outcome at_csv =
        RunArgs({"-P" + dir.path() + "/", "-Nc", "--time=0.7", "--csv"});
    EXPECT_NE(at_csv.out.find(",failed,0.7,0.7,"), std::string::npos)
        << at_csv.out;
  }
}

TEST(SolveRunTest, NotesReducibleChainsAndImpulseRewards) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/r";
  Write(base + ".arm", "1\n2\n\n1\n2\n5.0\n0\n2\n0\n");
  Write(base + ".pvtype", kTypes);
  Write(base + ".var", "failed\n1\n0\n0\n2\n7\n1\n");
  const Outcome table = RunArgs({"-P" + dir.path() + "/", "-Nr"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("reducible: 1 closed class reached from state 1, "
                           "1 transient states; limiting distribution from "
                           "state 1"),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find("impulse rewards are not all 0 (failed in state "
                           "2: 7)"),
            std::string::npos);
  const Outcome csv = RunArgs({"-P" + dir.path() + "/", "-Nr", "--csv"});
  EXPECT_EQ(csv.out.rfind("measure,of,time_start,time_stop,value,bound\n"
                          "steady-state,failed,,,1,",
                          0),
            0u)
      << csv.out;
  EXPECT_NE(csv.err.find("solve: note: chain reducible"), std::string::npos);
}

TEST(SolveRunTest, ErrorsNameTheFileAndExitWithOne) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/e";
  const std::string p = "-P" + dir.path() + "/";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* arm;  // written when not null
    const char* message;
  };
  const std::vector<Case> cases = {
      {"no name", {p}, nullptr, "solve: the experiment name (-N) is missing"},
      {"bad method",
       {p, "-Ne", "--method=fast"},
       nullptr,
       "method \"fast\" is not one of"},
      {"bad tolerance",
       {p, "-Ne", "--tolerance=2"},
       nullptr,
       "tolerance \"2\" is outside"},
      {"unknown option",
       {p, "-Ne", "--methd=direct"},
       nullptr,
       "solve: unknown option \"--methd=direct\"; did you mean "
       "\"--method\"?"},
      {"missing value", {p, "-Ne", "--time"}, nullptr, "needs a value"},
      {"stray argument", {p, "-Ne", "x"}, nullptr, "unexpected argument"},
      {"missing file", {p, "-Nnone"}, nullptr, "none.arm: cannot open"},
      {"truncated arm",
       {p, "-Ne"},
       "1\n2\n\n1\n2\n",
       "e.arm:6: the file ends before the rate from state 1 to state 2"},
      {"deterministic arm",
       {p, "-Ne"},
       "1\n2\n\n1\n2\n-1.0\n0\n2\n0\n",
       "e.arm:6: negative entry -1.0 from state 1 to state 2"},
  };
  Write(base + ".pvtype", kTypes);
  Write(base + ".var", "failed\n1\n0\n0\n2\n0\n1\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.arm != nullptr) Write(base + ".arm", c.arm);
    const Outcome outcome = RunArgs(c.args);
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
  }
}

TEST(SolveRunTest, SeparateValuesReadAsGluedOnesAndHelpListsEveryOption) {
  ScopedTempDir dir;
  WriteTwoStateChain(dir.path() + "/c", 1);
  const Outcome glued =
      RunArgs({"-P" + dir.path() + "/", "-Nc", "--time=1,2", "--csv"});
  const Outcome separate =
      RunArgs({"-P", dir.path() + "/", "-N", "c", "--time", "1,2", "--csv"});
  EXPECT_EQ(glued.exit_code, 0) << glued.err;
  EXPECT_EQ(separate.out, glued.out);
  const Outcome threads = RunArgs(
      {"-P" + dir.path() + "/", "-Nc", "--time=1,2", "--csv", "--threads=3"});
  EXPECT_EQ(threads.exit_code, 0) << threads.err;
  EXPECT_EQ(threads.out, glued.out);

  const Outcome help = RunArgs({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* option :
       {"-P PATH", "-N NAME", "--csv", "--json", "--time T,...", "--transient",
        "--absorption", "--bounds", "--epsilon E", "--method M",
        "--tolerance T", "--direct-limit N", "--threads N", "--version"}) {
    SCOPED_TRACE(option);
    EXPECT_NE(help.out.find("\n  " + std::string(option) + ' '),
              std::string::npos);
  }
  const Outcome version = RunArgs({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("solve ", 0), 0u);
}

TEST(SolveRunTest, FailedWriteIsAnError) {
  ScopedTempDir dir;
  WriteTwoStateChain(dir.path() + "/c", 1);
  std::vector<const char*> argv = {"solve", "-P", dir.path().c_str(), "-N/c"};
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  std::ostringstream err;
  EXPECT_EQ(RunSolve(4, argv.data(), out, err), 1);
  EXPECT_NE(err.str().find("could not be written"), std::string::npos);
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream text(ReadWholeFile(path));
  std::string line;
  while (std::getline(text, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

TEST(SweepTest, WritesOneRowPerExperimentAndNotesMissingGnuplot) {
  ScopedTempDir dir;
  const std::string out = dir.path() + "/sweep";
  const ProcessResult run = RunProcess(
      "/usr/bin/env",
      {"GEN_BIN=" GEN_BINARY, "SOLVE_BIN=" SOLVE_BINARY,
       "GNUPLOT=no-such-gnuplot", "bash", SWEEP_SCRIPT, "unused", out},
      dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("note: gnuplot not found"), std::string::npos);
  const auto rows = ReadCsv(out + "/results.csv");
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{
                         "experiment", "pperm_fault_G", "safe_restore_rate_G",
                         "test_execution_rate_G", "Cpu_Failure",
                         "cpu_catastrophic_failure", "cpu_safe_failure"}));
  const char* rates[] = {"1000", "10000", "2000", "3000", "4000",
                         "5000", "6000",  "7000", "8000", "9000"};
  for (std::size_t k = 1; k < rows.size(); ++k) {
    SCOPED_TRACE(k);
    ASSERT_EQ(rows[k].size(), 7u);
    EXPECT_EQ(rows[k][0], std::to_string(k - 1));
    EXPECT_EQ(rows[k][3], rates[k - 1]);
    // A failure is either catastrophic or safe.
    const double failed = std::stod(rows[k][4]);
    EXPECT_NEAR(failed, std::stod(rows[k][5]) + std::stod(rows[k][6]),
                1e-12 * failed);
  }
}

}  // namespace

namespace {

// The two-state chain of WriteTwoStateChain with properties beside it.
TEST(SolveRunTest, FullLayoutCarriesBoundsPropertiesAndUnsupportedOnes) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/c";
  WriteTwoStateChain(base, 1);
  Write(base + ".props",
        "props 1\n"
        "up at 2\treward-instant\tfailed\t2\n"
        "mtff\treach-time\tfailed\n"
        "rewards\tunsupported\tR{\"cost\"}=? [C<=5] (no such reward)\n");
  const std::string p = "-P" + dir.path() + "/";
  const Outcome table = RunArgs({p, "-Nc"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  // pi(2) = 1/4, with its bound; at t the instant value is 1/4 (1 - e^-4t).
  EXPECT_NE(table.out.find("steady-state   failed    -      "
                           "2.5000000000e-01   "),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find("property       up at 2   2      2.4991613434e-01"),
            std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find("property       mtff      -      1.0000000000e+00"),
            std::string::npos);
  EXPECT_NE(table.out.find("property       rewards   -      not supported yet"),
            std::string::npos);
  EXPECT_NE(table.out.find("note      not supported yet: rewards: "
                           "R{\"cost\"}=? [C<=5] (no such reward)"),
            std::string::npos);

  const Outcome csv = RunArgs({p, "-Nc", "--csv"});
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
            "measure,of,time_start,time_stop,value,bound");
  EXPECT_NE(csv.out.find("\nproperty,mtff,,,1,"), std::string::npos);
  EXPECT_NE(csv.out.find("\nproperty,rewards,,,,\n"), std::string::npos);
  EXPECT_NE(csv.err.find("not supported yet: rewards"), std::string::npos);

  const Outcome json = RunArgs({p, "-Nc", "--json", "--time=0.5"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_NE(json.out.find("{\"measure\": \"instant\", \"of\": \"failed\", "
                          "\"time_start\": 0.5, \"time_stop\": 0.5, "
                          "\"value\": 0.216166179"),
            std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("{\"measure\": \"property\", \"of\": \"rewards\", "
                          "\"time_start\": null, \"time_stop\": null, "
                          "\"supported\": false}"),
            std::string::npos);
}

// A property's long-run or absorption value is held to the accuracy as the
// steady-state rows are, a transient one is not; a steady-state property
// has its variable's value and bound.
TEST(SolveRunTest, LongRunPropertiesAreHeldToTheAccuracy) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/c";
  WriteTwoStateChain(base, 1);
  const std::string p = "-P" + dir.path() + "/";
  Write(base + ".props", "props 1\nshare\tsteady-state\tfailed\n");
  const Outcome csv = RunArgs({p, "-Nc", "--csv"});
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  auto fields_after = [&](const std::string& start) {
    const std::size_t at = csv.out.find(start);
    if (at == std::string::npos) return std::string("missing");
    const std::size_t from = at + start.size();
    return csv.out.substr(from, csv.out.find('\n', from) - from);
  };
  EXPECT_EQ(fields_after("\nproperty,share,"),
            fields_after("\nsteady-state,failed,"))
      << csv.out;

  Write(base + ".props",
        "props 1\nmtff\treach-time\tfailed\n"
        "soon\treach-probability\tfailed\t0.5\n");
  // Without the long-run solve, only the properties' values are checked.
  const Outcome strict = RunArgs({p, "-Nc", "--time=0.5", "--accuracy=1e-300"});
  EXPECT_EQ(strict.exit_code, 3) << strict.out << strict.err;
  EXPECT_NE(strict.err.find("the largest bound is "), std::string::npos);
  EXPECT_NE(strict.err.find(" on property mtff 1.0"), std::string::npos)
      << strict.err;
  EXPECT_EQ(RunArgs({p, "-Nc", "--time=0.5"}).exit_code, 0);
  Write(base + ".props", "props 1\nsoon\treach-probability\tfailed\t0.5\n");
  EXPECT_EQ(RunArgs({p, "-Nc", "--time=0.5", "--accuracy=1e-300"}).exit_code,
            0);
}

// The JANI and PRISM readers add an indicator variable for an until's left
// set and for an expected reward's goal, named after the property (made a
// plain name, numbered when taken): the table leaves those out, not a
// variable of the same shape that no property uses in that role.
TEST(SolveRunTest, TableLeavesOutTheIndicatorsOfPropertySets) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/c";
  WriteTwoStateChain(base, 1);
  const char* const names[] = {"failed", "p_q_left", "other_left",
                               "cost_target", "cost_target_2"};
  std::string types = "Version:1\nNumPV:5\n";
  std::string var;
  for (const char* name : names) {
    types +=
        std::string("Name:") + name + "\nType:3\nNumTimes:1\nStart:0\nStop:1\n";
    var += std::string(name) + "\n";
  }
  // failed and cost_target_2 hold in state 2, the others in state 1.
  var +=
      "1\n0\n0\n0\n1\n0\n1\n0\n1\n0\n0\n"
      "2\n0\n1\n0\n0\n0\n0\n0\n0\n0\n1\n";
  Write(base + ".pvtype", types);
  Write(base + ".var", var);
  Write(base + ".props",
        "props 1\n"
        "p q\tuntil\tp_q_left\tfailed\t0\tinf\n"
        "cost\treward-reach\tfailed\tcost_target_2\n");
  const std::string p = "-P" + dir.path() + "/";
  const Outcome table = RunArgs({p, "-Nc"});
  ASSERT_EQ(table.exit_code, 0) << table.err;
  for (const char* shown : {"failed ", "other_left ", "cost_target ",
                            "property       p q ", "property       cost "}) {
    EXPECT_NE(table.out.find(shown), std::string::npos) << shown;
  }
  EXPECT_EQ(table.out.find("p_q_left"), std::string::npos) << table.out;
  EXPECT_EQ(table.out.find("cost_target_2"), std::string::npos) << table.out;

  const Outcome csv = RunArgs({p, "-Nc", "--csv"});
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_NE(csv.out.find("\nsteady-state,p_q_left,,,0.75,"), std::string::npos)
      << csv.out;
  EXPECT_NE(csv.out.find("\nsteady-state,cost_target_2,,,0.25,"),
            std::string::npos);
}

TEST(SolveRunTest, AbsorptionOnAChainThatEnds) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/r";
  // 1 -> 2 at rate 5, 2 absorbing: mean time 0.2, and "failed" earns 1 per
  // unit of time in state 1 plus an impulse of 7 on entering state 2.
  Write(base + ".arm", "1\n2\n\n1\n2\n5.0\n0\n2\n0\n");
  Write(base + ".pvtype", kTypes);
  Write(base + ".var", "failed\n1\n0\n1\n2\n7\n0\n");
  const Outcome csv =
      RunArgs({"-P" + dir.path() + "/", "-Nr", "--absorption", "--csv"});
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  EXPECT_NE(csv.out.find("\nabsorption-probability,class of state 2,,,1,"),
            std::string::npos)
      << csv.out;
  EXPECT_NE(csv.out.find("\nabsorption-time,-,,,0.2,"),
            std::string::npos);
  EXPECT_NE(csv.out.find("\nabsorption-reward,failed,,,7.2,"),
            std::string::npos);

  WriteTwoStateChain(base, 1);
  const Outcome ring =
      RunArgs({"-P" + dir.path() + "/", "-Nr", "--absorption"});
  ASSERT_EQ(ring.exit_code, 0);
  EXPECT_NE(ring.out.find("no absorption measures: the chain is irreducible"),
            std::string::npos);
}

TEST(SolveRunTest, BadPropertiesAndTimesAreErrors) {
  ScopedTempDir dir;
  const std::string base = dir.path() + "/c";
  WriteTwoStateChain(base, 1);
  const std::string p = "-P" + dir.path() + "/";
  Write(base + ".props", "props 1\nx\tsteady-state\tnone\n");
  Outcome outcome = RunArgs({p, "-Nc"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.err.find("c.props:2: unknown reward variable \"none\""),
            std::string::npos);
  std::remove((base + ".props").c_str());
  outcome = RunArgs({p, "-Nc", "--time=1,-2"});
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.err.find("time \"-2\" is not a finite number >= 0"),
            std::string::npos);
  for (const char* threads : {"0", "257", "1.5", "two"}) {
    SCOPED_TRACE(threads);
    outcome = RunArgs({p, "-Nc", "--threads", threads});
    EXPECT_EQ(outcome.exit_code, 1);
    EXPECT_NE(outcome.err.find("--threads value \"" + std::string(threads) +
                               "\" is not a whole number in 1..256"),
              std::string::npos)
        << outcome.err;
  }
}

// Runs `script` in bash with the built solve as $SOLVE.
ProcessResult Shell(const std::string& script, const std::string& dir) {
  return RunProcess("/bin/bash", {"-c", "SOLVE=" SOLVE_BINARY "\n" + script},
                    dir);
}

TEST(SolveProcessTest, MemoryLimitFileSizeLimitAndClosedPipeExitWithOne) {
  ScopedTempDir dir;
  // A ring of 400,000 states: small on disk, large once solved.
  {
    std::ofstream arm(dir.path() + "/big.arm", std::ios::binary);
    std::ofstream var(dir.path() + "/big.var", std::ios::binary);
    const std::uint32_t n = 400000;
    arm << "1\n" << n << "\n" << std::string(56, ' ') << "\n";
    for (std::uint32_t s = 1; s <= n; ++s) {
      arm << s << '\n' << s % n + 1 << "\n1\n0\n";
      var << s << '\n';
    }
  }
  Write(dir.path() + "/big.pvtype", "Version:1\nNumPV:0\n");
  WriteTwoStateChain(dir.path() + "/c", 1);
  struct Case {
    const char* name;
    const char* script;
    const char* message;
  };
  std::vector<Case> cases = {
      {"file size limit",
       // The limit would cut the captured standard error too: it leaves
       // through a pipe.
       "(ulimit -f 0; \"$SOLVE\" -Nc > out.txt; echo \"rc=$?\" >&2) 2>&1 | "
       "cat",
       "solve: the results could not be written"},
      {"closed pipe", "(sleep 0.3; \"$SOLVE\" -Nc; echo \"rc=$?\" >&2) | true",
       "solve: the results could not be written"},
  };
  // AddressSanitizer reserves terabytes of shadow address space at start,
  // so no address-space limit small enough to matter lets it run.
  if (!kAddressSanitized) {
    cases.push_back(
        {"memory limit",
         "ulimit -v 60000; \"$SOLVE\" -Nbig --method=direct; echo \"rc=$?\"",
         "solve: out of memory while solving 400000 states"});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult run = Shell(c.script, dir.path());
    EXPECT_NE((run.out + run.err).find(c.message), std::string::npos)
        << run.out << run.err;
    EXPECT_NE((run.out + run.err).find("rc=1"), std::string::npos)
        << run.out << run.err;
  }
}

}  // namespace
