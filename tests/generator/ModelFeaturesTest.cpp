// Whole generations of models built from the framework parts that the
// compiled-in model does not use: structured state variables, shared places,
// read-only places and pre-select groups.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "generator/StateSpaceGen.h"
#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/TestModel.h"

namespace {

using ::testing::ElementsAreArray;
using ::testing::ExitedWithCode;
using Model = std::unique_ptr<TestModel>;

Model NewModel() { return std::make_unique<TestModel>(); }

std::vector<std::uint8_t> Image(TestModel& m) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(m.StateSize()));
  m.CurrentState(image.data());
  return image;
}

TEST(ModelFeaturesTest, SetUpErrors) {
  struct Row {
    const char* name;
    std::function<void(TestModel&)> build;
    const char* message;
  };
  const Row rows[] = {
      {"only read-only places",
       [](TestModel& m) {
         m.AddReadOnlyPlace("limit", 3);
         m.AddExponential("tick", 1.0);
       },
       "^The model is empty, i.e., does not have any state variables.\n$"},
      // Each later code is ORed in; none may hide the unsupported one.
      {"unsupported code before supported ones",
       [](TestModel& m) {
         m.AddPlace("a", 1);
         m.AddActivity("odd", static_cast<Distribution>(3));
         m.AddExponential("tick", 1.0);
         m.AddDeterministic("fixed", 1.0);
       },
       "^SSG: SetTraceLevel: 0\nError:  Can not generate state space with "
       "Current Action Distribution Type\n$"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EXIT(
        {
          StdoutToStderr();
          Model m = NewModel();
          row.build(*m);
          m->Finish();
          Generate(std::move(m));
        },
        ExitedWithCode(1), row.message);
  }
}

// Places p and q around a structure s = {x, inner = {y, z}}.
struct Structured {
  Model model = NewModel();
  Place& p = model->AddPlace("p");
  Place& x = model->AddFieldPlace("x");
  Place& y = model->AddFieldPlace("y");
  Place& z = model->AddFieldPlace("z");
  BaseStructStateVariable& inner = model->AddFieldStruct(
      "inner", {{&y, kShortElement}, {&z, kShortElement}});
  BaseStructStateVariable& s =
      model->AddStruct("s", {{&x, kShortElement}, {&inner, kStructElement}});
  Place& q = model->AddPlace("q");
};

TEST(ModelFeaturesTest, StructuredVariablesAreImagedFieldAfterField) {
  Structured st;
  st.model->Finish();
  st.p.setMark(1);
  st.x.setMark(2);
  st.y.setMark(3);
  st.z.setMark(4);
  st.q.setMark(5);
  EXPECT_THAT(Image(*st.model),
              ElementsAreArray({1, 0, 2, 0, 3, 0, 4, 0, 5, 0}));
  std::uint8_t image[10] = {9, 0, 8, 0, 7, 0, 6, 0, 5, 0};
  st.model->SetState(image);
  EXPECT_EQ(st.x.getMark(), 8);
  EXPECT_EQ(st.z.getMark(), 6);
  EXPECT_EQ(st.q.getMark(), 5);
}

TEST(ModelFeaturesTest, StructuredVariablesGenerate) {
  Structured st;
  st.x.setMark(1);
  // Into the nested structure, then out to the place after the structure.
  MoveToken(st.model->AddExponential("x_to_z", 1.0), st.x, st.z).Reads({&st.s});
  MoveToken(st.model->AddExponential("z_to_q", 2.0), st.z, st.q);
  st.model->Finish();
  const Generated g = Generate(std::move(st.model));
  EXPECT_EQ(g.arm, NormalHeader(3) +
                       "1\n2\n1.0000000000e+00\n0\n"
                       "2\n3\n2.0000000000e+00\n0\n"
                       "3\n0\n");
  EXPECT_EQ(g.var, "1\n2\n3\n");
}

// Tokens taken through either of two shared places are one and the same, and
// the image holds the stored places only, in declaration order.
TEST(ModelFeaturesTest, SharedPlacesAreOnePlaceInTheImage) {
  struct Row {
    const char* name;
    bool first_is_holder;
  };
  const Row rows[] = {{"shared with a later place", true},
                      {"shared with an earlier place", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = NewModel();
    Place& a = m->AddPlace("a");
    Place& b = m->AddPlace("b");
    Place& done = m->AddPlace("done");
    b.setMark(2);
    if (row.first_is_holder) {
      a.share(&b);
    } else {
      b.share(&a);
      b.setMark(2);
    }
    MoveToken(m->AddExponential("via_a", 1.0), a, done);
    MoveToken(m->AddExponential("via_b", 2.0), b, done);
    m->Finish();
    EXPECT_EQ(a.getMark(), 2);
    EXPECT_THAT(Image(*m), ElementsAreArray({2, 0, 0, 0}));
    const Generated g = Generate(std::move(m));
    EXPECT_EQ(g.arm, NormalHeader(3) +
                         "1\n2\n3.0000000000e+00\n0\n"
                         "2\n3\n3.0000000000e+00\n0\n"
                         "3\n0\n");
  }
}

TEST(ModelFeaturesTest, ReadOnlyPlacesStayOutOfTheImage) {
  Model m = NewModel();
  Place& limit = m->AddReadOnlyPlace("limit", 2);
  Place& count = m->AddPlace("count");
  m->AddExponential("up", 1.0)
      .When([&] { return count.getMark() < limit.getMark(); })
      .Does([&] { count.setMark(static_cast<short>(count.getMark() + 1)); })
      .Reads({&count, &limit})
      .Changes({&count});
  m->Finish();
  EXPECT_THAT(Image(*m), ElementsAreArray({0, 0}));
  EXPECT_EQ(Generate(std::move(m)).arm,
            NormalHeader(3) +
                "1\n2\n1.0000000000e+00\n0\n2\n3\n1.0000000000e+00\n0\n3\n0\n");
}

// Members of a pre-select group fire as timed actions, each with its rate
// times its share of the group's weight; exploration itself never draws.
TEST(ModelFeaturesTest, PreselectGroupMembersShareTheirGroup) {
  struct Row {
    const char* name;
    Distribution distribution;
    int second_rank;
    const char* transitions;
    const char* det;
  };
  const Row rows[] = {
      {"exponential, weights 1 and 3", Exponential, 0,
       "2\n5.0000000000e-01\n3\n3.0000000000e+00\n", ""},
      {"exponential, second member of higher rank", Exponential, 2,
       "2\n4.0000000000e+00\n", ""},
      {"deterministic, weights 1 and 3", Deterministic, 0,
       "2\n-2.5000000000e-01\n3\n-7.5000000000e-01\n",
       "2\n5.0000000000e+00\n1\n0\n7.0000000000e+00\n1\n0\n"},
      // The outranked member still records its delay for the state.
      {"deterministic, second member of higher rank", Deterministic, 2,
       "2\n-1.0000000000e+00\n",
       "2\n5.0000000000e+00\n1\n0\n7.0000000000e+00\n1\n0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Model m = NewModel();
    Place& start = m->AddPlace("start", 1);
    Place& left = m->AddPlace("left");
    Place& right = m->AddPlace("right");
    TestModel::MemberSet choose =
        m->AddPreselect("choose", row.distribution, 2);
    MoveToken(*choose.members[0], start, left)
        .WithRate(2.0)
        .WithDelay(5.0)
        .WithWeight(1.0);
    MoveToken(*choose.members[1], start, right)
        .WithRate(4.0)
        .WithDelay(7.0)
        .WithWeight(3.0)
        .WithRank(row.second_rank);
    m->Finish();
    ScriptedUniforms draws({0.5});
    const Generated g = Generate(std::move(m));
    const int states = row.second_rank > 0 ? 2 : 3;
    const std::string header = row.distribution == Deterministic
                                   ? DeterministicHeader(states)
                                   : NormalHeader(states);
    const std::string block = std::string("1\n") + row.transitions + "0\n";
    EXPECT_EQ(g.arm.substr(0, header.size() + block.size()), header + block);
    EXPECT_EQ(g.det, row.det);
    EXPECT_EQ(draws.draws_taken(), 0);
  }
}

}  // namespace
