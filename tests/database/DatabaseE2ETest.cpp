// Whole runs of gen, san and solve recording into a results database.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/DatabaseEngines.h"
#include "tests/support/RunProcess.h"

namespace {

// A shop of `machines` machines that fail one by one at fail_rate each and
// are fixed one at a time at rate 1: machines + 1 states (the number up),
// and every state but the ends has a failure and a fix, so 2 * machines
// transitions.
constexpr const char* kShop =
    "model shop;\n"
    "global int machines = 3;\n"
    "global real fail_rate = 0.5;\n"
    "study rates {\n"
    "  sweep fail_rate in [0.5, 2];\n"
    "}\n"
    "place up = machines;\n"
    "place down;\n"
    "activity fail rate fail_rate * up {\n"
    "  input up;\n"
    "  output down;\n"
    "}\n"
    "activity fix rate 1.0 {\n"
    "  input down;\n"
    "  output up;\n"
    "}\n"
    "reward all_up = down == 0 ? 1 : 0;\n";

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The number of transitions in an .arm file, read independently of the
// writer: after the type and the count, each block is its state number,
// then (target, rate) pairs, then a 0.
long CountTransitions(const std::string& arm) {
  std::istringstream in(ReadWholeFile(arm));
  std::string type, count;
  in >> type >> count;
  long transitions = 0;
  std::string field;
  while (in >> field) {  // the state number
    while (in >> field && field != "0") {
      in >> field;  // the rate
      ++transitions;
    }
  }
  return transitions;
}

std::string Sha256Sum(const std::string& path) {
  const ProcessResult sum = RunProcess("/usr/bin/sha256sum", {path}, "/");
  return sum.out.substr(0, 64);
}

class DatabaseRunTest : public testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    std::string why;
    database_ = FreshDatabase(GetParam(), folder_.path(), "e2e", &why);
    if (database_.empty()) {
      GTEST_SKIP() << "no PostgreSQL server could be started for the "
                      "database tests: "
                   << why;
    }
  }

  ScopedTempDir folder_;
  std::string database_;
};

