#include "cli/Options.h"

#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

struct Settings {
  std::string path;
  std::string format;
  bool check = false;
  std::vector<std::string> order;  // values in the order they were applied
};

std::vector<Option<Settings>> Table() {
  using V = const std::string&;
  return {
      {{"-P", "PATH", "prefix"},
       [](Settings& s, V value) {
         s.path = value;
         s.order.push_back("P" + value);
         return Status::Ok();
       }},
      {{"--format", "NAME", "format"},
       [](Settings& s, V value) {
         if (value == "bad") return Status::Error("format bad");
         s.format = value;
         s.order.push_back("f" + value);
         return Status::Ok();
       }},
      {{"--check", "", "check only"},
       [](Settings& s, V) {
         s.check = true;
         return Status::Ok();
       }},
      {{"-a", "", "absorbing"}, [](Settings&, V) { return Status::Ok(); }},
  };
}

struct Parsed {
  Status status;
  Settings settings;
  std::vector<std::string> positionals;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "prog");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  Parsed parsed;
  parsed.status =
      ParseOptions(Table(), static_cast<int>(argv.size()), argv.data(),
                   parsed.settings, &parsed.positionals);
  return parsed;
}

TEST(OptionsTest, GluedAndSeparateValuesReadTheSame) {
  const std::vector<std::vector<std::string>> forms = {
      {"m.san", "-Pout/", "--format=jani", "--check"},
      {"-P", "out/", "m.san", "--format", "jani", "--check"},
      {"--check", "--format", "jani", "-P", "out/", "m.san"},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form[0] + " " + form[1]);
    const Parsed parsed = Parse(form);
    ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
    EXPECT_EQ(parsed.settings.path, "out/");
    EXPECT_EQ(parsed.settings.format, "jani");
    EXPECT_TRUE(parsed.settings.check);
    EXPECT_EQ(parsed.positionals, std::vector<std::string>{"m.san"});
  }
}

TEST(OptionsTest, ValuesAreTakenVerbatimAndAppliedInOrder) {
  // A separate value may itself start with '-'; "-" alone is positional.
  const Parsed parsed = Parse({"-P", "-x", "-", "--format=a=b", "-P", ""});
  ASSERT_TRUE(parsed.status.ok) << parsed.status.message;
  EXPECT_EQ(parsed.settings.order,
            (std::vector<std::string>{"P-x", "fa=b", "P"}));
  EXPECT_EQ(parsed.positionals, std::vector<std::string>{"-"});
}

TEST(OptionsTest, RefusalsNameTheArgumentAndTheNearestOption) {
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{"--frobnicate"},
       "unknown option \"--frobnicate\"; did you mean "
       "\"--format\"?"},
      {{"--formt=x"},
       "unknown option \"--formt=x\"; did you mean "
       "\"--format\"?"},
      {{"--chek"}, "unknown option \"--chek\"; did you mean \"--check\"?"},
      {{"-Q"}, "unknown option \"-Q\"; did you mean \"-P\"?"},
      {{"-ax"}, "unknown option \"-ax\"; did you mean \"-a\"?"},
      {{"-P"}, "option \"-P\" needs a value (PATH)"},
      {{"m", "--format"}, "option \"--format\" needs a value (NAME)"},
      {{"--check=yes"},
       "option \"--check\" takes no value (given "
       "\"--check=yes\")"},
      {{"--format=bad"}, "format bad"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    const Parsed parsed = Parse(row.args);
    EXPECT_FALSE(parsed.status.ok);
    EXPECT_EQ(parsed.status.message, row.message);
  }
}

TEST(OptionsTest, NearestNamePrefersTheSharedStartOnATie) {
  EXPECT_EQ(NearestName({"san", "jani", "pnpro"}, "jan"), "jani");
  EXPECT_EQ(NearestName({"san", "jani", "pnpro"}, "sa"), "san");
  EXPECT_EQ(NearestName({}, "x"), "");
}

TEST(OptionsTest, HelpHasOneLinePerOption) {
  std::ostringstream out;
  WriteOptionHelp(SyntaxOf(Table()), out);
  EXPECT_EQ(out.str(),
            "  -P PATH                 prefix\n"
            "  --format NAME           format\n"
            "  --check                 check only\n"
            "  -a                      absorbing\n");
}

TEST(OptionsTest, NumbersScanWhole) {
  struct Row {
    const char* text;
    bool is_int;
    int int_value;
    bool is_double;
  };
  const Row rows[] = {
      {"12", true, 12, true},     {"-2147483648", true, INT32_MIN, true},
      {"+7", true, 7, true},      {"2147483648", false, 0, true},
      {" 1", false, 0, false},    {"3x", false, 0, false},
      {"", false, 0, false},      {"0.25", false, 0, true},
      {"1e400", false, 0, false}, {"nan", false, 0, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    int i = 0;
    double d = 0;
    EXPECT_EQ(ScanInt32(row.text, &i), row.is_int);
    if (row.is_int) {
      EXPECT_EQ(i, row.int_value);
    }
    EXPECT_EQ(ScanDouble(row.text, &d), row.is_double);
  }
}

}  // namespace
