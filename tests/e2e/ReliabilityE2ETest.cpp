// Whole runs of the built gen given bad input or unwritable output. Every
// run must either leave complete, correct files and exit 0, or say what is
// wrong and exit 1.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

std::string Golden(const std::string& name) {
  return ReadWholeFile(std::string(GEN_GOLDEN_DIR) + "/" + name);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool IsNumber(const std::string& line) {
  return !line.empty() &&
         line.find_first_not_of("0123456789") == std::string::npos;
}

// A rate as the .arm writes it, finite and above zero.
bool IsRate(const std::string& line) {
  static const std::regex kRate(R"([1-9]\.[0-9]{10}e[+-][0-9]{2,3})");
  return std::regex_match(line, kRate) && std::isfinite(std::stod(line));
}

// Checks the rate lines of a state-space file, complete or cut short by a
// failed run: every block is a state number, (target, rate) pairs and 0.
testing::AssertionResult OnlyValidRates(const std::string& arm) {
  const std::vector<std::string> lines = Lines(arm);
  if (lines.size() < 3) return testing::AssertionSuccess();
  // A run that stopped early never wrote the state count over the
  // placeholder, so its blocks start on line 3 instead of line 4.
  const bool unfinished = lines[1].find_first_not_of(' ') == std::string::npos;
  std::size_t i = unfinished ? 2 : 3;
  while (i < lines.size()) {
    if (!IsNumber(lines[i])) {
      return testing::AssertionFailure()
             << "line " << i + 1 << " is no state number: " << lines[i];
    }
    for (++i; i < lines.size() && lines[i] != "0"; i += 2) {
      if (!IsNumber(lines[i])) {
        return testing::AssertionFailure()
               << "line " << i + 1 << " is no target: " << lines[i];
      }
      if (i + 1 < lines.size() && !IsRate(lines[i + 1])) {
        return testing::AssertionFailure()
               << "line " << i + 2 << " is no valid rate: " << lines[i + 1];
      }
    }
    ++i;
  }
  return testing::AssertionSuccess();
}

// The files `prefix`.arm, .var and .pvtype of a completed run are whole:
// the .arm header counts exactly the blocks that follow, numbered 1..N, each
// target is one of them and each rate valid; the .var holds the three
// reward variable names and seven lines per state; the .pvtype is the
// model's. Returns the number of states through `states`.
testing::AssertionResult CompleteFiles(const std::string& prefix,
                                       int* states = nullptr) {
  const std::string arm = ReadWholeFile(prefix + ".arm");
  const std::vector<std::string> lines = Lines(arm);
  if (arm.empty() || arm.back() != '\n' || lines.size() < 3 ||
      lines[0] != "1" || !IsNumber(lines[1])) {
    return testing::AssertionFailure() << prefix << ".arm has no header";
  }
  const int count = std::stoi(lines[1]);
  if (lines[2] != std::string(62 - lines[1].size(), ' ')) {
    return testing::AssertionFailure() << prefix << ".arm: bad line 3";
  }
  std::size_t i = 3;
  for (int state = 1; state <= count; ++state) {
    if (i >= lines.size() || lines[i] != std::to_string(state)) {
      return testing::AssertionFailure()
             << prefix << ".arm: block " << state << " missing";
    }
    for (++i; i < lines.size() && lines[i] != "0"; i += 2) {
      if (i + 1 >= lines.size() || !IsNumber(lines[i]) ||
          std::stoi(lines[i]) > count || !IsRate(lines[i + 1])) {
        return testing::AssertionFailure()
               << prefix << ".arm: bad transition at line " << i + 1;
      }
    }
    ++i;
  }
  if (i != lines.size()) {
    return testing::AssertionFailure() << prefix << ".arm: " << lines.size() - i
                                       << " lines after block " << count;
  }
  const std::vector<std::string> var = Lines(ReadWholeFile(prefix + ".var"));
  if (var.size() != 3 + 7 * static_cast<std::size_t>(count) ||
      var[0] != "Cpu_Failure" || var.back().empty()) {
    return testing::AssertionFailure() << prefix << ".var has " << var.size()
                                       << " lines for " << count << " states";
  }
  if (ReadWholeFile(prefix + ".pvtype") != Golden("exp1.pvtype")) {
    return testing::AssertionFailure() << prefix << ".pvtype differs";
  }
  if (states != nullptr) *states = count;
  return testing::AssertionSuccess();
}

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

constexpr const char* kListing = "The Global Variable values for experiment";
constexpr const char* kNotWhole =
    "\" is not a whole number in -2147483648..2147483647\n";
constexpr const char* kOpenError =
    "Error: Could not open state space output file\n";

struct Row {
  std::string name;
  std::vector<std::string> args;  // run in a folder that holds out/
  int exit_code;
  std::string out;  // expected substring of standard output; "" for any
  std::string err;  // expected standard error, whole
  // Exit 0: prefix of the files that must be complete; "" for out/exp1.
  std::string files = "";
  int states = 25;  // states of a completed run
};

std::vector<Row> ArgumentRows() {
  const std::string long_text = Repeat('a', 5000);
  const std::string long_digits = Repeat('9', 5000);
  std::vector<Row> rows = {
      // Each option glued, separated and without a value.
      {"B glued", {"-Pout/", "-Nexp1", "-B3"}, 0, "Experiment 4 are:", ""},
      {"B separated", {"-Pout/", "-Nexp1", "-B", "3"}, 0, "Experiment 4", ""},
      {"B plus sign", {"-Pout/", "-Nexp1", "-B+3"}, 0, "Experiment 4", ""},
      {"B without value",
       {"-Pout/", "-Nexp1", "-B"},
       1,
       "",
       std::string("Error: -B value \"") + kNotWhole},
      {"B before an option",
       {"-Pout/", "-B", "-Nexp1"},
       1,
       "",
       std::string("Error: -B value \"") + kNotWhole},
      {"F glued", {"-Pout/", "-Nexp1", "-B0", "-F2"}, 0, "", ""},
      {"F separated", {"-Pout/", "-Nexp1", "-B0", "-F", "7"}, 0, "", ""},
      {"F without value",
       {"-Pout/", "-Nexp1", "-B0", "-F"},
       1,
       "",
       std::string("Error: -F value \"") + kNotWhole},
      {"N separated", {"-Pout/", "-N", "exp1", "-B0"}, 0, "", ""},
      {"N without value", {"-Pout/", "-B0", "-N"}, 0, "", "", "out/"},
      {"O glued",
       {"-Pout/", "-Nexp1", "-B0", "-Od:test_execution_rate_G:0"},
       0,
       "OverrideString is d:test_execution_rate_G:0\n",
       "",
       "",
       8},
      {"O separated",
       {"-Pout/", "-Nexp1", "-B0", "-O", "d:test_execution_rate_G:0"},
       0,
       "Overriding global variables in ssg\n",
       "",
       "",
       8},
      {"O without value",
       {"-Pout/", "-Nexp1", "-B0", "-O"},
       0,
       "OverrideString is \n",
       ""},
      {"P separated", {"-P", "out/", "-Nexp1", "-B0"}, 0, "path=[out/]\n", ""},
      {"P without value", {"-Nexp1", "-B0", "-P"}, 0, "path=[]\n", "", "exp1"},
      {"a alone", {"-Pout/", "-Nexp1", "-B0", "-a"}, 0, "", ""},
      {"a glued value ignored", {"-Pout/", "-Nexp1", "-a1", "-B0"}, 0, "", ""},
      {"a consumes a bare value",
       {"-Pout/", "-Nexp1", "-a", "yes", "-B0"},
       0,
       "",
       ""},
      {"e forms", {"-Pout/", "-Nexp1", "-eent", "-e", "x", "-e"}, 0, "", ""},
      {"s forms", {"-Pout/", "-Nexp1", "-shost", "-s", "x", "-s"}, 0, "", ""},
      {"h glued", {"-Pout/", "-Nexp1", "-B0", "-h0.3"}, 0, "", ""},
      {"h separated", {"-Pout/", "-Nexp1", "-B0", "-h", "0.7"}, 0, "", ""},
      {"h without value", {"-Pout/", "-Nexp1", "-B0", "-h"}, 0, "", ""},
      {"l glued", {"-Pout/", "-Nexp1", "-B0", "-l0"}, 0, "TraceLevel=0\n", ""},
      {"l separated",
       {"-Pout/", "-Nexp1", "-B0", "-l", "1"},
       0,
       "TraceLevel=1\n",
       ""},
      {"l without value",
       {"-Pout/", "-Nexp1", "-B0", "-l"},
       1,
       "",
       std::string("Error: -l value \"") + kNotWhole},
      {"t glued", {"-Pout/", "-Nexp1", "-B0", "-tout/t.txt"}, 0, "", ""},
      {"t separated",
       {"-Pout/", "-Nexp1", "-B0", "-t", "out/t.txt"},
       0,
       "",
       ""},
      // Nothing to name: the trace is lost, the results are not.
      {"t without value",
       {"-Pout/", "-Nexp1", "-B0", "-l1", "-t"},
       0,
       "",
       "Warning: could not create trace file ; trace output is lost\n"},
      {"unknown glued",
       {"-Pout/", "-Nexp1", "-B0", "-xyz"},
       0,
       "ERROR: unknown argument: -xyz\n",
       ""},
      {"unknown separated",
       {"-Pout/", "-Nexp1", "-B0", "-x", "foo"},
       0,
       "ERROR: unknown argument: foo\n",
       ""},
      {"dash alone",
       {"-Pout/", "-Nexp1", "-B0", "-"},
       0,
       "ERROR: unknown argument: -\n",
       ""},
      {"bare arguments", {"out/", "-Pout/", "exp1", "-Nexp1", "0"}, 0, "", ""},

      // Repetitions: the last one wins.
      {"B repeated", {"-Pout/", "-Nexp1", "-B1", "-B2"}, 0, "Experiment 3", ""},
      {"P repeated", {"-Pnosuch/", "-Nexp1", "-Pout/"}, 0, "", ""},
      {"O repeated",
       {"-Pout/", "-Nexp1", "-Od:test_execution_rate_G:-1", "-Od:x:1",
        "-Od:test_execution_rate_G:0"},
       0,
       "",
       "",
       "",
       8},

      // Numbers that are not whole 32-bit numbers.
      {"B not numeric",
       {"-Pout/", "-Nexp1", "-Bthree"},
       1,
       "",
       std::string("Error: -B value \"three") + kNotWhole},
      {"B partly numeric",
       {"-Pout/", "-Nexp1", "-B3x"},
       1,
       "",
       std::string("Error: -B value \"3x") + kNotWhole},
      {"B leading blank",
       {"-Pout/", "-Nexp1", "-B", " 3"},
       1,
       "",
       std::string("Error: -B value \" 3") + kNotWhole},
      {"B overflowing",
       {"-Pout/", "-Nexp1", "-B2147483648"},
       1,
       "",
       std::string("Error: -B value \"2147483648") + kNotWhole},
      {"B very long",
       {"-Pout/", "-Nexp1", "-B" + long_digits},
       1,
       "",
       "Error: -B value \"" + long_digits + kNotWhole},
      {"B outside the study",
       {"-Pout/", "-Nexp1", "-B10"},
       1,
       "",
       "Error: experiment 10 is outside 0..9\n"},
      {"F partly numeric",
       {"-Pout/", "-Nexp1", "-F1.5"},
       1,
       "",
       std::string("Error: -F value \"1.5") + kNotWhole},
      {"F overflowing",
       {"-Pout/", "-Nexp1", "-F-2147483649"},
       1,
       "",
       std::string("Error: -F value \"-2147483649") + kNotWhole},
      {"l not numeric",
       {"-Pout/", "-Nexp1", "-lhigh"},
       1,
       "",
       std::string("Error: -l value \"high") + kNotWhole},
      {"l overflowing",
       {"-Pout/", "-Nexp1", "-l99999999999"},
       1,
       "",
       std::string("Error: -l value \"99999999999") + kNotWhole},
      // Any level is accepted: below 1 traces nothing, above 4 everything.
      {"l negative", {"-Pout/", "-Nexp1", "-B0", "-l-1"}, 0, "", ""},
      {"h above range",
       {"-Pout/", "-Nexp1", "-h1.5"},
       1,
       "",
       "Error: hash value 1.5 is outside 0.1..0.9\n"},
      {"h zero",
       {"-Pout/", "-Nexp1", "-h0"},
       1,
       "",
       "Error: hash value 0 is outside 0.1..0.9\n"},
      {"h negative",
       {"-Pout/", "-Nexp1", "-h-0.5"},
       1,
       "",
       "Error: hash value -0.5 is outside 0.1..0.9\n"},
      // A value beginning with '-' is never taken from the next argument.
      {"h before a negative",
       {"-Pout/", "-Nexp1", "-B0", "-h", "-0.5"},
       0,
       "ERROR: unknown argument: -0.5\n",
       ""},
      {"h nan",
       {"-Pout/", "-Nexp1", "-hnan"},
       1,
       "",
       "Error: hash value nan is outside 0.1..0.9\n"},
      {"h overflowing",
       {"-Pout/", "-Nexp1", "-h1e400"},
       1,
       "",
       "Error: hash value 1e400 is outside 0.1..0.9\n"},
      {"h not a number", {"-Pout/", "-Nexp1", "-B0", "-hhalf"}, 0, "", ""},
      {"h partly numeric", {"-Pout/", "-Nexp1", "-B0", "-h0.5x"}, 0, "", ""},

      // Very long values.
      {"P very long",
       {"-Pout/" + long_text + "/", "-Nexp1", "-B0"},
       1,
       "SSG: SetTraceLevel: 0\n",
       kOpenError},
      {"N very long", {"-Pout/", "-N" + long_text, "-B0"}, 1, "", kOpenError},
      {"t very long",
       {"-Pout/", "-Nexp1", "-l1", "-tout/" + long_text},
       0,
       "",
       "Warning: could not create trace file out/" + long_text +
           "; trace output is lost\n"},
      {"s and e very long",
       {"-Pout/", "-Nexp1", "-s" + long_text, "-e" + long_text},
       0,
       "",
       ""},
      {"O very long name",
       {"-Pout/", "-Nexp1", "-Od:" + long_text + ":1"},
       0,
       "",
       "!! test_execution_rate_G_SetStudySetStudy::OverrideGVValue: Global "
       "Variable " +
           long_text + " does not exist.\n"},
      {"O very long value",
       {"-Pout/", "-Nexp1",
        "-Od:test_execution_rate_G:" + long_digits + "e-4997"},
       0,
       "",
       "",
       "",
       25},

      // Override strings.
      {"O empty",
       {"-Pout/", "-Nexp1", "-O", ""},
       0,
       "OverrideString is \n",
       ""},
      {"O colons only",
       {"-Pout/", "-Nexp1", "-O:::"},
       0,
       "Overriding global variables in ssg\n",
       ""},
      {"O too short",
       {"-Pout/", "-Nexp1", "-Od:pperm_fault_G"},
       0,
       "Not enough double override tokensOverriding global variables in ssg\n",
       ""},
      {"O unknown letter",
       {"-Pout/", "-Nexp1", "-Ox:test_execution_rate_G:0"},
       0,
       "Type x not recognized\n",
       ""},
      {"O unknown name",
       {"-Pout/", "-Nexp1", "-Od:test_execution_rate:0"},
       0,
       "",
       "!! test_execution_rate_G_SetStudySetStudy::OverrideGVValue: Global "
       "Variable test_execution_rate does not exist.\n"},
      // A value that is not a number of its type stops the run before any
      // result file is written.
      {"O value does not scan",
       {"-Pout/", "-Nexp1", "-Od:pperm_fault_G:high"},
       1,
       "",
       "Error: override entry 1 (d:pperm_fault_G:high): value high does not "
       "scan with format %lf for type d\n"},
      {"O empty field shifts the entries",
       {"-Pout/", "-Nexp1", "-Od:test_execution_rate_G::d:pperm_fault_G:0.2"},
       1,
       "",
       "Error: override entry 1 (d:test_execution_rate_G:d): value d does not "
       "scan with format %lf for type d\n"},
      {"O value partly numeric",
       {"-Pout/", "-Nexp1", "-Od:pperm_fault_G:0.2x"},
       1,
       "",
       "Error: override entry 1 (d:pperm_fault_G:0.2x): value 0.2x does not "
       "scan with format %lf for type d\n"},
      {"O value underflowing",
       {"-Pout/", "-Nexp1",
        "-Od:pperm_fault_G:0.1:d:safe_restore_rate_G:1e-400"},
       1,
       "",
       "Error: override entry 2 (d:safe_restore_rate_G:1e-400): value 1e-400 "
       "is not 0 but scans to 0 for type d\n"},
      {"O value overflowing",
       {"-Pout/", "-Nexp1", "-Od:test_execution_rate_G:1e400"},
       1,
       "",
       "Error: override entry 1 (d:test_execution_rate_G:1e400): value 1e400 "
       "is beyond the range for type d\n"},
      {"O integer overflowing",
       {"-Pout/", "-Nexp1", "-Oi:test_execution_rate_G:4294967296"},
       1,
       "",
       "Error: override entry 1 (i:test_execution_rate_G:4294967296): value "
       "4294967296 is outside -2147483648..2147483647 for type i\n"},
      {"O short wrapping",
       {"-Pout/", "-Nexp1", "-Os:test_execution_rate_G:40000"},
       1,
       "",
       "Error: override entry 1 (s:test_execution_rate_G:40000): value 40000 "
       "is outside -32768..32767 for type s\n"},
  };
  // Model values that make no chain: fatal, naming the state and action.
  const std::string must =
      "; it must be a finite number that is not negative\n";
  const struct {
    const char* override_text;
    const char* what;
  } invalid_rows[] = {
      {"d:test_execution_rate_G:-5",
       "rate -5 of action test_execution_rate_case1 while exploring state 1"},
      {"d:test_execution_rate_G:inf",
       "rate inf of action test_execution_rate_case1 while exploring state 1"},
      {"d:pperm_fault_G:1.5",
       "weight -0.5 of action fault_rate_L_case2 while exploring state 1"},
      {"d:pperm_fault_G:nan",
       "weight nan of action fault_rate_L_case1 while exploring state 1"},
      {"d:safe_restore_rate_G:nan",
       "rate nan of action safe_restore_rate while exploring state 9"},
      {"d:safe_restore_rate_G:-inf",
       "rate -inf of action safe_restore_rate while exploring state 9"},
  };
  for (const auto& row : invalid_rows) {
    rows.push_back({std::string("model refuses ") + row.override_text,
                    {"-Pout/", "-Nexp1", "-O", row.override_text},
                    1,
                    "",
                    std::string("Error: invalid ") + row.what + must});
  }
  return rows;
}

TEST(ReliabilityE2ETest, BadArgumentsAreRefusedOrHandled) {
  for (const Row& row : ArgumentRows()) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
    const ProcessResult result = RunProcess(GEN_BINARY, row.args, dir.path());
    EXPECT_EQ(result.exit_code, row.exit_code) << result.err;
    EXPECT_EQ(result.err, row.err);
    if (!row.out.empty()) {
      EXPECT_NE(result.out.find(row.out), std::string::npos) << result.out;
    }
    const std::string files =
        dir.path() + "/" + (row.files.empty() ? "out/exp1" : row.files);
    if (row.exit_code == 0) {
      int states = 0;
      EXPECT_TRUE(CompleteFiles(files, &states));
      EXPECT_EQ(states, row.states);
      EXPECT_NE(
          result.out.find("Generated: " + std::to_string(states) + " states\n"),
          std::string::npos);
    } else {
      // Whatever a failed run left holds only rates the chain can have.
      EXPECT_TRUE(OnlyValidRates(ReadWholeFile(files + ".arm")));
      EXPECT_EQ(result.out.find("Generated:"), std::string::npos);
    }
  }
}