TEST_P(DatabaseRunTest, GenAndSanRecordTheirRunsAndSolveItsMeasures) {
  const std::string& dir = folder_.path();
  const ProcessResult gen = RunProcess(
      GEN_BINARY,
      {"-P", "./", "-Nexp1", "-B1", "-O", "d:safe_restore_rate_G:2.5", "-s",
       database_, "-e", "study 'one'"},
      dir);
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  EXPECT_EQ(gen.err, "");

  const std::string model = dir + "/my \"shop\"; v1.san";
  Write(model, kShop);
  const ProcessResult san =
      RunProcess(SAN_BINARY,
                 {model, "-P", dir + "/", "-Nshop", "-B1", "-O", "i:machines:4",
                  "-s", database_, "-e", "study 'one'"},
                 dir);
  ASSERT_EQ(san.exit_code, 0) << san.err;

  const auto runs =
      Query(database_,
            "SELECT program, model_file, model_sha256, experiment, "
            "experiment_name, result_name, result_base, states, transitions, "
            "status, entity FROM runs ORDER BY id");
  ASSERT_EQ(runs.size(), 2u);
  const std::vector<std::vector<std::string>> expected = {
      {"gen", "NULL", "NULL", "1", "Experiment 2", "exp1", dir + "/exp1", "25",
       std::to_string(CountTransitions(dir + "/exp1.arm")), "published",
       "study 'one'"},
      {"san", model, Sha256Sum(model), "1", "Experiment 2", "shop",
       dir + "/shop", "5", "8", "published", "study 'one'"},
  };
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (std::size_t c = 0; c < expected[r].size(); ++c) {
      SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
      EXPECT_EQ(runs[r][c].value_or("NULL"), expected[r][c]);
    }
  }
  EXPECT_EQ(CountTransitions(dir + "/shop.arm"), 8);

  // The values in force after the overrides, in the study's order.
  const auto globals = Query(database_,
                             "SELECT run_id, name, type, value FROM globals "
                             "ORDER BY run_id, position");
  const std::vector<std::vector<std::string>> values = {
      {"pperm_fault_G", "double", "0.1"},
      {"safe_restore_rate_G", "double", "2.5"},
      {"test_execution_rate_G", "double", "10000"},
      {"machines", "int", "4"},
      {"fail_rate", "double", "2"},
  };
  ASSERT_EQ(globals.size(), values.size());
  for (std::size_t g = 0; g < values.size(); ++g) {
    SCOPED_TRACE(g);
    EXPECT_EQ(*globals[g][1], values[g][0]);
    EXPECT_EQ(*globals[g][2], values[g][1]);
    EXPECT_EQ(std::stod(*globals[g][3]), std::stod(values[g][2]));
  }

  // solve finds the run by its files (named differently) and records what
  // it prints, each with its bound.
  const ProcessResult solve = RunProcess(
      SOLVE_BINARY,
      {"-P", dir + "/./", "-Nshop", "--csv", "--time=1", "--db", database_},
      dir);
  ASSERT_EQ(solve.exit_code, 0) << solve.err;
  const auto measures =
      Query(database_,
            "SELECT r.result_name, m.measure, m.subject, m.value, m.bound, "
            "m.method FROM measures m JOIN runs r ON r.id = m.run_id "
            "ORDER BY m.position");
  // steady-state, instant and accumulated for the one variable.
  ASSERT_EQ(measures.size(), 3u);
  std::istringstream printed(solve.out);
  std::string line;
  std::getline(printed, line);  // the header
  for (const SqlRow& row : measures) {
    SCOPED_TRACE(*row[1]);
    ASSERT_TRUE(std::getline(printed, line));
    EXPECT_EQ(*row[0], "shop");
    EXPECT_EQ(line.substr(0, line.find(',', line.find(',') + 1)),
              *row[1] + "," + *row[2]);
    ASSERT_TRUE(row[4].has_value());
    EXPECT_GE(std::stod(*row[4]), 0.0);
  }
  // Closed form: the chance that all 4 are up in the long run. With
  // failure rate 2 per machine up and one fixer at rate 1, the
  // balance equations give pi(k up) proportional to 1 / (2^k k!) (k = 0..4).
  double norm = 0;
  double term = 1;
  for (int k = 0; k <= 4; ++k) {
    if (k > 0) term /= 2.0 * k;
    norm += term;
  }
  EXPECT_NEAR(std::stod(*measures[0][3]), term / norm, 1e-12);
  EXPECT_EQ(*measures[0][5], "gth");
  EXPECT_EQ(*measures[1][5], "uniformization");
}

// An imported model has no globals; its constants, from the file or from
// --const, are what tells the runs of a sweep apart. They were written to
// the .run.json only.
TEST_P(DatabaseRunTest, AnImportedModelRecordsItsConstants) {
  const std::string& dir = folder_.path();
  Write(dir + "/m.pnpro", R"(<?xml version="1.0"?>
<project name="m" version="121"><gspn name="m"><nodes>
  <template name="rate" type="REAL"/>
  <constant name="n" consttype="INTEGER" value="2"/>
  <place name="A" marking="n"/><place name="B"/>
  <transition name="go" type="EXP" delay="rate"/>
  <transition name="back" type="EXP" delay="1.0"/>
</nodes><edges>
  <arc kind="INPUT" tail="A" head="go"/><arc kind="OUTPUT" tail="go" head="B"/>
  <arc kind="INPUT" tail="B" head="back"/>
  <arc kind="OUTPUT" tail="back" head="A"/>
</edges></gspn></project>
)");
  for (const char* rate : {"0.5", "4"}) {
    const ProcessResult san =
        RunProcess(SAN_BINARY,
                   {"--const", std::string("rate=") + rate, "m.pnpro", "-P",
                    dir + "/", std::string("-Nm") + rate, "-s", database_},
                   dir);
    ASSERT_EQ(san.exit_code, 0) << san.err;
  }
  const auto globals = Query(database_,
                             "SELECT run_id, position, name, type, value "
                             "FROM globals ORDER BY run_id, position");
  const std::vector<std::vector<std::string>> expected = {
      {"1", "0", "rate", "constant", "0.5"},
      {"1", "1", "n", "constant", "2"},
      {"2", "0", "rate", "constant", "4"},
      {"2", "1", "n", "constant", "2"}};
  ASSERT_EQ(globals.size(), expected.size());
  for (std::size_t g = 0; g < expected.size(); ++g) {
    SCOPED_TRACE(g);
    for (std::size_t c = 0; c < 4; ++c) {
      EXPECT_EQ(*globals[g][c], expected[g][c]);
    }
    EXPECT_EQ(std::stod(*globals[g][4]), std::stod(expected[g][4]));
  }
}

