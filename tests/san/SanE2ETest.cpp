// Whole runs of san on the text models, compared byte for byte with gen on
// the compiled-in failure model and with genbench on the compiled Kanban and
// FMS models. Only the measured computation time is masked, and san's rates,
// written in every digit they need, are rounded to gen's eleven.

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunProcess.h"

namespace {

const std::string kModels = GEN_MODELS_DIR;

bool WriteFile(const std::string& path, const char* text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fputs(text, file) >= 0;
  return std::fclose(file) == 0 && written;
}

std::vector<std::string> With(std::vector<std::string> first,
                              const std::vector<std::string>& rest) {
  first.insert(first.end(), rest.begin(), rest.end());
  return first;
}

// Runs `program` with `args` in a fresh folder holding "out/" and returns
// everything the run left: exit code, both streams and the named files.
struct RunResult {
  ProcessResult process;
  std::vector<std::string> files;
};

RunResult RunIn(const std::string& program,
                const std::vector<std::string>& args,
                const std::vector<std::string>& file_names) {
  ScopedTempDir dir;
  RunProcess("/bin/mkdir", {"out"}, dir.path());
  RunResult run{RunProcess(program, args, dir.path()), {}};
  run.process.out = MaskSeconds(run.process.out);
  for (const std::string& name : file_names) {
    run.files.push_back(MaskSeconds(ReadWholeFile(dir.path() + "/" + name)));
  }
  return run;
}

TEST(SanE2ETest, FailureModelMatchesGen) {
  const std::vector<std::string> files = {"out/exp1.arm", "out/exp1.var",
                                          "out/exp1.pvtype", "trace.txt"};
  std::vector<std::vector<std::string>> cases;
  for (int b = 0; b <= 9; ++b) {
    cases.push_back({"-Pout/", "-Nexp1", "-B" + std::to_string(b)});
  }
  cases.push_back({"-Pout/", "-Nexp1", "-B3", "-O",
                   "d:pperm_fault_G:0.2:d:safe_restore_rate_G:0.5:d:test_"
                   "execution_rate_G:5000"});
  cases.push_back({"-Pout/", "-Nexp1", "-B0", "-a", "-O",
                   "d:safe_restore_rate_G:0"});  // absorbing failures
  cases.push_back({"-Pout/", "-Nexp1", "-l1", "-t", "trace.txt"});
  cases.push_back({"-Pout/", "-Nexp1", "-l4", "-t", "trace.txt"});
  cases.push_back({"-Pout/", "-Nexp1", "-l4"});
  for (const auto& args : cases) {
    std::string name;
    for (const std::string& arg : args) name += arg + ' ';
    SCOPED_TRACE(name);
    const RunResult gen = RunIn(GEN_BINARY, args, files);
    const RunResult san =
        RunIn(SAN_BINARY, With({kModels + "/failure.san"}, args), files);
    EXPECT_EQ(san.process.exit_code, gen.process.exit_code);
    EXPECT_EQ(san.process.out, gen.process.out);
    EXPECT_EQ(san.process.err, gen.process.err);
    for (std::size_t f = 0; f < files.size(); ++f) {
      SCOPED_TRACE(files[f]);
      EXPECT_EQ(f == 0 ? TenDigitRates(san.files[f]) : san.files[f],
                gen.files[f]);
    }
  }
}

// The text model `model` against genbench's compiled one for N = 1 to
// kLargestComparedN.
void ExpectSameAsGenbench(const char* model) {
  const std::vector<std::string> files = {"out/x.arm", "out/x.var",
                                          "out/x.pvtype"};
  {
    for (int n = 1; n <= kLargestComparedN; ++n) {
      SCOPED_TRACE(std::string(model) + " N=" + std::to_string(n));
      const RunResult compiled = RunIn(
          GEN_BENCH_BINARY, {model, std::to_string(n), "-Pout/", "-Nx"}, files);
      // Experiment n - 1 of the text model's study sets N = n.
      const RunResult text = RunIn(SAN_BINARY,
                                   {kModels + "/" + model + ".san", "-Pout/",
                                    "-Nx", "-B" + std::to_string(n - 1)},
                                   files);
      ASSERT_EQ(text.process.exit_code, 0) << text.process.err;
      EXPECT_NE(text.process.out.find("N\tint\t" + std::to_string(n) + "\n"),
                std::string::npos);
      for (std::size_t f = 0; f < files.size(); ++f) {
        SCOPED_TRACE(files[f]);
        EXPECT_FALSE(text.files[f].empty());
        EXPECT_EQ(f == 0 ? TenDigitRates(text.files[f]) : text.files[f],
                  compiled.files[f]);
      }
    }
  }
}

TEST(SanE2ETest, KanbanMatchesGenbench) { ExpectSameAsGenbench("kanban"); }

TEST(SanE2ETest, FmsMatchesGenbench) { ExpectSameAsGenbench("fms"); }

TEST(SanE2ETest, CheckSummarisesTheModel) {
  const ProcessResult run =
      RunProcess(SAN_BINARY, {"--check", kModels + "/failure.san"}, ".");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out,
            "model san\n"
            "places 15\n"
            "activities 15 (23 with their cases)\n"
            "reward variables 3\n"
            "globals 3\n"
            "experiments 10\n");
}