// Values written in another notation reach the model unchanged: the files
// are those of the experiment with the same value.
TEST(ReliabilityE2ETest, OverrideNotationsGiveTheSameChain) {
  for (const char* text :
       {"d:test_execution_rate_G:2e3", "i:test_execution_rate_G:0x7d0",
        "l:test_execution_rate_G:03720", "f:test_execution_rate_G:2000",
        "i:test_execution_rate_G: 2000 "}) {
    SCOPED_TRACE(text);
    ScopedTempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
    const ProcessResult result = RunProcess(
        GEN_BINARY, {"-Pout/", "-Nexp1", "-B0", "-O", text}, dir.path());
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(ReadWholeFile(dir.path() + "/out/exp1.arm"),
              Golden("run_exp2/exp1.arm"));
    // The rewards of a state do not depend on the rates.
    EXPECT_EQ(ReadWholeFile(dir.path() + "/out/exp1.var"),
              Golden("run_exp0/exp1.var"));
  }
}

// A rate of exactly 0 is no transition: without restores the safe-failure
// states absorb.
TEST(ReliabilityE2ETest, ZeroRateLeavesAbsorbingStates) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
  const ProcessResult result = RunProcess(
      GEN_BINARY, {"-Pout/", "-Nexp1", "-B0", "-Od:safe_restore_rate_G:0"},
      dir.path());
  ASSERT_EQ(result.exit_code, 0) << result.err;
  ASSERT_TRUE(CompleteFiles(dir.path() + "/out/exp1"));
  const std::vector<std::string> lines =
      Lines(ReadWholeFile(dir.path() + "/out/exp1.arm"));
  int absorbing = 0;
  for (std::size_t i = 4; i < lines.size(); ++i) {
    if (lines[i] == "0" && IsNumber(lines[i - 1]) && lines[i - 2] == "0") {
      ++absorbing;
    }
  }
  EXPECT_GT(absorbing, 0);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/out/exp1.arm"),
            Golden("run_absorbing/exp1.arm"));
}

