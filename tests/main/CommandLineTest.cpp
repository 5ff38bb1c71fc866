#include "main/CommandLine.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

struct Parsed {
  CommandLineStatus status;
  int file_type = 1;
  std::optional<std::string> trace_file_name;
  std::string out;
};

// Runs commandline over "gen" followed by `args`, capturing standard output.
Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "gen");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  Parsed parsed;
  testing::internal::CaptureStdout();
  parsed.status = commandline(static_cast<int>(args.size()), argv.data(),
                              parsed.file_type, parsed.trace_file_name);
  parsed.out = testing::internal::GetCapturedStdout();
  return parsed;
}

class CommandLineTest : public testing::Test {
 protected:
  void SetUp() override { ResetRunSettings(); }
};

TEST_F(CommandLineTest, GluedAndSeparatedValuesReadTheSame) {
  const std::vector<std::vector<std::string>> forms = {
      {"-Pdir", "-Nexp1", "-B2", "-F3", "-l4", "-h0.25", "-Od:x:1",
       "-thost.trace", "-sdbhost", "-eentity"},
      {"-P", "dir",        "-N", "exp1",   "-B",   "2",     "-F",
       "3",  "-l",         "4",  "-h",     "0.25", "-O",    "d:x:1",
       "-t", "host.trace", "-s", "dbhost", "-e",   "entity"},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.front() + " " + form[1]);
    ResetRunSettings();
    const Parsed parsed = Parse(form);
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
    EXPECT_EQ(gExperimentPath, "dir");
    EXPECT_EQ(gExperimentName, "exp1");
    EXPECT_EQ(ExpNum, 2);
    EXPECT_EQ(parsed.file_type, 3);
    EXPECT_EQ(TempTraceLevel, 4);
    EXPECT_EQ(hash_value, 0.25);
    EXPECT_EQ(OverrideString, "d:x:1");
    EXPECT_EQ(parsed.trace_file_name, "host.trace");
    EXPECT_EQ(db_host, "dbhost");
    EXPECT_EQ(db_entity, "entity");
    EXPECT_EQ(flagAbsorb, 0);
    EXPECT_EQ(parsed.out,
              "path=[dir]\nTraceLevel=4\nOverrideString is d:x:1\n");
  }
}