// Every run of a sweep records at once into the same database.
TEST_P(DatabaseRunTest, TwentyConcurrentRunsLoseNoRow) {
  const ProcessResult runs = RunProcess(
      "/bin/sh",
      {"-c",
       "for k in $(seq 0 19); do \"$0\" -P ./ -Nexp$k -B$((k % 10)) -s \"$1\" "
       "-e sweep >out$k.txt 2>err$k.txt & done; wait; cat err*.txt",
       GEN_BINARY, database_},
      folder_.path());
  ASSERT_EQ(runs.exit_code, 0);
  EXPECT_EQ(runs.out, "");
  EXPECT_EQ(QueryValue(database_,
                       "SELECT COUNT(*) FROM runs WHERE status = "
                       "'published' AND states = 25"),
            "20");
  EXPECT_EQ(
      QueryValue(database_, "SELECT COUNT(DISTINCT result_name) FROM runs"),
      "20");
  EXPECT_EQ(QueryValue(database_, "SELECT COUNT(*) FROM globals"), "60");
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseRunTest,
                         testing::Values(Engine::kSqlite, Engine::kPostgres),
                         [](const testing::TestParamInfo<Engine>& info) {
                           return std::string(EngineName(info.param));
                         });

// The result files and standard output of a run without -s.
struct Reference {
  std::string out, arm, var, pvtype;
};

Reference RunWithout(const std::vector<std::string>& extra) {
  ScopedTempDir dir;
  std::vector<std::string> args = {"-P", "./", "-Nexp1", "-B2"};
  args.insert(args.end(), extra.begin(), extra.end());
  const ProcessResult run = RunProcess(GEN_BINARY, args, dir.path());
  EXPECT_EQ(run.exit_code, 0);
  return {MaskSeconds(run.out), ReadWholeFile(dir.path() + "/exp1.arm"),
          ReadWholeFile(dir.path() + "/exp1.var"),
          ReadWholeFile(dir.path() + "/exp1.pvtype")};
}