// A place below 0: Y in -2..0 steps down at rate 2 and up at rate 1, so the
// states in breadth-first order hold Y = 0, -1, -2.
TEST(SanE2ETest, SignedPlacesAreGeneratedAndChecked) {
  ScopedTempDir dir;
  const std::string model = dir.path() + "/signed.san";
  ASSERT_TRUE(WriteFile(model,
                        "place y bounds -2 .. 0;\n"
                        "activity down rate 2 { input gate when y > -2 "
                        "{ y -= 1; } }\n"
                        "activity up rate 1 { input gate when y < 0 "
                        "{ y += 1; } }\n"
                        "reward level = y;\n"));
  const ProcessResult run =
      RunProcess(SAN_BINARY, {model, "-P./", "-Nsigned", "-B0"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Generated: 3 states\n"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/signed.var"),
            "level\n1\n0\n0\n2\n0\n-1\n3\n0\n-2\n");

  // What the run would refuse, --check refuses too, every error at once.
  const std::string bad = dir.path() + "/bad.san";
  ASSERT_TRUE(WriteFile(bad, "place a = 40000;\nplace y = -3;\n"));
  const ProcessResult check = RunProcess(SAN_BINARY, {"--check", bad}, ".");
  EXPECT_EQ(check.exit_code, 1);
  EXPECT_EQ(check.out, "");
  EXPECT_EQ(check.err,
            bad +
                ":1:7: the initial marking 40000 of place 'a' is outside "
                "0..32767\nplace a = 40000;\n      ^\n" +
                bad +
                ":2:7: the initial marking -3 of place 'y' is outside "
                "0..32767\nplace y = -3;\n      ^\n");
}

