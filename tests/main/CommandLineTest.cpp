#include "main/CommandLine.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

struct Parsed {
  Status status;
  CommandLineSettings settings;
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
  parsed.status =
      commandline(static_cast<int>(args.size()), argv.data(), parsed.settings);
  parsed.out = testing::internal::GetCapturedStdout();
  return parsed;
}

TEST(CommandLineTest, GluedAndSeparatedValuesReadTheSame) {
  const std::vector<std::vector<std::string>> forms = {
      {"-Pdir", "-Nexp1", "-B2", "-F3", "-l4", "-h0.25", "-Od:x:1",
       "-thost.trace", "-sdbhost", "-eentity"},
      {"-P", "dir",        "-N", "exp1",   "-B",   "2",     "-F",
       "3",  "-l",         "4",  "-h",     "0.25", "-O",    "d:x:1",
       "-t", "host.trace", "-s", "dbhost", "-e",   "entity"},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.front() + " " + form[1]);
    const Parsed parsed = Parse(form);
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
    EXPECT_EQ(parsed.settings.run.path, "dir");
    EXPECT_EQ(parsed.settings.run.name, "exp1");
    EXPECT_EQ(parsed.settings.experiment, 2);
    EXPECT_EQ(parsed.settings.run.file_type, 3);
    EXPECT_EQ(parsed.settings.run.trace_level, 4);
    EXPECT_EQ(parsed.settings.run.hash_value, 0.25);
    EXPECT_EQ(parsed.settings.overrides, "d:x:1");
    EXPECT_EQ(parsed.settings.run.trace_file, "host.trace");
    EXPECT_EQ(parsed.settings.run.db_server, "dbhost");
    EXPECT_EQ(parsed.settings.run.db_entity, "entity");
    EXPECT_FALSE(parsed.settings.run.report_absorbing);
    EXPECT_EQ(parsed.out,
              "path=[dir]\nTraceLevel=4\nOverrideString is d:x:1\n");
  }
}

TEST(CommandLineTest, LastRepetitionWinsAndEachIsEchoed) {
  const Parsed parsed = Parse({"-Pa", "-B1", "-Ox", "-tA", "-sh1", "-l1", "-Pb",
                               "-B7", "-Oy", "-tB", "-sh2", "-l2"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_EQ(parsed.settings.run.path, "b");
  EXPECT_EQ(parsed.settings.experiment, 7);
  EXPECT_EQ(parsed.settings.overrides, "y");
  EXPECT_EQ(parsed.settings.run.trace_file, "B");
  EXPECT_EQ(parsed.settings.run.db_server, "h2");
  EXPECT_EQ(parsed.settings.run.trace_level, 2);
  EXPECT_EQ(parsed.out,
            "path=[a]\nOverrideString is x\nTraceLevel=1\n"
            "path=[b]\nOverrideString is y\nTraceLevel=2\n");
}

TEST(CommandLineTest, UnknownOptionsAreReportedBareArgumentsSkipped) {
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
    const Parsed parsed = Parse(row.args);
    EXPECT_TRUE(parsed.status.ok);
    EXPECT_EQ(parsed.out, row.out);
    EXPECT_EQ(parsed.settings.experiment, 4);
  }
}

TEST(CommandLineTest, StandaloneAbsorbFlagLeavesNextOptionAlone) {
  Parsed parsed = Parse({"-a", "-B5"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_TRUE(parsed.settings.run.report_absorbing);
  EXPECT_EQ(parsed.settings.experiment, 5);

  // A following bare argument is taken as the (ignored) value.
  parsed = Parse({"-a", "6", "-B5"});
  ASSERT_TRUE(parsed.status.ok);
  EXPECT_TRUE(parsed.settings.run.report_absorbing);
  EXPECT_EQ(parsed.out, "");
}

TEST(CommandLineTest, TextOptionWithoutValueGetsEmptyText) {
  // At the end of the line and before another option alike.
  const Parsed last = Parse({"-Nold", "-P", "-N", "-O", "-e", "-s", "-t"});
  const Parsed inner =
      Parse({"-Nold", "-P", "-N", "-O", "-e", "-s", "-t", "-B1"});
  for (const Parsed* parsed : {&last, &inner}) {
    ASSERT_TRUE(parsed->status.ok);
    EXPECT_EQ(parsed->out, "path=[]\nOverrideString is \n");
    EXPECT_EQ(parsed->settings.run.trace_file, "");
  }
  EXPECT_EQ(inner.settings.run.path, "");
  EXPECT_EQ(inner.settings.run.name, "");
  EXPECT_EQ(inner.settings.overrides, "");
  EXPECT_EQ(inner.settings.run.db_entity, "");
  EXPECT_EQ(inner.settings.run.db_server, "");
  EXPECT_EQ(inner.settings.experiment, 1);
}

TEST(CommandLineTest, WholeNumberOptionsRejectAnythingElse) {
  const std::vector<std::string> bad_values = {
      "3x",          "abc", "",     "4294967296", "2147483648",
      "-2147483649", " 3",  "0x10", "-",          "1.5"};
  for (const char letter : {'B', 'F', 'l'}) {
    for (const std::string& value : bad_values) {
      const std::string option = std::string("-") + letter + value;
      SCOPED_TRACE(option);
      const Parsed parsed = Parse({option});
      ASSERT_FALSE(parsed.status.ok);
      EXPECT_EQ(parsed.status.message,
                "Error: " + option.substr(0, 2) + " value \"" + value +
                    "\" is not a whole number in -2147483648..2147483647\n");
      EXPECT_EQ(parsed.settings.experiment, 0);
      EXPECT_EQ(parsed.settings.run.file_type, 1);
      EXPECT_EQ(parsed.settings.run.trace_level, 0);
      EXPECT_EQ(parsed.out, "");  // no "TraceLevel=" for a rejected -l
    }
  }
}

TEST(CommandLineTest, WholeNumberOptionsAcceptTheFull32BitRange) {
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
    EXPECT_EQ(parsed.settings.experiment, number);
    EXPECT_EQ(parsed.settings.run.file_type, number);
    EXPECT_EQ(parsed.settings.run.trace_level, number);
    EXPECT_EQ(parsed.out, "TraceLevel=" + std::to_string(number) + "\n");
  }
}

TEST(CommandLineTest, HashValueMustLieInRange) {
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
    const Parsed parsed = Parse({"-h" + row.value});
    EXPECT_EQ(parsed.status.ok, row.ok);
    EXPECT_EQ(parsed.settings.run.hash_value, row.hash);
    if (!row.ok) {
      EXPECT_EQ(parsed.status.message,
                "Error: hash value " + row.value + " is outside 0.1..0.9\n");
    }
  }
}

}  // namespace