TEST_F(CommandLineTest, LastRepetitionWinsAndEachIsEchoed) {
  const Parsed parsed = Parse({"-Pa", "-B1", "-Ox", "-tA", "-sh1", "-l1", "-Pb",
                               "-B7", "-Oy", "-tB", "-sh2", "-l2"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_EQ(gExperimentPath, "b");
  EXPECT_EQ(ExpNum, 7);
  EXPECT_EQ(OverrideString, "y");
  EXPECT_EQ(parsed.trace_file_name, "B");
  EXPECT_EQ(db_host, "h2");
  EXPECT_EQ(TempTraceLevel, 2);
  EXPECT_EQ(parsed.out,
            "path=[a]\nOverrideString is x\nTraceLevel=1\n"
            "path=[b]\nOverrideString is y\nTraceLevel=2\n");
}

TEST_F(CommandLineTest, UnknownOptionsAreReportedBareArgumentsSkipped) {
  struct Row {
    std::vector<std::string> args;
    std::string out;
  };
  const std::vector<Row> rows = {
      {{"-x", "-B4"}, "ERROR: unknown argument: -x\n"},
      // The letter stood alone and took "foo" as its value.
      {{"-x", "foo", "-B4"}, "ERROR: unknown argument: foo\n"},
      {{"-xyz", "-B4"}, "ERROR: unknown argument: -xyz\n"},
      {{"-", "-B4"}, "ERROR: unknown argument: -\n"},
      {{"-B4", "-x"}, "ERROR: unknown argument: -x\n"},
      {{"foo", "-B4", "", "bar"}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.front() + " " + row.args[1]);
    ResetRunSettings();
    const Parsed parsed = Parse(row.args);
    EXPECT_TRUE(parsed.status.ok);
    EXPECT_EQ(parsed.out, row.out);
    EXPECT_EQ(ExpNum, 4);
  }
}

TEST_F(CommandLineTest, StandaloneAbsorbFlagLeavesNextOptionAlone) {
  Parsed parsed = Parse({"-a", "-B5"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_EQ(flagAbsorb, 1);
  EXPECT_EQ(ExpNum, 5);

  // A following bare argument is taken as the (ignored) value.
  ResetRunSettings();
  parsed = Parse({"-a", "6", "-B5"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_EQ(flagAbsorb, 1);
  EXPECT_EQ(parsed.out, "");
}

TEST_F(CommandLineTest, TextOptionWithoutValueGetsEmptyText) {
  // At the end of the line and before another option alike.
  const Parsed last = Parse({"-Nold", "-P", "-N", "-O", "-e", "-s", "-t"});
  ResetRunSettings();
  const Parsed inner =
      Parse({"-Nold", "-P", "-N", "-O", "-e", "-s", "-t", "-B1"});
  for (const Parsed* parsed : {&last, &inner}) {
    ASSERT_TRUE(parsed->status.ok);
    EXPECT_EQ(parsed->out, "path=[]\nOverrideString is \n");
    EXPECT_EQ(parsed->trace_file_name, "");
  }
  EXPECT_EQ(gExperimentPath, "");
  EXPECT_EQ(gExperimentName, "");
  EXPECT_EQ(OverrideString, "");
  EXPECT_EQ(db_entity, "");
  EXPECT_EQ(db_host, "");
  EXPECT_EQ(ExpNum, 1);
}

TEST_F(CommandLineTest, WholeNumberOptionsRejectAnythingElse) {
  const std::vector<std::string> bad_values = {
      "3x",          "abc", "",     "4294967296", "2147483648",
      "-2147483649", " 3",  "0x10", "-",          "1.5"};
  for (const char letter : {'B', 'F', 'l'}) {
    for (const std::string& value : bad_values) {
      const std::string option = std::string("-") + letter + value;
      SCOPED_TRACE(option);
      ResetRunSettings();
      const Parsed parsed = Parse({option});
      ASSERT_FALSE(parsed.status.ok);
      EXPECT_EQ(parsed.status.message,
                "Error: " + option.substr(0, 2) + " value \"" + value +
                    "\" is not a whole number in -2147483648..2147483647\n");
      EXPECT_EQ(ExpNum, 0);
      EXPECT_EQ(parsed.file_type, 1);
      EXPECT_EQ(TempTraceLevel, 0);
      EXPECT_EQ(parsed.out, "");  // no "TraceLevel=" for a rejected -l
    }
  }
}

TEST_F(CommandLineTest, WholeNumberOptionsAcceptTheFull32BitRange) {
  const std::vector<std::pair<std::string, int>> rows = {
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-1", -1},
      {"+7", 7},
      {"007", 7}};
  for (const auto& [text, number] : rows) {
    SCOPED_TRACE(text);
    const Parsed parsed = Parse({"-B" + text, "-F" + text, "-l" + text});
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
    EXPECT_EQ(ExpNum, number);
    EXPECT_EQ(parsed.file_type, number);
    EXPECT_EQ(TempTraceLevel, number);
    EXPECT_EQ(parsed.out, "TraceLevel=" + std::to_string(number) + "\n");
  }
}

TEST_F(CommandLineTest, HashValueMustLieInRange) {
  struct Row {
    std::string value;
    bool ok;
    double hash;  // expected setting when ok
  };
  const std::vector<Row> rows = {
      {"0.1", true, 0.1},    {"0.9", true, 0.9},     {"0.25", true, 0.25},
      {"0.3abc", true, 0.3},  // read like "%lf": leading number only
      {"abc", true, 0.5},    {"", true, 0.5},  // not a number: unchanged
      {"1.5", false, 0.5},   {"0.0999", false, 0.5}, {"0.9001", false, 0.5},
      {"-0.5", false, 0.5},  {"nan", false, 0.5},    {"inf", false, 0.5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("-h" + row.value);
    ResetRunSettings();
    const Parsed parsed = Parse({"-h" + row.value});
    EXPECT_EQ(parsed.status.ok, row.ok);
    EXPECT_EQ(hash_value, row.hash);
    if (!row.ok) {
      EXPECT_EQ(parsed.status.message,
                "Error: hash value " + row.value + " is outside 0.1..0.9\n");
    }
  }
}

}  // namespace