// A unit that fails at rate 1/3 and is repaired at rate 1 is up 3/4 of the
// time. Rounded to eleven digits, the failure rate moved the availability by
// 1.9e-12, far beyond the 1e-15 bound of the chain as read: the rate is
// written in every digit it has, and the bound holds for the model.
TEST(SanE2ETest, RatesKeepEveryDigitSoTheBoundHoldsForTheModel) {
  ScopedTempDir dir;
  ASSERT_TRUE(WriteFile(dir.path() + "/unit.san",
                        "place up = 1;\nplace down;\n"
                        "activity fail rate 1 / 3 { input up; output down; }\n"
                        "activity repair rate 1 { input down; output up; }\n"
                        "reward availability = up;\n"));
  const ProcessResult run =
      RunProcess(SAN_BINARY, {"unit.san", "-P./", "-Nunit"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(ReadWholeFile(dir.path() + "/unit.arm")
                .find("\n2\n3.333333333333333e-01\n0\n"),
            std::string::npos);
  const ProcessResult solved =
      RunProcess(SOLVE_BINARY, {"-P./", "-Nunit", "--csv"}, dir.path());
  ASSERT_EQ(solved.exit_code, 0) << solved.err;
  const std::string row = "steady-state,availability,,,";
  const std::size_t at = solved.out.find(row);
  ASSERT_NE(at, std::string::npos) << solved.out;
  const std::size_t comma = solved.out.find(',', at + row.size());
  const double value = std::stod(solved.out.substr(at + row.size()));
  const double bound = std::stod(solved.out.substr(comma + 1));
  EXPECT_LE(std::abs(value - 0.75), bound) << solved.out;
}

TEST(SanE2ETest, ModelErrorsStopBeforeAnyFileIsTouched) {
  struct Row {
    const char* name;
    const char* model;
    const char* message;
  };
  const Row rows[] = {
      {"syntax", "place a = 1\nplace b;\n",
       "m.san:2:1: expected ';' but found 'place'\nplace b;\n^\n"},
      {"initial marking out of range", "global int n = 40000;\nplace a = n;\n",
       "m.san:2:7: the initial marking 40000 of place 'a' is outside "
       "0..32767\nplace a = n;\n      ^\n"},
      {"negative delay", "place a = 1;\nactivity t delay -2 { input a; }\n",
       "m.san:2:18: the delay -2 of 't' must be a finite number that is not "
       "negative\nactivity t delay -2 { input a; }\n                 ^\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    ASSERT_TRUE(WriteFile(dir.path() + "/m.san", row.model));
    ASSERT_TRUE(WriteFile(dir.path() + "/x.arm", "previous\n"));
    const ProcessResult run =
        RunProcess(SAN_BINARY, {"m.san", "-P", "", "-Nx"}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, row.message);
    EXPECT_EQ(ReadWholeFile(dir.path() + "/x.arm"), "previous\n");
  }
}

TEST(SanE2ETest, RunTimeErrorsNameTheActivityAndTheState) {
  struct Row {
    const char* name;
    const char* model;
    const char* message;
    const char* also = "";  // further along in the message
  };
  const Row rows[] = {
      {"a place's bound",
       "place a = 1;\nplace b bounds 0 .. 2;\n"
       "activity fill rate 1 { input a; output a; output b; }\n",
       "Error: activity fill (m.san:3:10) would set place b to 3; it must be "
       "a whole number in 0..2 (state: a=1 b=2)\n"},
      {"a gate that empties a place below 0",
       "place a = 1;\nplace b;\n"
       "activity t rate 1 { input a; output gate { b -= 1; } }\n",
       "Error: activity t (m.san:3:10) would set place b to -1; it must be a "
       "whole number in 0..32767 (state: a=1 b=0)\n"},
      {"a rate divided by zero",
       "place a = 1;\nplace b;\n"
       "activity t rate 1 div b { input a; output b; }\n",
       "Error: invalid rate nan of action t (m.san:3:10) while exploring "
       "state 1 (marking: a=1 b=0); it must be a finite number that is not "
       "negative\n"},
      // The branch is not made up: the gate that chose it is named, and
      // the state is the one that fired.
      {"a gate that branches on no number",
       "place a = 1;\nplace b;\nactivity t rate 1 {\n  input a;\n"
       "  output gate { b += 1; }\n"
       "  output gate { if (b mod a == 0) { b = 2; } }\n}\n",
       "Error: the output gate at m.san:6:10 of activity t reads a value that "
       "is no number, such as a modulo by 0 (state: a=1 b=0)\n"},
      {"a case's gate that branches on no number",
       "place a = 1;\nplace b;\nactivity t rate 1 {\n  input a;\n"
       "  case 1 { output gate { b = a div a > 0 ? 1 : 0; } }\n"
       "  case 0 { }\n}\n",
       "Error: the output gate at m.san:5:19 of activity t_case1 reads a "
       "value that is no number, such as a modulo by 0 (state: a=1 b=0)\n"},
      {"a lone instantaneous activity of negative weight",
       "place a = 1;\nplace b;\n"
       "activity go instant weight a - 2 { input a; output b; }\n",
       "Error: invalid weight -1 of action go (m.san:3:10) while resolving the "
       "initial marking (marking: a=1 b=0); it must be a finite number that "
       "is not negative\n"},
      {"a negative case probability",
       "place a = 1;\nactivity t rate 1 {\n  input a;\n  case 0.5 - a { }\n"
       "  case 1 { output a; }\n}\n",
       "Error: invalid probability"},
      {"a zero-time loop",
       "place a = 1;\nplace b;\nplace c;\n"
       "activity t rate 1 { input a; output b; }\n"
       "activity x instant { input b; output c; }\n"
       "activity y instant { input c; output b; }\n",
       "Error:  Maximum number of zero time transition recursive firings "
       "exceeded(23)",
       "\ninstantaneous activities enabled on the way: x, y\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    ASSERT_TRUE(WriteFile(dir.path() + "/m.san", row.model));
    const ProcessResult run =
        RunProcess(SAN_BINARY, {"m.san", "-Pout", "-Nx", "-B0"}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err.rfind(row.message, 0), 0u) << run.err;
    EXPECT_NE(run.err.find(row.also), std::string::npos) << run.err;
    EXPECT_TRUE(run.err.find("marking: a=") != std::string::npos ||
                run.err.find("marking a=") != std::string::npos ||
                run.err.find("(state: a=") != std::string::npos)
        << run.err;
  }
}

// Each refusal of the command line: exit 1, the message on standard error,
// nothing on standard output and no file in the result folder.
TEST(SanE2ETest, RefusesBadCommandLinesBeforeWritingAnything) {
  const std::string failure = kModels + "/failure.san";
  const std::string jani = kModels + "/jani/relay.jani";
  const std::string repair = kModels + "/repair.san";
  struct Row {
    std::vector<std::string> args;
    const char* message;
  };
  const Row rows[] = {
      {{failure, "-Pout/", "-Nx", "-Q"},
       "Error: unknown option \"-Q\"; did you mean \"-P\"? (san --help "
       "lists the options)\n"},
      {{failure, "-Pout/", "-Nx", "--frobnicate"},
       "Error: unknown option \"--frobnicate\"; did you mean \"--format\"?"},
      {{repair, "-Pout/", "-Nx", "-O", "d:fail_rat:0.2"},
       "Error: override entry 1 (d:fail_rat:0.2): no global variable is "
       "called \"fail_rat\"; did you mean \"fail_rate\"?\n"},
      {{failure, "-Pout/", "-Nx", "-O", "d:pperm_fautl_G:0.2"},
       "did you mean \"pperm_fault_G\"?"},
      {{failure, "-Pout/", "-Nx", "-O", "pperm_fault_G=0.2"},
       "Error: -O \"pperm_fault_G=0.2\" is not type:name:value"},
      {{failure, "-Pout/", "-Nx", "-O", "q:pperm_fault_G:0.2"},
       "type \"q\" is not one of b, c, d, f, i, l, s"},
      {{failure, "-Pout/", "-Nx", "-O", "d:pperm_fault_G:x"},
       "value x does not scan with format %lf for type d"},
      {{failure, "-Pout/", "-Nx", "-Bx"},
       "Error: -B value \"x\" is not a whole number"},
      {{failure, "-Pout/", "-Nx", "-B10"},
       "Error: experiment 10 is outside 0..9\n"},
      {{failure, "-Pout/", "-Nx", "-h", "2"},
       "Error: -h value \"2\" is not a number in 0.1..0.9"},
      {{failure, "-Pout/", "-Nx", "-l"},
       "Error: option \"-l\" needs a value (LEVEL)"},
      {{failure, "-Pout/"}, "Error: the experiment name (-N) is missing\n"},
      {{failure, "-Pout/", "-Nx", "--max-states", "0"},
       "--max-states value \"0\" is not a whole number in 1..2147483647"},
      {{"-Pout/", "-Nx"}, "Error: no model file given\n"},
      {{failure, failure, "-Pout/", "-Nx"}, "Error: one model file is read"},
      {{failure, "--format", "jan", "-Pout/", "-Nx"},
       "Error: unknown model format \"jan\"; did you mean \"jani\"?"},
      {{jani, "--const", "mu=2", "-Pout/", "-Nx", "-O", "d:mu:3"},
       "Error: -O sets the globals of a model text; a jani model sets its "
       "open constants with --const NAME=VALUE\n"},
  };
  for (const Row& row : rows) {
    std::string name;
    for (const std::string& arg : row.args) name += arg + ' ';
    SCOPED_TRACE(name);
    const RunResult run = RunIn(SAN_BINARY, row.args, {"out/x.arm"});
    EXPECT_EQ(run.process.exit_code, 1);
    EXPECT_EQ(run.process.out, "");
    EXPECT_EQ(run.process.err.rfind("Error: ", 0), 0u);
    EXPECT_NE(run.process.err.find(row.message), std::string::npos)
        << run.process.err;
    EXPECT_EQ(run.files[0], "");
  }
}

TEST(SanE2ETest, GluedValuesWithoutAnExperimentRun) {
  const RunResult run = RunIn(
      SAN_BINARY, {kModels + "/repair.san", "-Pout/", "-Nx"}, {"out/x.arm"});
  EXPECT_EQ(run.process.exit_code, 0) << run.process.err;
  EXPECT_FALSE(run.files[0].empty());
}

// Kanban with 2 cards has 4600 states: a limit below stops the run and
// publishes nothing; the exact count passes.
TEST(SanE2ETest, StateLimitEndsTheRunAndPublishesNothing) {
  const std::string kanban = kModels + "/kanban.san";
  const RunResult stopped = RunIn(
      SAN_BINARY, {kanban, "-Pout/", "-Nx", "-B1", "--max-states", "4599"},
      {"out/x.arm", "out/x.var"});
  EXPECT_EQ(stopped.process.exit_code, 1);
  EXPECT_NE(stopped.process.err.find("cannot number state 4600: state "
                                     "numbers end at 4599, the limit "
                                     "--max-states sets"),
            std::string::npos)
      << stopped.process.err;
  EXPECT_EQ(stopped.files[0], "");
  EXPECT_EQ(stopped.files[1], "");

  const RunResult exact =
      RunIn(SAN_BINARY, {kanban, "-Pout/", "-Nx", "-B1", "--max-states=4600"},
            {"out/x.arm"});
  EXPECT_EQ(exact.process.exit_code, 0) << exact.process.err;
  EXPECT_FALSE(exact.files[0].empty());
}

TEST(SanE2ETest, HelpAndVersion) {
  const ProcessResult help = RunProcess(SAN_BINARY, {"--help"}, ".");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.err, "");
  for (const char* option : {"--check", "--format NAME", "--const", "-P PATH",
                             "-N NAME", "-B NUMBER", "-O OVERRIDES", "-t"}) {
    SCOPED_TRACE(option);
    EXPECT_NE(help.out.find("\n  " + std::string(option)), std::string::npos);
  }
  const ProcessResult version = RunProcess(SAN_BINARY, {"--version"}, ".");
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("san [0-9.]+\n")))
      << version.out;
}

TEST(SanE2ETest, UsageAndUnreadableFiles) {
  const ProcessResult usage = RunProcess(SAN_BINARY, {}, ".");
  EXPECT_EQ(usage.exit_code, 0);
  EXPECT_EQ(usage.out.rfind("usage:  san ", 0), 0u);
  const ProcessResult missing =
      RunProcess(SAN_BINARY, {"--check", "/no/such/model.san"}, ".");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err,
            "Error: cannot read model file \"/no/such/model.san\"\n");
}