// A database that cannot be opened, written or reached costs the run its
// record only: the message on standard output, the reason on standard
// error, and the same files as without a database.
TEST(DatabaseFailureTest, TheRunStillPublishesItsFiles) {
  const Reference reference = RunWithout({});
  ScopedTempDir dir;
  Write(dir.path() + "/old.db", "");
  // A database made by an earlier run, for the read-only case.
  ASSERT_EQ(RunProcess(GEN_BINARY, {"-P", "./", "-Nfirst", "-s", "old.db"},
                       dir.path())
                .exit_code,
            0);
  struct Case {
    const char* what;
    std::string server;
    std::vector<std::string> environment;
    std::string reason;
  };
  const std::string shim = std::string("LD_PRELOAD=") + DB_FAIL_SHIM;
  // A sanitizer build's runtime would refuse to come after the shim.
  const char* asan_options = std::getenv("ASAN_OPTIONS");
  const std::string asan = std::string("ASAN_OPTIONS=") +
                           (asan_options != nullptr ? asan_options : "") +
                           ":verify_asan_link_order=0";
  const Case cases[] = {
      {"unreachable server",
       "postgresql://127.0.0.1:1/x?connect_timeout=5",
       {},
       "PostgreSQL server postgresql://127.0.0.1:1/x"},
      {"folder missing", "sqlite:no/such/folder/r.db", {}, "unable to open"},
      {"read-only file",
       "old.db",
       {shim, asan, "FAIL_DATABASE_FILE=old.db", "FAIL_DATABASE_HOW=read-only"},
       "readonly"},
      {"full disk",
       "new.db",
       {shim, asan, "FAIL_DATABASE_FILE=new.db", "FAIL_DATABASE_HOW=full"},
       "full"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.environment;
    for (const char* arg : {GEN_BINARY, "-P", "./", "-Nexp1", "-B2", "-s"}) {
      args.push_back(arg);
    }
    args.push_back(c.server);
    const ProcessResult run = RunProcess("/usr/bin/env", args, dir.path());
    EXPECT_EQ(run.exit_code, 0);
    const std::string summary = "Generated: 25 states\n";
    std::string expected = reference.out;
    expected.insert(expected.find(summary) + summary.size(),
                    "Error writing ssg experiment info\n");
    EXPECT_EQ(MaskSeconds(run.out), expected);
    EXPECT_EQ(run.err.rfind("Error: the run could not be recorded: ", 0), 0u)
        << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_EQ(ReadWholeFile(dir.path() + "/exp1.arm"), reference.arm);
    EXPECT_EQ(ReadWholeFile(dir.path() + "/exp1.var"), reference.var);
    EXPECT_EQ(ReadWholeFile(dir.path() + "/exp1.pvtype"), reference.pvtype);
  }
}

// A bare server name, as callers have always passed, changes nothing:
// the same bytes, and nothing created.
TEST(DatabaseFailureTest, ABareServerNameChangesNothing) {
  const Reference reference = RunWithout({});
  const Reference named = RunWithout({"-s", "db_macserver", "-e", "entity"});
  EXPECT_EQ(named.out, reference.out);
  EXPECT_EQ(named.arm, reference.arm);
  EXPECT_EQ(named.var, reference.var);
  ScopedTempDir dir;
  ASSERT_EQ(
      RunProcess(GEN_BINARY, {"-P", "./", "-Nexp1", "-sdbhost"}, dir.path())
          .exit_code,
      0);
  const ProcessResult listing = RunProcess("/bin/ls", {"-A"}, dir.path());
  EXPECT_EQ(listing.out, "exp1.arm\nexp1.pvtype\nexp1.var\n");
}

TEST(DatabaseFailureTest, SolveFailsWhenItCannotRecord) {
  ScopedTempDir dir;
  ASSERT_EQ(
      RunProcess(GEN_BINARY, {"-P", "./", "-Nexp1"}, dir.path()).exit_code, 0);
  struct Case {
    std::vector<std::string> options;
    std::string message;
  };
  const Case cases[] = {
      {{"--db", "postgresql://127.0.0.1:1/x?connect_timeout=5"},
       "cannot connect"},
      {{"--db", "r.db"}, "holds no published run that wrote ./exp1"},
      {{"--db", "r.db", "--run", "7"}, "holds no run 7"},
      {{"--db", "dbhost"}, "names no database"},
      {{"--run", "7"}, "--run needs --db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {"-P", "./", "-Nexp1"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ProcessResult solve = RunProcess(SOLVE_BINARY, args, dir.path());
    EXPECT_EQ(solve.exit_code, 1);
    EXPECT_NE(solve.err.find(c.message), std::string::npos) << solve.err;
  }
}

}  // namespace
