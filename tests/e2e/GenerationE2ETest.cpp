// Whole runs of the built gen, compared byte for byte with golden files.
// Only the measured computation time is masked.

#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

std::string Golden(const std::string& name) {
  return ReadWholeFile(std::string(GEN_GOLDEN_DIR) + "/" + name);
}

struct RunCase {
  const char* name;
  std::vector<std::string> args;
  const char* golden;       // folder holding stdout.txt and the expected files
  const char* arm_and_var;  // folder holding exp1.arm and exp1.var
  const char* prefix;       // where the run writes its files
  bool trace_file;          // the run also writes trace.txt
};

const std::vector<RunCase>& Cases() {
  static const std::vector<RunCase> cases = {
      {"experiment 0",
       {"-P", "out/", "-Nexp1", "-B0"},
       "run_exp0",
       "run_exp0",
       "out/",
       false},
      {"experiment 1",
       {"-Pout/", "-Nexp1", "-B1"},
       "run_exp1",
       "run_exp1",
       "out/",
       false},
      {"experiment 9",
       {"-Pout/", "-Nexp1", "-B9"},
       "run_exp9",
       "run_exp9",
       "out/",
       false},
      {"override",
       {"-Pout/", "-Nexp1", "-B3", "-O",
        "d:pperm_fault_G:0.2:d:safe_restore_rate_G:0.5:d:test_execution_"
        "rate_G:5000"},
       "run_override",
       "run_override",
       "out/",
       false},
      {"file type 2 still writes type 1",
       {"-Pout/", "-Nexp1", "-B0", "-F2"},
       "run_exp0",
       "run_exp0",
       "out/",
       false},
      {"path without separator",
       {"-Pout", "-Nexp1", "-B0"},
       nullptr,
       "run_exp0",
       "out",
       false},
      {"trace level 1 to a file",
       {"-Pout/", "-Nexp1", "-B0", "-l1", "-t", "trace.txt"},
       "run_l1_file",
       "run_exp0",
       "out/",
       true},
      {"trace level 4 to a file",
       {"-Pout/", "-Nexp1", "-B0", "-l4", "-ttrace.txt"},
       "run_l4_file",
       "run_exp0",
       "out/",
       true},
      {"trace level 1 to standard output",
       {"-Pout/", "-Nexp1", "-B0", "-l1"},
       "run_l1_stdout",
       "run_exp0",
       "out/",
       false},
      {"trace level 4 to standard output",
       {"-Pout/", "-Nexp1", "-B0", "-l4"},
       "run_l4_stdout",
       "run_exp0",
       "out/",
       false},
      {"absorbing states reported",
       {"-Pout/", "-Nexp1", "-B0", "-a", "-O", "d:safe_restore_rate_G:0"},
       "run_absorbing",
       "run_absorbing",
       "out/",
       false},
  };
  return cases;
}

TEST(GenerationE2ETest, WritesEveryFileByteForByte) {
  for (const RunCase& run : Cases()) {
    SCOPED_TRACE(run.name);
    ScopedTempDir dir;
    ASSERT_EQ(RunProcess("/bin/mkdir", {"out"}, dir.path()).exit_code, 0);
    const ProcessResult result = RunProcess(GEN_BINARY, run.args, dir.path());
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "");
    if (run.golden != nullptr) {
      EXPECT_EQ(MaskSeconds(result.out),
                Golden(std::string(run.golden) + "/stdout.txt"));
    }
    const std::string prefix = dir.path() + "/" + run.prefix + "exp1";
    const std::string expected = std::string(run.arm_and_var) + "/exp1";
    EXPECT_EQ(ReadWholeFile(prefix + ".arm"), Golden(expected + ".arm"));
    EXPECT_EQ(ReadWholeFile(prefix + ".var"), Golden(expected + ".var"));
    EXPECT_EQ(ReadWholeFile(prefix + ".pvtype"), Golden("exp1.pvtype"));
    if (run.trace_file) {
      EXPECT_EQ(MaskSeconds(ReadWholeFile(dir.path() + "/trace.txt")),
                Golden(std::string(run.golden) + "/trace.txt"));
    }
  }
}

TEST(GenerationE2ETest, RepeatedRunsAndLoadFactorsGiveIdenticalFiles) {
  ScopedTempDir dir;
  ASSERT_EQ(RunProcess("/bin/mkdir", {"out"}, dir.path()).exit_code, 0);
  for (const char* hash : {"-h0.1", "-h0.5", "-h0.9", "-h0.5"}) {
    SCOPED_TRACE(hash);
    const ProcessResult result =
        RunProcess(GEN_BINARY, {"-Pout/", "-Nexp1", "-B2", hash}, dir.path());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(ReadWholeFile(dir.path() + "/out/exp1.arm"),
              Golden("run_exp2/exp1.arm"));
  }
}

}  // namespace
