#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

std::string Golden(const std::string& name) {
  return ReadWholeFile(std::string(GEN_GOLDEN_DIR) + "/" + name);
}

// Runs gen with `args` in a fresh directory, so that "-P." keeps any files
// it writes away from the source tree.
ProcessResult RunGen(const std::vector<std::string>& args) {
  ScopedTempDir dir;
  return RunProcess(GEN_BINARY, args, dir.path());
}

constexpr const char* kListingHeader = "The Global Variable values";

TEST(DriverE2ETest, TooFewArgumentsPrintUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{},
        std::vector<std::string>{"-P.", "-Nexp1"}}) {
    SCOPED_TRACE(args.size());
    const ProcessResult result = RunGen(args);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, Golden("usage.txt"));
    EXPECT_EQ(result.err, "");
  }
}

// The run begins with the option echoes and the chosen experiment's values;
// what the generation run prints after them is checked elsewhere.
TEST(DriverE2ETest, ListsTheChosenExperimentFirst) {
  const ProcessResult result = RunGen({"-P.", "-Nexp1", "-B1"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  const std::string listing = Golden("exp1_B1_listing.txt");
  ASSERT_FALSE(listing.empty());
  EXPECT_EQ(result.out.substr(0, listing.size()), listing);
}

TEST(DriverE2ETest, OverridesComeAfterTheListing) {
  const ProcessResult result =
      RunGen({"-P.", "-Nexp1", "-B0", "-Od:test_execution_rate_G:5"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  const std::string expected_head =
      "path=[.]\n"
      "OverrideString is d:test_execution_rate_G:5\n"
      "The Global Variable values for experiment Experiment 1 are:\n"
      "pperm_fault_G\tdouble\t0.1\n"
      "safe_restore_rate_G\tdouble\t10\n"
      "test_execution_rate_G\tdouble\t1000\n"
      "Overriding global variables in ssg\n";
  EXPECT_EQ(result.out.substr(0, expected_head.size()), expected_head);
}

TEST(DriverE2ETest, UnknownOptionKeepsTheRunGoing) {
  const ProcessResult result = RunGen({"-P.", "-Nexp1", "-B0", "-x", "foo"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_NE(result.out.find("ERROR: unknown argument: foo\n"),
            std::string::npos);
  EXPECT_NE(result.out.find("Experiment 1 are:"), std::string::npos);
}

TEST(DriverE2ETest, BadSettingsEndTheRunBeforeTheListing) {
  const std::string whole =
      "\" is not a whole number in "
      "-2147483648..2147483647\n";
  struct Row {
    std::string option;
    std::string err;
  };
  const std::vector<Row> rows = {
      {"-B10", "Error: experiment 10 is outside 0..9\n"},
      {"-B-1", "Error: experiment -1 is outside 0..9\n"},
      {"-B3x", "Error: -B value \"3x" + whole},
      {"-Babc", "Error: -B value \"abc" + whole},
      {"-B", "Error: -B value \"" + whole},
      {"-B4294967296", "Error: -B value \"4294967296" + whole},
      {"-F1x", "Error: -F value \"1x" + whole},
      {"-l", "Error: -l value \"" + whole},
      {"-h1.5", "Error: hash value 1.5 is outside 0.1..0.9\n"},
      {"-hnan", "Error: hash value nan is outside 0.1..0.9\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.option);
    const ProcessResult result = RunGen({"-P.", "-Nexp1", row.option});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.out.find(kListingHeader), std::string::npos) << result.out;
  }
}

}  // namespace