struct FaultRow {
  std::string name;
  std::string path;                  // the -P value
  std::vector<std::string> prepare;  // shell commands run in the folder
  std::string err;
};

TEST(ReliabilityE2ETest, UnwritableOutputIsAnError) {
  const std::vector<FaultRow> rows = {
      {"missing folder", "nosuch/", {}, kOpenError},
      {"path names a file", "plain/", {"touch plain"}, kOpenError},
      // No one, not even root, can create files there.
      {"folder of a pseudo file system", "/proc/", {}, kOpenError},
      {"link to a full device for .pvtype",
       "out/",
       {"ln -s /dev/full out/exp1.pvtype"},
       "Error: result file out/exp1.pvtype (a link to /dev/full) is a "
       "character device, not a regular file; it was left alone\n"},
      {"link to a full device for .arm",
       "out/",
       {"ln -s /dev/full out/exp1.arm"},
       "Error: result file out/exp1.arm (a link to /dev/full) is a character "
       "device, not a regular file; it was left alone\n"},
      {"link to a full device for .var",
       "out/",
       {"ln -s /dev/full out/exp1.var"},
       "Error: result file out/exp1.var (a link to /dev/full) is a character "
       "device, not a regular file; it was left alone\n"},
  };
  for (const FaultRow& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
    for (const std::string& command : row.prepare) {
      ASSERT_EQ(RunProcess("/bin/sh", {"-c", command}, dir.path()).exit_code,
                0);
    }
    const ProcessResult result =
        RunProcess(GEN_BINARY, {"-P" + row.path, "-Nexp1", "-B0"}, dir.path());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.out.find("Generated:"), std::string::npos);
  }
}

