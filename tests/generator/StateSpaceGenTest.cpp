// Normal generation on small test models, compared file for file.

#include "generator/StateSpaceGen.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestModel.h"

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;
using Model = std::unique_ptr<TestModel>;

Model NewModel() { return std::make_unique<TestModel>(); }

// Moves one token from `from` to `to` while `from` holds one.
TestActivity& Move(TestActivity& a, Place& from, Place& to) {
  return a.When([&from] { return from.getMark() > 0; })
      .Does([&from, &to] {
        from.setMark(from.getMark() - 1);
        to.setMark(to.getMark() + 1);
      })
      .Reads({&from})
      .Changes({&from, &to});
}

// Messages that the generator prints on standard output are matched by death
// tests on standard error.
void StdoutToStderr() { std::cout.rdbuf(std::cerr.rdbuf()); }

// A timed action from `start` into a vanishing place `hub`, from which
// instantaneous actions lead on; returns the hub.
struct Fan {
  Model model = NewModel();
  Place& start = model->AddPlace("start", 1);
  Place& hub = model->AddPlace("hub");
};

TEST(StateSpaceGenTest, ChainWithAbsorbingEnd) {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  Place& c = m->AddPlace("c");
  Move(m->AddExponential("ab", 0.5), a, b);
  Move(m->AddExponential("bc", 2.0), b, c);
  m->Finish();
  GenerateOptions options;
  options.absorb = 1;
  const Generated g = Generate(std::move(m), options);
  EXPECT_EQ(g.arm, NormalHeader(3) +
                       "1\n2\n5.0000000000e-01\n0\n"
                       "2\n3\n2.0000000000e+00\n0\n"
                       "3\n0\n");
  EXPECT_EQ(g.var, "1\n2\n3\n");
  EXPECT_EQ(g.pvtype, "Version:1\nNumPV:0\n");
  EXPECT_EQ(g.det, "");
  EXPECT_THAT(g.out, HasSubstr("absorbing state\n  Model: ("));
  EXPECT_THAT(g.out, HasSubstr(")test\n    a = 0\n    b = 0\n    c = 1\n"));
  EXPECT_THAT(g.out, HasSubstr("_$3$\nGenerated: 3 states\n"));
}

TEST(StateSpaceGenTest, AbsorbingStatesAreReportedOnlyWhenAsked) {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  Move(m->AddExponential("ab", 1.0), a, b);
  m->Finish();
  EXPECT_THAT(Generate(std::move(m)).out,
              ::testing::Not(HasSubstr("absorbing")));
}

TEST(StateSpaceGenTest, RatesIntoOneTargetAreSummedAndZeroRatesDropped) {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  Place& c = m->AddPlace("c");
  Place& d = m->AddPlace("d");
  Move(m->AddExponential("to_b", 1.0), a, b);
  Move(m->AddExponential("to_c", 0.25), a, c);
  Move(m->AddExponential("to_d_first", 1.0), a, d);
  Move(m->AddExponential("never", 0.0), a, b).Does([&] { d.setMark(5); });
  Move(m->AddExponential("to_d_second", 2.0), a, d);
  m->Finish();
  const Generated g = Generate(std::move(m));
  EXPECT_EQ(g.arm, NormalHeader(4) +
                       "1\n2\n1.0000000000e+00\n3\n2.5000000000e-01\n"
                       "4\n3.0000000000e+00\n0\n"
                       "2\n0\n3\n0\n4\n0\n");
  EXPECT_EQ(g.var, "1\n2\n3\n4\n");
}

TEST(StateSpaceGenTest, SelfLoopIsATransition) {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  m->AddExponential("stay", 4.0).Reads({&a});
  m->Finish();
  EXPECT_EQ(Generate(std::move(m)).arm,
            NormalHeader(1) + "1\n1\n4.0000000000e+00\n0\n");
}

TEST(StateSpaceGenTest, ModelWithoutActionsHasOnlyTheInitialState) {
  Model m = NewModel();
  m->AddPlace("a", 7);
  m->Finish();
  const Generated g = Generate(std::move(m));
  EXPECT_EQ(g.arm, NormalHeader(1) + "1\n0\n");
  EXPECT_EQ(g.var, "1\n");
  EXPECT_THAT(g.out, HasSubstr("_$1$\nGenerated: 1 states\n"));
}

