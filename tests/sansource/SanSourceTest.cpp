// Reward records left for later (AllowLateRewards) against the records the
// source fills while expanding: equal bit for bit, whichever source of the
// model computes them, on models whose records depend on the firing that
// reached the state and on the zero-time paths out of it.

#include "sansource/SanSource.h"

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/models/Fms.h"
#include "bench/models/Kanban.h"
#include "bridge/ModelBuilder.h"
#include "gtest/gtest.h"
#include "lang/Checker.h"
#include "lang/Parser.h"
#include "tests/reward/RewardTestModel.h"
#include "tests/support/RaceAndChoiceModel.h"
#include "trace/TraceFileContainer.h"

namespace {

using ModelMaker = std::function<std::unique_ptr<PVModel>()>;

std::unique_ptr<PVModel> TextModel(const std::string& text) {
  ParseResult parsed = LoadModelText(text, "t.san");
  EXPECT_TRUE(parsed.errors.empty()) << FormatDiagnostics(parsed.errors, &text);
  BuildResult built = BuildModel(parsed.model, DefaultGlobals(parsed.model));
  EXPECT_TRUE(built.errors.empty());
  return std::move(built.model);
}

// Up and down as in MakeUpDownModel, with impulses: 5 per "fail" on "down"
// and 2 per "repair" on "up"; "tick" leaves the marking as it is, so the
// same image is reached by firings that earn different impulses.
std::unique_ptr<PVModel> UpDownWithImpulses() {
  return std::make_unique<TestRewardModel>(
      MakeUpDownModel(), 2, [](int variable, int) -> PerformanceVariableNode* {
        if (variable == 0) {
          auto* node = new MarkNode("down", "t", "down", 1, 0, 1);
          node->WithImpulse("fail", "t", 5.0);
          return node;
        }
        auto* node = new MarkNode("up", "t", "up", 1, 0, 1);
        node->WithImpulse("repair", "t", 2.0);
        return node;
      });
}

struct Explored {
  std::size_t successors = 0;
  std::size_t deferred = 0;
  std::size_t nonzero_values = 0;  // record entries, over all successors
};

// Explores the model breadth first with three sources of it, each over a
// model of its own: `eager` fills every record, `late` leaves them, and
// both `late` and `other` compute each left record, which must equal the
// one `eager` filled.
Explored ExpectLateRecordsEqualEager(const ModelMaker& make) {
  std::unique_ptr<PVModel> models[] = {make(), make(), make()};
  TraceFileContainer traces[3];
  SanSource eager(*models[0], traces[0], 0);
  SanSource late(*models[1], traces[1], 0);
  SanSource other(*models[2], traces[2], 0);
  late.AllowLateRewards(true);
  ExplorationMode mode = ExplorationMode::kNormal;
  for (SanSource* source : {&eager, &late, &other}) {
    EXPECT_TRUE(source->ChooseMode(&mode).ok);
  }
  const std::size_t size = eager.StateSize();
  const std::size_t width = 2 * eager.RewardTypes().size();

  Successors initial;
  initial.Configure(size, width);
  EXPECT_TRUE(late.InitialStates(initial).ok);
  std::map<std::string, std::uint32_t> numbers;
  std::deque<std::string> waiting;
  for (std::size_t k = 0; k < initial.Count(); ++k) {
    // The initial records are filled as they are found, never left.
    EXPECT_TRUE(initial.RewardsFilled(k));
    const std::string image(initial.Image(k), size);
    numbers.emplace(image, static_cast<std::uint32_t>(numbers.size() + 1));
    waiting.push_back(image);
  }

  Explored explored;
  Successors filled;
  Successors left;
  filled.Configure(size, width);
  left.Configure(size, width);
  std::vector<double> record(width);
  while (!waiting.empty() && !testing::Test::HasFailure()) {
    const std::string image = waiting.front();
    waiting.pop_front();
    const std::uint32_t number = numbers.at(image);
    filled.Clear();
    left.Clear();
    EXPECT_TRUE(eager.Expand(number, image.data(), filled).ok);
    EXPECT_TRUE(late.Expand(number, image.data(), left).ok);
    EXPECT_EQ(filled.Count(), left.Count());
    if (filled.Count() != left.Count()) break;
    for (std::size_t k = 0; k < left.Count(); ++k) {
      SCOPED_TRACE("state " + std::to_string(number) + ", successor " +
                   std::to_string(k));
      EXPECT_EQ(std::memcmp(filled.Image(k), left.Image(k), size), 0);
      EXPECT_EQ(filled.Value(k), left.Value(k));
      EXPECT_TRUE(filled.RewardsFilled(k));
      ++explored.successors;
      const double* expected = filled.Rewards(k);
      for (std::size_t i = 0; i < width; ++i) {
        explored.nonzero_values += expected[i] != 0.0 ? 1 : 0;
      }
      if (!left.RewardsFilled(k)) {
        ++explored.deferred;
        for (SanSource* source : {&other, &late}) {
          source->LateRewards(left.Image(k), left.RewardNote(k), record.data());
          EXPECT_EQ(
              std::memcmp(record.data(), expected, width * sizeof(double)), 0);
        }
      }
      const std::string next(left.Image(k), size);
      if (numbers.emplace(next, static_cast<std::uint32_t>(numbers.size() + 1))
              .second) {
        waiting.push_back(next);
      }
    }
  }
  return explored;
}

struct ModelRow {
  const char* name;
  ModelMaker make;
};

// Each timed firing is undone by writing back only the places that changed
// since the firing read its successor, unless something else moved the
// marking on the way (a zero-time choice going back to the vanishing
// marking for its next branch): then every place is written. Either way
// the model must be at the explored marking when the next timed action is
// asked whether it is enabled; it is checked after the last, at the end of
// every expansion of a breadth-first walk. Returns the states walked.
std::size_t ExpectExpansionsEndAtTheExploredMarking(const ModelMaker& make) {
  std::unique_ptr<PVModel> model = make();
  TraceFileContainer trace;
  SanSource source(*model, trace, 0);
  ExplorationMode mode = ExplorationMode::kNormal;
  EXPECT_TRUE(source.ChooseMode(&mode).ok);
  const std::size_t size = source.StateSize();
  Successors out;
  out.Configure(size, 2 * source.RewardTypes().size());
  EXPECT_TRUE(source.InitialStates(out).ok);
  std::map<std::string, std::uint32_t> numbers;
  std::deque<std::string> waiting;
  for (std::size_t k = 0; k < out.Count(); ++k) {
    waiting.emplace_back(out.Image(k), size);
    numbers.emplace(waiting.back(), numbers.size() + 1);
  }
  std::string marking(size, '\0');
  // A marking left wrong can make the walk endless; these models have fewer.
  constexpr std::size_t kMaxStates = 100000;
  while (!waiting.empty() && !testing::Test::HasFailure() &&
         numbers.size() < kMaxStates) {
    const std::string image = waiting.front();
    waiting.pop_front();
    out.Clear();
    EXPECT_TRUE(source.Expand(numbers.at(image), image.data(), out).ok);
    model->CurrentState(marking.data());
    EXPECT_EQ(marking, image) << "after expanding state " << numbers.at(image);
    for (std::size_t k = 0; k < out.Count(); ++k) {
      std::string next(out.Image(k), size);
      if (numbers.emplace(next, numbers.size() + 1).second) {
        waiting.push_back(std::move(next));
      }
    }
  }
  EXPECT_LT(numbers.size(), kMaxStates);
  return numbers.size();
}

const char kZeroTimeChoiceModel[] =
    "place s = 2; place a; place l; place r;\n"
    "activity go rate 4 { input s; output a; }\n"
    "activity left instant weight 1 { input a; output l; }\n"
    "activity right instant weight 3 { input a; output r; }\n"
    "activity back_l rate 1 { input l; output s; }\n"
    "activity back_r rate 2 { input r; output s; }\n"
    "reward both { impulse left = 2 + s; impulse right = 5; }\n"
    "reward queue { rate l + 2 * r; impulse go = a; }\n";

TEST(SanSourceTest, ExpansionsEndAtTheExploredMarking) {
  const ModelRow rows[] = {
      // No instantaneous actions: every firing is undone place by place.
      {"kanban", [] { return MakeKanbanModel(2); }},
      // Zero-time choices among several branches.
      {"fms", [] { return MakeFmsModel(1); }},
      // ... whose impulses replay the state's firings for each record.
      {"zero-time impulses", [] { return TextModel(kZeroTimeChoiceModel); }},
      {"deterministic", [] { return TextModel(kRaceAndChoiceModel); }},
  };
  for (const ModelRow& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_GT(ExpectExpansionsEndAtTheExploredMarking(row.make), 1u);
  }
}

TEST(SanSourceTest, LateRewardRecordsEqualTheFilledOnes) {
  const ModelRow rows[] = {
      // Impulses of the firing that reached the state, in the record itself.
      {"impulses per firing", UpDownWithImpulses},
      // Zero-time choices whose impulses become rates of the stable state
      // that sets them off: its firings are replayed for each record.
      {"zero-time impulses", [] { return TextModel(kZeroTimeChoiceModel); }},
      // Compiled models: rate rewards, and zero-time firings in FMS.
      {"kanban", [] { return MakeKanbanModel(1); }},
      {"fms", [] { return MakeFmsModel(1); }},
      // Deterministic mode: a delay racing an exponential firing, then a
      // zero-time choice.
      {"deterministic", [] { return TextModel(kRaceAndChoiceModel); }},
  };
  for (const ModelRow& row : rows) {
    SCOPED_TRACE(row.name);
    const Explored explored = ExpectLateRecordsEqualEager(row.make);
    // Not vacuous: records were left, and they hold more than zeros.
    EXPECT_GT(explored.deferred, 0u);
    EXPECT_EQ(explored.deferred, explored.successors);
    EXPECT_GT(explored.nonzero_values, 0u);
  }
}

}  // namespace