TEST(ReliabilityE2ETest, ReadOnlyFolderIsAnError) {
  if (geteuid() == 0) {
    // Root writes into folders whatever their permissions; the pseudo file
    // system row of UnwritableOutputIsAnError covers root.
    GTEST_SKIP() << "running as root, which ignores folder permissions";
  }
  ScopedTempDir dir;
  const std::string out = dir.path() + "/out";
  ASSERT_EQ(mkdir(out.c_str(), 0555), 0);
  const ProcessResult result =
      RunProcess(GEN_BINARY, {"-Pout/", "-Nexp1", "-B0"}, dir.path());
  chmod(out.c_str(), 0755);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, kOpenError);
}

// The controlling process reads progress and summary from standard output;
// losing them is an error even when the files are whole.
TEST(ReliabilityE2ETest, FullStandardOutputIsAnError) {
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {"whole run",
       {"-Pout/", "-Nexp1", "-B0"},
       "Error: standard output could not be written\n"},
      {"usage", {}, "Error: standard output could not be written\n"},
      {"bad setting",
       {"-Pout/", "-Nexp1", "-Bx"},
       std::string("Error: -B value \"x") + kNotWhole},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
    std::vector<std::string> args = {"-c", "exec \"$0\" \"$@\" >/dev/full",
                                     GEN_BINARY};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const ProcessResult result = RunProcess("/bin/sh", args, dir.path());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, row.err);
  }
}

