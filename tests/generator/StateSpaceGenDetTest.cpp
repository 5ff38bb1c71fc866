// Deterministic generation on small test models, compared file for file.

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "generator/StateSpaceGen.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "run/RunGeneration.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestModel.h"

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using Model = std::unique_ptr<TestModel>;

Model NewModel() { return std::make_unique<TestModel>(); }

// Places a (one token) and b, and one deterministic action of delay 5 that
// moves the token from a to b.
Model DelayFive() {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  MoveToken(m->AddDeterministic("fixed", 5.0), a, b);
  m->Finish();
  return m;
}

// An instantaneous action enabled in the initial state makes the initial
// state vanishing: the chain would start in a state that does not exist.
// Refused before any result but the type file is written, as in normal mode.
TEST(StateSpaceGenDetTest, UnstableInitialStateIsRefused) {
  ScopedTempDir dir;
  GenerateOptions options;
  options.directory = dir.path() + "/";
  EXPECT_EXIT(
      {
        StdoutToStderr();
        Model m = NewModel();
        Place& a = m->AddPlace("a", 1);
        Place& b = m->AddPlace("b");
        MoveToken(m->AddDeterministic("fixed", 5.0), a, b);
        MoveToken(m->AddInstantaneous("now"), a, b);
        m->Finish();
        Generate(std::move(m), options);
      },
      ExitedWithCode(1),
      "^SSG: SetTraceLevel: 0\nError: The initial state is not stable, i.e., "
      "at least one instantaneous action is enabled in that state.\n$");
  EXPECT_FALSE(std::filesystem::exists(options.directory + "m.arm"));
  EXPECT_FALSE(std::filesystem::exists(options.directory + "m.det"));
}

TEST(StateSpaceGenDetTest, OneDeterministicAction) {
  Model m = DelayFive();
  const Generated g = Generate(std::move(m));
  EXPECT_EQ(g.arm,
            "1\n2\n      \n"
            "1\n2\n-1.0000000000e+00\n0\n"
            "2\n0\n");
  EXPECT_EQ(g.det, "1\n5.0000000000e+00\n1\n0\n");
  EXPECT_EQ(g.var, "1\n2\n");
  EXPECT_EQ(g.pvtype, "Version:1\nNumPV:0\n");
  EXPECT_THAT(g.out, HasSubstr("_$2$\nGenerated: 2 states\n"));
}