// An output folder that does not exist: san names the file it could not
// open (the .det comes first for a model with a deterministic delay); gen
// keeps its fixed text.
TEST(SanE2ETest, UnopenableOutputNamesTheFile) {
  struct Row {
    const char* name;
    const char* timing;
    const char* message;
  };
  const Row rows[] = {
      {"exponential", "rate 2",
       "Error: Could not open state space output file missing/x.arm\n"},
      {"deterministic", "delay 2",
       "Error: Could not open det file missing/x.det\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    const std::string model = std::string("place a = 1;\nactivity t ") +
                              row.timing + " { input a; output a; }\n";
    ASSERT_TRUE(WriteFile(dir.path() + "/m.san", model.c_str()));
    const ProcessResult run =
        RunProcess(SAN_BINARY, {"m.san", "-Pmissing/", "-Nx"}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, row.message);
  }
  const ProcessResult gen =
      RunProcess(GEN_BINARY, {"-Pmissing/", "-Nx", "-B0"}, ".");
  EXPECT_EQ(gen.exit_code, 1);
  EXPECT_EQ(gen.err, "Error: Could not open state space output file\n");
}

// A model's properties file belongs to its result set: a run of a model
// without properties removes the one an earlier model left under the same
// name, and a run killed before it publishes leaves the earlier set whole.
TEST(SanE2ETest, PropertiesFileIsPublishedWithTheSet) {
  ScopedTempDir dir;
  RunProcess("/bin/mkdir", {"out"}, dir.path());
  const std::string relay = kModels + "/jani/relay.jani";
  const std::string plain = kModels + "/failure.san";  // no properties
  const ProcessResult first = RunProcess(
      SAN_BINARY, {"--const", "mu=2", relay, "-Pout/", "-Nsame", "-B0"},
      dir.path());
  ASSERT_EQ(first.exit_code, 0) << first.err;
  const std::string relay_arm = ReadWholeFile(dir.path() + "/out/same.arm");
  const std::string relay_props = ReadWholeFile(dir.path() + "/out/same.props");
  ASSERT_EQ(relay_props.rfind("props 1\n", 0), 0u);

  // Stopped before its first rename and killed: nothing of it is published.
  ChildProcess::Options pause;
  const char* asan = std::getenv("ASAN_OPTIONS");
  pause.environment = {
      std::string("LD_PRELOAD=") + PAUSE_SHIM, "PAUSE_BEFORE_RENAME=.pvtype",
      std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
          ":verify_asan_link_order=0"};
  ChildProcess killed(SAN_BINARY, {plain, "-Pout/", "-Nsame", "-B0"},
                      dir.path(), pause);
  ASSERT_TRUE(killed.WaitUntilStopped());
  killed.Signal(SIGKILL);
  EXPECT_EQ(killed.Wait().exit_code, 128 + SIGKILL);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/out/same.arm"), relay_arm);
  EXPECT_EQ(ReadWholeFile(dir.path() + "/out/same.props"), relay_props);

  const ProcessResult second =
      RunProcess(SAN_BINARY, {plain, "-Pout/", "-Nsame", "-B0"}, dir.path());
  ASSERT_EQ(second.exit_code, 0) << second.err;
  std::FILE* stale = std::fopen((dir.path() + "/out/same.props").c_str(), "r");
  EXPECT_EQ(stale, nullptr) << "the relay's properties outlived its chain";
  if (stale != nullptr) std::fclose(stale);
}

}  // namespace
