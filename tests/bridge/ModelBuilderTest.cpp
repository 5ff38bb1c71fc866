// Models built from the intermediate representation and generated in
// process: a deterministic text model against the same model written with
// the framework's classes, rewards with impulses, and a model assembled by
// program as an importer would.

#include "bridge/ModelBuilder.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "lang/Checker.h"
#include "lang/Parser.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/RaceAndChoiceModel.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestModel.h"

namespace {

struct Files {
  std::string arm;
  std::string var;
  std::string pvtype;
  std::string det;
  std::string dch;
};

// Generates `model` (checked) with its default globals.
Files GenerateText(ModelIr& model) {
  BuildResult built = BuildModel(model, DefaultGlobals(model));
  EXPECT_TRUE(built.errors.empty());
  ScopedTempDir dir;
  testing::internal::CaptureStdout();
  RunGenerationOrExit(*built.model, dir.path() + "/", "t");
  testing::internal::GetCapturedStdout();
  std::cout.unsetf(std::ios::floatfield);
  const std::string base = dir.path() + "/t";
  return {ReadWholeFile(base + ".arm"), ReadWholeFile(base + ".var"),
          ReadWholeFile(base + ".pvtype"), ReadWholeFile(base + ".det"),
          ReadWholeFile(base + ".dch")};
}

ModelIr Checked(const std::string& text) {
  ParseResult parsed = LoadModelText(text, "t.san");
  EXPECT_TRUE(parsed.errors.empty()) << FormatDiagnostics(parsed.errors, &text);
  return std::move(parsed.model);
}

TEST(ModelBuilderTest, DeterministicTextModelMatchesTheCompiledOne) {
  ModelIr text = Checked(
      "model test;\n"
      "place a = 1; place b; place c; place d;\n"
      "activity slow delay 2.0 { input a; output b; }\n"
      "activity fast delay 1.0 { input b; output c; }\n"
      "activity split instant {\n"
      "  input c;\n"
      "  case 0.25 { output d; }\n"
      "  case 0.75 { output a; }\n"
      "}\n"
      "activity back rate 0.5 { input d; output a; }\n");
  const Files from_text = GenerateText(text);

  auto model = std::make_unique<TestModel>();
  Place& a = model->AddPlace("a", 1);
  Place& b = model->AddPlace("b");
  Place& c = model->AddPlace("c");
  Place& d = model->AddPlace("d");
  MoveToken(model->AddDeterministic("slow", 2.0), a, b);
  MoveToken(model->AddDeterministic("fast", 1.0), b, c);
  const TestModel::CaseSet split = model->AddCases("split", Instantaneous, 2);
  MoveToken(*split.cases[0], c, d).WithWeight(0.25);
  MoveToken(*split.cases[1], c, a).WithWeight(0.75);
  MoveToken(model->AddExponential("back", 0.5), d, a);
  model->Finish();
  const Generated compiled = Generate(std::move(model));

  EXPECT_FALSE(from_text.det.empty());
  EXPECT_EQ(from_text.arm, compiled.arm);
  EXPECT_EQ(from_text.det, compiled.det);
  EXPECT_EQ(from_text.var, compiled.var);
}

TEST(ModelBuilderTest, ImpulsesBecomeTheirLongRunRatePerState) {
  // A queue of capacity 3: throughput earns 1 per service (rate 3 while the
  // queue is not empty); mixed is the queue length plus 0.5 per arrival
  // (rate 2 while there is room).
  ModelIr model = Checked(
      "place q bounds 0 .. 3;\n"
      "activity arrive rate 2.0 { input gate when q < 3; output q; }\n"
      "activity serve rate 3.0 { input q; }\n"
      "reward throughput { impulse serve; }\n"
      "reward mixed { rate q; impulse arrive = 0.5; }\n");
  const Files files = GenerateText(model);
  EXPECT_EQ(files.var,
            "throughput\nmixed\n"
            "1\n0\n0\n0\n1\n"
            "2\n0\n3\n0\n2\n"
            "3\n0\n3\n0\n3\n"
            "4\n0\n3\n0\n3\n");
  EXPECT_EQ(files.pvtype,
            "Version:1\nNumPV:2\n"
            "Name:throughput\nType:3\nNumTimes:1\nStart:0\nStop:1\n"
            "Name:mixed\nType:3\nNumTimes:1\nStart:0\nStop:1\n");
}

TEST(ModelBuilderTest, AnImpulseOfOneCaseEarnsItsShareOfTheRate) {
  // route (rate 3) goes to a with weight 1 and to b with weight 3: case 2 is
  // taken 3 / 4 of the time, so it earns 2 x 3 x 3/4 = 4.5 per unit of time
  // in the one state that enables route; a case's weight may read markings.
  ModelIr model = Checked(
      "place up = 1;\nplace a;\nplace b;\n"
      "activity route rate 3 { input up; case 1 { output a; }"
      " case 2 + up { output b; } }\n"
      "activity back_a rate 1 { input a; output up; }\n"
      "activity back_b rate 1 { input b; output up; }\n"
      "reward second { impulse route_case2 = 2; }\n");
  ASSERT_EQ(model.rewards[0].impulses[0].case_index, 1);
  const Files files = GenerateText(model);
  EXPECT_EQ(files.var,
            "second\n"
            "1\n0\n4.5\n"
            "2\n0\n0\n"
            "3\n0\n0\n");
}

TEST(ModelBuilderTest, ImpulsesOfZeroTimeFiringsEarnAtTheTriggeringRate) {
  struct Row {
    const char* name;
    const char* text;
    const char* var;
  };
  const Row rows[] = {
      // go (rate 4) leads to a choice of left and right, weights 1 : 3;
      // loser's rank is below theirs, so it never fires. In state 1:
      // both = 4 x (1/4 x 2 + 3/4 x 5) = 17, right_only = 4 x 3/4 = 3.
      {"a weighted choice",
       "place s = 1; place a; place l; place r;\n"
       "activity go rate 4 { input s; output a; }\n"
       "activity left instant weight 1 { input a; output l; }\n"
       "activity right instant weight 3 { input a; output r; }\n"
       "activity loser instant rank 0 { input a; }\n"
       "activity back_l rate 1 { input l; output s; }\n"
       "activity back_r rate 2 { input r; output s; }\n"
       "reward both { impulse left = 2; impulse right = 5; }\n"
       "reward right_only { impulse right; }\n"
       "reward never { impulse loser = 100; }\n",
       "both\nright_only\nnever\n"
       "1\n0\n17\n0\n3\n0\n0\n"
       "2\n0\n0\n0\n0\n0\n0\n"
       "3\n0\n0\n0\n0\n0\n0\n"},
      // go (rate 2) sets off first, then second, whose cases weigh 1 : 3.
      // Amounts are read in the marking that fires: b is 0 when first
      // fires and 1 when second does, so chain = 2 x 1 + 2 x 10 = 22;
      // the second case alone earns 2 x 3/4 = 1.5.
      {"a chain of two and a case",
       "place s = 1; place a; place b; place c; place d;\n"
       "activity go rate 2 { input s; output a; }\n"
       "activity first instant { input a; output b; }\n"
       "activity second instant { input b;"
       " case 1 { output c; } case 3 { output d; } }\n"
       "activity back_c rate 1 { input c; output s; }\n"
       "activity back_d rate 1 { input d; output s; }\n"
       "reward chain { impulse first = 1 + b; impulse second = 10 * b; }\n"
       "reward case2 { impulse second_case2; }\n",
       "chain\ncase2\n"
       "1\n0\n22\n0\n1.5\n"
       "2\n0\n0\n0\n0\n"
       "3\n0\n0\n0\n0\n"},
      // Two timed firings out of the same state set off the same
      // instantaneous activity, which a third, in another state, does too:
      // hit earns 1 x 3 + 2 x 3 = 9 in state 1 and 4 x 3 = 12 in state 2,
      // beside the exponential impulse of slow (rate 1, amount 1).
      {"several triggering firings",
       "place s = 1; place t; place h;\n"
       "activity one rate 1 { input s; output h; }\n"
       "activity two rate 2 { input s; output h; }\n"
       "activity slow rate 1 { input s; output t; }\n"
       "activity four rate 4 { input t; output h; }\n"
       "activity hit instant { input h; output s; }\n"
       "reward hits { impulse hit = 3; impulse slow; }\n",
       "hits\n"
       "1\n0\n10\n"
       "2\n0\n12\n"},
      // The vanishing initial marking resolves once, at time 0: start earns
      // nothing per unit of time; the stable state it leads to earns
      // 2 x 3 = 6 from hit after go.
      {"a vanishing initial marking",
       "place a = 1; place s; place h;\n"
       "activity start instant { input a; output s; }\n"
       "activity go rate 2 { input s; output h; }\n"
       "activity hit instant { input h; output s; }\n"
       "reward hits { impulse hit = 3; impulse start = 100; }\n",
       "hits\n"
       "1\n0\n6\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ModelIr model = Checked(row.text);
    EXPECT_EQ(GenerateText(model).var, row.var);
  }
}

// In state 2 (busy) serve (delay 2) races abort (rate 0.25); after serve,
// ok and retry share 3 : 1. Amounts are read in the marking that fires:
// serve's busy + 1 = 2 before it fires, ok's 5 x done = 5 in the vanishing
// marking. Deterministic branches carry their impulses in the .dch; the
// rest are rates in the .var: admit after arrive 0.5 x 1 in state 1, abort
// 0.25 x 7 in state 2.
TEST(ModelBuilderTest, ImpulsesAfterDeterministicFiringsGoWithTheirBranches) {
  ModelIr model = Checked(kRaceAndChoiceModel);
  const Files files = GenerateText(model);
  EXPECT_EQ(files.dch,
            "dch 2\nactions 1\nserve\nimpulses 3\nserved\nrouted\nadmits\n"
            "state 1\nrate 2 0.5 -\n"
            "state 2\ndelay 1 2\n"
            "to 1 1 0.75\nimpulse 1 2\nimpulse 2 5\n"
            "to 1 2 0.25\nimpulse 1 2\nimpulse 2 1\n"
            "rate 1 0.25 r\nend 2\n");
  EXPECT_EQ(files.var,
            "served\nrouted\nadmits\n"
            "1\n0\n0\n0\n0\n0\n0.5\n"
            "2\n0\n0\n0\n0\n0\n1.75\n");

  // Two paths into the same state, 1 : 3, earning 4 and 8: the branch earns
  // their average by probability, 7.
  ModelIr merged = Checked(
      "place busy = 1; place done;\n"
      "activity serve delay 1 { input busy; output done; }\n"
      "activity a instant weight 1 { input done; output busy; }\n"
      "activity b instant weight 3 { input done; output busy; }\n"
      "reward r { impulse a = 4; impulse b = 8; }\n");
  EXPECT_EQ(GenerateText(merged).dch,
            "dch 2\nactions 1\nserve\nimpulses 1\nr\n"
            "state 1\ndelay 1 1\nto 1 1 1\nimpulse 1 7\nend 1\n");

  // Without impulses after deterministic firings the file keeps version 1.
  ModelIr plain = Checked(
      "place busy = 1;\nactivity serve delay 2 { input busy; output busy; }\n"
      "reward r = busy;\n");
  EXPECT_EQ(GenerateText(plain).dch,
            "dch 1\nactions 1\nserve\nstate 1\ndelay 1 2\nto 1 1 1\nend 1\n");
}

TEST(ModelBuilderTest, AModelAssembledByProgramBuildsAndRuns) {
  // What an importer of another format does: no text, its own locations.
  ModelIr model;
  model.name = "queue";
  model.globals.push_back({"lambda", ValueType::kReal, 2.0, {}});
  PlaceIr q;
  q.name = "q";
  q.initial = IntConstant(0);
  q.bounds = std::make_pair(0, 2);
  q.where = {"$.variables[0]", 0, 0};
  model.places.push_back(std::move(q));
  ActivityIr arrive;
  arrive.name = "arrive";
  arrive.timing = NameRef("lambda");
  InputGateIr room;
  room.predicate = Binary(Op::kLess, NameRef("q"), IntConstant(2));
  arrive.input_gates.push_back(std::move(room));
  ArcIr out;
  out.place = "q";
  arrive.outputs.push_back(std::move(out));
  model.activities.push_back(std::move(arrive));
  ActivityIr leave;
  leave.name = "leave";
  leave.timing = RealConstant(1.0);
  ArcIr in;
  in.place = "q";
  in.where = {"$.edges[1]", 0, 0};
  leave.inputs.push_back(std::move(in));
  model.activities.push_back(std::move(leave));
  ASSERT_TRUE(CheckModel(model).empty());
  const Files files = GenerateText(model);
  EXPECT_EQ(files.arm.substr(0, 2), "1\n");
  EXPECT_NE(files.arm.find("\n3\n"), std::string::npos);  // three states

  // Errors carry the importer's location text.
  model.activities[1].inputs[0].place = "nowhere";
  const std::vector<Diagnostic> errors = CheckModel(model);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(FormatDiagnostic(errors[0], nullptr),
            "$.edges[1]: unknown place 'nowhere' in an arc of 'leave'\n");
}

}  // namespace

namespace {

TEST(ModelBuilderTest, RanksAndWeightsOfInstantaneousActivities) {
  // From a, two instantaneous activities compete: the higher rank wins;
  // at equal ranks the weights share the probability 1 : 3.
  struct Row {
    const char* name;
    int rank_left;
    int rank_right;
  };
  const Row rows[] = {{"equal ranks", 1, 1}, {"left ranks higher", 2, 1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string text =
        "place s = 1; place a; place l; place r;\n"
        "activity go rate 4.0 { input s; output a; }\n"
        "activity left instant rank " +
        std::to_string(row.rank_left) +
        " weight 1.0 { input a; output l; }\n"
        "activity right instant rank " +
        std::to_string(row.rank_right) + " weight 3.0 { input a; output r; }\n";
    ModelIr model = Checked(text);
    const Files from_text = GenerateText(model);

    auto compiled = std::make_unique<TestModel>();
    Place& s = compiled->AddPlace("s", 1);
    Place& a = compiled->AddPlace("a");
    Place& l = compiled->AddPlace("l");
    Place& r = compiled->AddPlace("r");
    MoveToken(compiled->AddExponential("go", 4.0), s, a);
    MoveToken(compiled->AddInstantaneous("left"), a, l)
        .WithRank(row.rank_left)
        .WithWeight(1.0);
    MoveToken(compiled->AddInstantaneous("right"), a, r)
        .WithRank(row.rank_right)
        .WithWeight(3.0);
    compiled->Finish();
    const Generated expected = Generate(std::move(compiled));
    EXPECT_EQ(from_text.arm, expected.arm);
  }
}

}  // namespace

namespace {

// An instantaneous activity or case whose weight is 0 in a marking has no
// concession there: it does not fire, a marking where nothing else
// instantaneous is enabled is stable, and it hides no lower rank.
TEST(ModelBuilderTest, InstantaneousWeightZeroHasNoConcession) {
  struct Row {
    const char* name;
    const char* model;
    const char* states;
  };
  const Row rows[] = {
      {"a lone activity",
       "place a = 1; place b; place n;\n"
       "activity go instant weight n { input a; output b; }\n"
       "activity add rate 1 { input gate when n == 0; output n; }\n",
       "1 a=1 b=0 n=0\n2 a=0 b=1 n=1\n"},
      {"the cases of a lone activity",
       "place a = 1; place b; place c; place n;\n"
       "activity go instant { input a; case n { output b; } case 0 { output "
       "c; } }\n"
       "activity add rate 1 { input gate when n == 0; output n; }\n",
       "1 a=1 b=0 c=0 n=0\n2 a=0 b=1 c=0 n=1\n"},
      {"a higher rank",
       "place a = 1; place b; place c; place n;\n"
       "activity high instant rank 2 weight n { input a; output b; }\n"
       "activity low instant { input a; output c; }\n",
       "1 a=0 b=0 c=1 n=0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScopedTempDir dir;
    { std::ofstream(dir.path() + "/m.san") << row.model; }
    const ProcessResult run = RunProcess(
        SAN_BINARY, {"m.san", "-P" + dir.path() + "/", "-Nm", "--states"},
        dir.path());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(ReadWholeFile(dir.path() + "/m.states"), row.states);
  }
}

}  // namespace