TEST(StateSpaceGenDetTest, EnablingRecordsAndMixedTransitions) {
  struct Row {
    const char* name;
    // Adds the activities to a model whose places are a (1 token), b, c.
    std::function<void(TestModel&, Place&, Place&, Place&)> build;
    int states;
    const char* arm;
    const char* det;
  };
  const Row rows[] = {
      {"equal delays in one state put it in the set twice",
       [](TestModel& m, Place& a, Place& b, Place& c) {
         MoveToken(m.AddDeterministic("one", 5.0), a, b);
         MoveToken(m.AddDeterministic("two", 5.0), a, c);
       },
       3, "1\n2\n-1.0000000000e+00\n3\n-1.0000000000e+00\n0\n2\n0\n3\n0\n",
       "1\n5.0000000000e+00\n1\n1\n0\n"},
      {"sets in order of first appearance, not model order",
       [](TestModel& m, Place& a, Place& b, Place& c) {
         MoveToken(m.AddDeterministic("fast", 1.0), b, c);
         MoveToken(m.AddDeterministic("slow", 2.0), a, b);
       },
       3, "1\n2\n-1.0000000000e+00\n0\n2\n3\n-1.0000000000e+00\n0\n3\n0\n",
       "2\n2.0000000000e+00\n1\n0\n1.0000000000e+00\n2\n0\n"},
      {"one delay enabled in several states",
       [](TestModel& m, Place& a, Place& b, Place&) {
         a.setMark(2);
         MoveToken(m.AddDeterministic("tick", 1.0), a, b);
       },
       3, "1\n2\n-1.0000000000e+00\n0\n2\n3\n-1.0000000000e+00\n0\n3\n0\n",
       "1\n1.0000000000e+00\n1\n2\n0\n"},
      {"exponential and deterministic into one state are summed",
       [](TestModel& m, Place& a, Place& b, Place&) {
         MoveToken(m.AddExponential("quick", 3.0), a, b);
         MoveToken(m.AddDeterministic("slow", 5.0), a, b);
       },
       2, "1\n2\n2.0000000000e+00\n0\n2\n0\n", "1\n5.0000000000e+00\n1\n0\n"},
      {"a deterministic action never enabled",
       [](TestModel& m, Place& a, Place& b, Place&) {
         MoveToken(m.AddExponential("go", 1.0), a, b);
         m.AddDeterministic("stuck", 5.0).When([] { return false; });
       },
       2, "1\n2\n1.0000000000e+00\n0\n2\n0\n", "0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = NewModel();
    Place& a = m->AddPlace("a", 1);
    Place& b = m->AddPlace("b");
    Place& c = m->AddPlace("c");
    row.build(*m, a, b, c);
    m->Finish();
    const Generated g = Generate(std::move(m));
    EXPECT_EQ(g.arm, DeterministicHeader(row.states) + row.arm);
    EXPECT_EQ(g.det, row.det);
  }
}

// After a timed firing from `start` into the vanishing place `hub`, two
// instantaneous actions (or the two cases of one) lead on to `left` and
// `right`.
TEST(StateSpaceGenDetTest, InstantaneousChoicesTakeWeightShares) {
  struct Row {
    const char* name;
    Distribution timed;
    bool cases;  // the two as cases of one activity, else two activities
    int rank_left, rank_right;
    double weight_left, weight_right;
    const char* transitions;
  };
  const Row rows[] = {
      {"case weights 1 and 3", Deterministic, true, 0, 0, 1.0, 3.0,
       "2\n-2.5000000000e-01\n3\n-7.5000000000e-01\n"},
      {"case weights 1 and 3 after an exponential of rate 8", Exponential, true,
       0, 0, 1.0, 3.0, "2\n2.0000000000e+00\n3\n6.0000000000e+00\n"},
      {"rank 2 beats rank 1", Deterministic, false, 2, 1, 1.0, 3.0,
       "2\n-1.0000000000e+00\n"},
      {"negative rank loses to rank 0", Deterministic, false, -1, 0, 1.0, 3.0,
       "2\n-1.0000000000e+00\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = NewModel();
    Place& start = m->AddPlace("start", 1);
    Place& hub = m->AddPlace("hub");
    Place& left = m->AddPlace("left");
    Place& right = m->AddPlace("right");
    MoveToken(m->AddActivity("go", row.timed).WithDelay(4.0).WithRate(8.0),
              start, hub);
    // Keeps the deterministic mode when the timed firing is exponential.
    m->AddDeterministic("never", 1.0).When([] { return false; });
    TestActivity* to_left;
    TestActivity* to_right;
    if (row.cases) {
      TestModel::CaseSet pick = m->AddCases("pick", Instantaneous, 2);
      to_left = pick.cases[0];
      to_right = pick.cases[1];
    } else {
      to_left = &m->AddInstantaneous("left");
      to_right = &m->AddInstantaneous("right");
    }
    MoveToken(*to_left, hub, left)
        .WithRank(row.rank_left)
        .WithWeight(row.weight_left);
    MoveToken(*to_right, hub, right)
        .WithRank(row.rank_right)
        .WithWeight(row.weight_right);
    m->Finish();
    const Generated g = Generate(std::move(m));
    const std::string block = std::string("1\n") + row.transitions + "0\n";
    EXPECT_EQ(g.arm.substr(DeterministicHeader(1).size(), block.size()), block);
  }
}

TEST(StateSpaceGenDetTest, AbsorbingStatesAreListedOnStandardOutput) {
  Model m = DelayFive();
  const std::string listing =
      "\nThis following State is absorbing:\n" + std::string("Model: (") +
      std::to_string(m->ModelId) + ")test\n  a = 0\n  b = 1\n_$2$\n";
  GenerateOptions options;
  options.absorb = 1;
  options.trace_level = 1;  // the trace goes to standard output as well
  const Generated g = Generate(std::move(m), options);
  EXPECT_THAT(g.out, HasSubstr(listing));
  EXPECT_EQ(g.out.find("absorbing"), g.out.rfind("absorbing"))
      << "one report, for state 2 only, and none in the trace";
  EXPECT_EQ(g.arm,
            DeterministicHeader(2) + "1\n2\n-1.0000000000e+00\n0\n2\n0\n");
}

// A deterministic firing followed by `length` instantaneous firings in a row.
Model ZeroTimeChain(int length) {
  Model m = NewModel();
  Place& token = m->AddPlace("token", 1);
  Place& steps = m->AddPlace("steps");
  m->AddDeterministic("start", 2.0)
      .When([&token] { return token.getMark() > 0; })
      .Does([&token, &steps] {
        token.setMark(0);
        steps.setMark(1);
      });
  m->AddInstantaneous("step")
      .When([&steps, length] {
        return steps.getMark() > 0 && steps.getMark() <= length;
      })
      .Does(
          [&steps] { steps.setMark(static_cast<short>(steps.getMark() + 1)); });
  m->Finish();
  return m;
}

TEST(StateSpaceGenDetTest, ZeroTimeChainOf23ResolvesAnd24IsAnError) {
  EXPECT_EQ(Generate(ZeroTimeChain(23)).arm,
            DeterministicHeader(2) + "1\n2\n-1.0000000000e+00\n0\n2\n0\n");
  EXPECT_EXIT(Generate(ZeroTimeChain(24)), ExitedWithCode(1),
              "^Error:  Maximum number of zero time transition firings "
              "exceeded\\(23\\)\nPossible undetermined model\nPlease check "
              "the model and try again\n$");
}

TEST(StateSpaceGenDetTest, ResultFilesOpenInOrderDetArmVar) {
  namespace fs = std::filesystem;
  struct Row {
    const char* blocked;  // made a directory, so that it cannot be opened
    const char* message;
  };
  const Row rows[] = {
      {"m.det", "^Error: Could not open det file \n$"},
      {"m.arm", "^Error: Could not open binary file dude\n$"},
      {"m.var", "^Could not open file dude\n$"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.blocked);
    ScopedTempDir dir;
    const std::string path = dir.path() + "/";
    fs::create_directory(path + row.blocked);
    GenerateOptions options;
    options.directory = path;
    EXPECT_EXIT({ Generate(DelayFive(), options); }, ExitedWithCode(1),
                row.message);
    // Nothing was written: not even the files checked before.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(path), fs::directory_iterator()),
        1);
  }
}

// A file-size limit (with SIGXFSZ ignored, as gen does) makes the first
// write that reaches the file system fail. The limit is lifted before the
// report is printed, which goes to a file as well.
[[noreturn]] void GenerateUnderFileSizeLimit(const std::string& path) {
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  const rlim_t saved = limit.rlim_cur;
  limit.rlim_cur = 10;
  setrlimit(RLIMIT_FSIZE, &limit);
  TestPVModel pv_model(DelayFive());
  RunSettings settings;
  settings.path = path;
  settings.name = "m";
  const Status status = RunGeneration(pv_model, settings);
  limit.rlim_cur = saved;
  setrlimit(RLIMIT_FSIZE, &limit);
  std::cerr << status.message;
  std::_Exit(status.ok ? 0 : 1);
}

TEST(StateSpaceGenDetTest, FailedWriteIsFatalAndLeavesNothing) {
  ScopedTempDir dir;
  EXPECT_EXIT(GenerateUnderFileSizeLimit(dir.path() + "/"), ExitedWithCode(1),
              "^Error: Could not write [a-z ]+ file .*/m\\.[a-z]+: File too "
              "large\n$");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(StateSpaceGenDetTest, InvalidModelValuesAreFatal) {
  struct Row {
    const char* name;
    std::function<void(TestModel&, Place& start, Place& hub)> build;
    const char* message;  // standard output, then standard error
  };
  const Row rows[] = {
      {"every enabled instantaneous action of negative rank",
       [](TestModel& m, Place& start, Place& hub) {
         MoveToken(m.AddDeterministic("go", 1.0), start, hub);
         m.AddInstantaneous("left").WithRank(-1).When(
             [&hub] { return hub.getMark() > 0; });
         m.AddInstantaneous("right").WithRank(-2).When(
             [&hub] { return hub.getMark() > 0; });
       },
       "a vanishing state reached from state 1 leads nowhere: every enabled "
       "instantaneous action \\(left, right\\) has a negative rank"},
      {"deterministic cases of total weight zero",
       [](TestModel& m, Place& start, Place& hub) {
         TestModel::CaseSet go = m.AddCases("go", Deterministic, 2);
         MoveToken(go.cases[0]->WithWeight(0.0).WithDelay(1.0), start, hub);
         MoveToken(go.cases[1]->WithWeight(0.0).WithDelay(1.0), start, hub);
       },
       "^SSG: SetTraceLevel: 0\nBaseGroupClass::Probability\\(\\) TotalWeight "
       "is zero\\.\nError: "
       "invalid probability -?nan of action go_case1 while exploring state "
       "1; it must be a finite number that is not negative\n$"},
      {"instantaneous cases of total weight zero",
       [](TestModel& m, Place& start, Place& hub) {
         MoveToken(m.AddDeterministic("go", 1.0), start, hub);
         TestModel::CaseSet pick = m.AddCases("pick", Instantaneous, 2);
         MoveToken(pick.cases[0]->WithWeight(0.0), hub, start);
         MoveToken(pick.cases[1]->WithWeight(0.0), hub, start);
       },
       "^SSG: SetTraceLevel: 0\nError: invalid total weight 0 of action "
       "pick_case1 while exploring state 1"},
      {"infinite delay",
       [](TestModel& m, Place& start, Place& hub) {
         MoveToken(m.AddDeterministic("go", INFINITY), start, hub);
       },
       "^SSG: SetTraceLevel: 0\nError: invalid delay inf of action go while "
       "exploring state 1"},
      {"negative delay",
       [](TestModel& m, Place& start, Place& hub) {
         MoveToken(m.AddDeterministic("go", -2.0), start, hub);
       },
       "^SSG: SetTraceLevel: 0\nError: invalid delay -2 of action go while "
       "exploring state 1"},
      {"negative exponential rate",
       [](TestModel& m, Place& start, Place& hub) {
         MoveToken(m.AddDeterministic("go", 1.0), start, hub);
         MoveToken(m.AddExponential("back", -3.0), hub, start);
       },
       "^SSG: SetTraceLevel: 0\nError: invalid rate -3 of action back while "
       "exploring state 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EXIT(
        {
          StdoutToStderr();
          Model m = NewModel();
          Place& start = m->AddPlace("start", 1);
          Place& hub = m->AddPlace("hub");
          row.build(*m, start, hub);
          m->Finish();
          Generate(std::move(m));
        },
        ExitedWithCode(1), row.message);
  }
}

TEST(ReallocListTest, CopiesTheOldEntriesAndZeroesTheRest) {
  const double old_list[] = {1.5, -2.0, 3.0};
  const auto grown = realloclist(old_list, 5, 2);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(grown[i], (i == 0 ? 1.5 : i == 1 ? -2.0 : 0.0));
  }
  // A count beyond the new size copies only what fits.
  EXPECT_EQ(realloclist(old_list, 2, 3)[1], -2.0);
}

}  // namespace