// Runs gen in `dir` with standard output on a pipe that nobody reads and
// standard error in `err_path`; returns the exit code, 128 + signal number
// when a signal ended it.
int RunIntoClosedPipe(const std::vector<std::string>& args,
                      const std::string& dir, const std::string& err_path) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  close(fds[0]);  // no reader from the start: every write fails
  std::vector<std::string> owned = {GEN_BINARY};
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : owned) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGPIPE, SIG_DFL);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err < 0 || dup2(fds[1], 1) < 0 || dup2(err, 2) < 0 ||
        chdir(dir.c_str()) != 0) {
      _exit(127);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(ReliabilityE2ETest, ClosedPipeOnStandardOutputIsAnError) {
  ScopedTempDir dir;
  ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
  const std::string err = dir.path() + "/err.txt";
  EXPECT_EQ(RunIntoClosedPipe({"-Pout/", "-Nexp1", "-B0"}, dir.path(), err), 1);
  EXPECT_EQ(ReadWholeFile(err),
            "Error: standard output could not be written\n");
}

// Neither a second run nor the load factor of the store changes a byte.
TEST(ReliabilityE2ETest, RunsAndLoadFactorsGiveIdenticalFiles) {
  ScopedTempDir dir;
  std::string first_arm, first_var;
  int run = 0;
  for (const std::vector<std::string>& hash :
       {std::vector<std::string>{"-h0.5"},
        {"-h0.5"},
        {"-h0.1"},
        {"-h", "0.25"},
        {"-h0.75"},
        {"-h0.9"},
        {}}) {
    const std::string out = "out" + std::to_string(run++) + "/";
    SCOPED_TRACE(out);
    ASSERT_EQ(mkdir((dir.path() + "/" + out).c_str(), 0755), 0);
    std::vector<std::string> args = {"-P" + out, "-Nexp1", "-B5"};
    args.insert(args.end(), hash.begin(), hash.end());
    const ProcessResult result = RunProcess(GEN_BINARY, args, dir.path());
    ASSERT_EQ(result.exit_code, 0) << result.err;
    ASSERT_TRUE(CompleteFiles(dir.path() + "/" + out + "exp1"));
    const std::string arm = ReadWholeFile(dir.path() + "/" + out + "exp1.arm");
    const std::string var = ReadWholeFile(dir.path() + "/" + out + "exp1.var");
    if (first_arm.empty()) {
      first_arm = arm;
      first_var = var;
    }
    EXPECT_EQ(arm, first_arm);
    EXPECT_EQ(var, first_var);
  }
}

}  // namespace