TEST(StateSpaceGenTest, InstantaneousChoicesSplitTheTimedRate) {
  struct Row {
    const char* name;
    int rank_left, rank_right;
    double weight_left, weight_right;
    const char* transitions;
  };
  const Row rows[] = {
      {"weights 1 and 3", 1, 1, 1.0, 3.0,
       "2\n2.0000000000e+00\n3\n6.0000000000e+00\n"},
      {"rank 2 beats rank 1", 2, 1, 1.0, 3.0, "2\n8.0000000000e+00\n"},
      {"negative rank loses to rank 0", -1, 0, 1.0, 3.0,
       "2\n8.0000000000e+00\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Fan f;
    Place& left = f.model->AddPlace("left");
    Place& right = f.model->AddPlace("right");
    Move(f.model->AddExponential("go", 8.0), f.start, f.hub);
    Move(f.model->AddInstantaneous("left"), f.hub, left)
        .WithRank(row.rank_left)
        .WithWeight(row.weight_left);
    Move(f.model->AddInstantaneous("right"), f.hub, right)
        .WithRank(row.rank_right)
        .WithWeight(row.weight_right);
    f.model->Finish();
    const Generated g = Generate(std::move(f.model));
    const std::string block = std::string("1\n") + row.transitions + "0\n";
    EXPECT_EQ(g.arm.substr(NormalHeader(3).size(), block.size()), block);
  }
}

// A timed firing followed by `length` instantaneous firings in a row.
Model ZeroTimeChain(int length) {
  Model m = NewModel();
  Place& token = m->AddPlace("token", 1);
  Place& steps = m->AddPlace("steps");
  Place& done = m->AddPlace("done");
  m->AddExponential("start", 1.0)
      .When([&token] { return token.getMark() > 0; })
      .Does([&token, &steps] {
        token.setMark(0);
        steps.setMark(1);
      });
  m->AddInstantaneous("step")
      .When([&steps, length] {
        return steps.getMark() > 0 && steps.getMark() <= length;
      })
      .Does([&steps] { steps.setMark(steps.getMark() + 1); });
  m->AddInstantaneous("unused").When([] { return false; });
  (void)done;
  return m;
}

TEST(StateSpaceGenTest, ZeroTimeChainOf23Resolves) {
  Model m = ZeroTimeChain(23);
  m->Finish();
  EXPECT_EQ(Generate(std::move(m)).arm,
            NormalHeader(2) + "1\n2\n1.0000000000e+00\n0\n2\n0\n");
}

TEST(StateSpaceGenTest, ZeroTimeChainOf24IsAnError) {
  EXPECT_EXIT(
      {
        Model m = ZeroTimeChain(24);
        m->Finish();
        Generate(std::move(m));
      },
      ExitedWithCode(1),
      "Error:  Maximum number of zero time transition recursive firings "
      "exceeded\\(23\\)\nPossible undetermined model.\nPlease check the "
      "model and try again\n");
}

TEST(StateSpaceGenTest, InvalidModelValuesAreFatal) {
  struct Row {
    const char* name;
    double rate, weight_left, weight_right;
    int rank;
    const char* message;
  };
  const Row rows[] = {
      {"negative rate", -5.0, 1.0, 1.0, 0,
       "invalid rate -5 of action go while exploring state 1"},
      {"rate not a number", NAN, 1.0, 1.0, 0, "invalid rate nan of action go"},
      {"negative weight", 1.0, 1.5, -0.5, 0,
       "invalid weight -0.5 of action right while exploring state 1"},
      {"infinite weight", 1.0, INFINITY, 1.0, 0,
       "invalid weight inf of action left"},
      {"zero total weight", 1.0, 0.0, 0.0, 0, "invalid total weight 0"},
      {"every rank negative", 1.0, 1.0, 1.0, -1,
       "a vanishing state reached from state 1 leads nowhere: every enabled "
       "instantaneous action \\(left, right\\) has a negative rank"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EXIT(
        {
          Fan f;
          Place& left = f.model->AddPlace("left");
          Place& right = f.model->AddPlace("right");
          Move(f.model->AddExponential("go", row.rate), f.start, f.hub);
          Move(f.model->AddInstantaneous("left"), f.hub, left)
              .WithWeight(row.weight_left)
              .WithRank(row.rank);
          Move(f.model->AddInstantaneous("right"), f.hub, right)
              .WithWeight(row.weight_right)
              .WithRank(row.rank);
          f.model->Finish();
          Generate(std::move(f.model));
        },
        ExitedWithCode(1), row.message);
  }
}

TEST(StateSpaceGenTest, InvalidCaseProbabilityIsFatal) {
  EXPECT_EXIT(
      {
        Model m = NewModel();
        Place& a = m->AddPlace("a", 1);
        TestModel::CaseSet cases = m->AddCases("pick", Exponential, 2);
        cases.cases[0]->WithWeight(1.5).When([&a] { return a.getMark() > 0; });
        cases.cases[1]->WithWeight(-0.5).When([&a] { return a.getMark() > 0; });
        m->Finish();
        Generate(std::move(m));
      },
      ExitedWithCode(1),
      "invalid probability -0.5 of action pick_case2 while exploring state 1");
}

TEST(StateSpaceGenTest, SetUpErrors) {
  EXPECT_EXIT(
      {
        StdoutToStderr();
        Model m = NewModel();
        m->AddExponential("lonely", 1.0);
        m->Finish();
        Generate(std::move(m));
      },
      ExitedWithCode(1),
      "The model is empty, i.e., does not have any state variables.\n");
  EXPECT_EXIT(
      {
        StdoutToStderr();
        Fan f;
        Move(f.model->AddInstantaneous("now"), f.start, f.hub);
        f.model->Finish();
        Generate(std::move(f.model));
      },
      ExitedWithCode(1),
      "Error: The initial state is not stable, i.e., at least one "
      "instantaneous action is enabled in that state.\n");
  EXPECT_EXIT(
      {
        Fan f;
        Move(f.model->AddErlang("phased", 3.0, 1.0), f.start, f.hub);
        f.model->Finish();
        Generate(std::move(f.model));
      },
      ExitedWithCode(1),
      "Error: action phased has an Erlang distribution; state-space "
      "generation does not support phase-type actions\n");
  for (Distribution unsupported : {static_cast<Distribution>(5), Erlang}) {
    SCOPED_TRACE(unsupported);
    EXPECT_EXIT(
        {
          StdoutToStderr();
          Fan f;
          Move(f.model->AddDeterministic("fixed", 1.0), f.start, f.hub);
          Move(f.model->AddActivity("odd", unsupported), f.hub, f.start);
          f.model->Finish();
          Generate(std::move(f.model));
        },
        ExitedWithCode(1),
        "Error:  Can not generate state space with Current Action "
        "Distribution Type\n");
  }
}

TEST(StateSpaceGenTest, LoadFactorDoesNotChangeTheFiles) {
  auto build = [] {
    Model m = NewModel();
    Place& a = m->AddPlace("a", 30);
    Place& b = m->AddPlace("b");
    Move(m->AddExponential("ab", 1.0), a, b);
    Move(m->AddExponential("ba", 2.0), b, a);
    m->Finish();
    return m;
  };
  const Generated reference = Generate(build());
  for (double load : {0.1, 0.9}) {
    GenerateOptions options;
    options.hash_value = load;
    EXPECT_EQ(Generate(build(), options).arm, reference.arm);
  }
}

}  // namespace

namespace {

// A fatal error found while exploring state 2 leaves state 1's block, and
// its reward record, in the files.
// A failed run publishes nothing: its temporary files are removed and the
// folder is as it was.
TEST(StateSpaceGenTest, FailedRunLeavesNoResultFiles) {
  ScopedTempDir dir;
  GenerateOptions options;
  options.directory = dir.path() + "/";
  EXPECT_EXIT(
      {
        Model m = NewModel();
        Place& a = m->AddPlace("a", 1);
        Place& b = m->AddPlace("b");
        Move(m->AddExponential("ab", 1.0), a, b);
        Move(m->AddExponential("broken", -1.0), b, a);
        m->Finish();
        Generate(std::move(m), options);
      },
      ExitedWithCode(1), "invalid rate -1 of action broken");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Rates too large to leave their sums to the writing thread unchecked are
// summed and checked on the exploring thread; the states after them go the
// usual way again.
TEST(StateSpaceGenTest, HugeFiniteRatesAreWrittenAsAlways) {
  Model m = NewModel();
  Place& a = m->AddPlace("a", 1);
  Place& b = m->AddPlace("b");
  Place& c = m->AddPlace("c");
  Move(m->AddExponential("ab", 1e308), a, b);
  Move(m->AddExponential("ac", 1e308), a, c);
  Move(m->AddExponential("bc", 2.0), b, c);
  m->Finish();
  EXPECT_EQ(Generate(std::move(m)).arm,
            NormalHeader(3) +
                "1\n2\n1.0000000000e+308\n3\n1.0000000000e+308\n0\n"
                "2\n3\n2.0000000000e+00\n0\n"
                "3\n0\n");
}

TEST(StateSpaceGenTest, RatesSummingPastTheLargestDoubleAreFatal) {
  EXPECT_EXIT(
      {
        Model m = NewModel();
        Place& a = m->AddPlace("a", 1);
        Place& b = m->AddPlace("b");
        Move(m->AddExponential("first", 1e308), a, b);
        Move(m->AddExponential("second", 1e308), a, b);
        m->Finish();
        Generate(std::move(m));
      },
      ExitedWithCode(1),
      "Error: the rates from state 1 to state 2 add up to inf, which is not a "
      "finite number\n");
}

}  // namespace
