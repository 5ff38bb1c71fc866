// The explorer with helper threads against the explorer alone, on synthetic
// sources: the same files, progress lines and first error for any number of
// helpers, and the count of a chain past 2^24 states.

#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "base/Fatal.h"
#include "generator/StateSpaceGen.h"
#include "gtest/gtest.h"
#include "output/Formats.h"

namespace {

struct Cell {
  std::uint32_t x;
  std::uint32_t y;
};

// A torus of width x height cells. From (x, y): right at rate 1, up at rate
// 2, and, unless lean, two reports into (x, y) + (1, 1) whose rates must be
// summed and, for cells with x == 0, a deterministic delay of y + 1. Expanding the state
// numbered `status_at` fails with a status, the one numbered `fatal_at`
// ends the process (0: never).
class Torus : public NextStateSource {
 public:
  Torus(std::uint32_t width, std::uint32_t height, bool lean = false)
      : width_(width), height_(height), lean_(lean) {}
  void FailAt(std::uint32_t status_at, std::uint32_t fatal_at) {
    status_at_ = status_at;
    fatal_at_ = fatal_at;
  }

  std::size_t StateSize() const override { return sizeof(Cell); }
  std::vector<RewardVariableType> RewardTypes() const override {
    return {{"x", 1, {}, {}}};
  }
  Status ChooseMode(ExplorationMode* mode) override {
    *mode = ExplorationMode::kNormal;
    return Status::Ok();
  }
  Status Initial(char* image, double* rewards) override {
    const Cell origin{0, 0};
    std::memcpy(image, &origin, sizeof origin);
    rewards[0] = rewards[1] = 0.0;
    return Status::Ok();
  }
  Status Expand(std::uint32_t number, const char* image,
                Successors& out) override {
    if (number == status_at_) {
      return Status::Error("broken at " + std::to_string(number) + "\n");
    }
    if (number == fatal_at_) {
      FatalError(std::cerr, "fatal at " + std::to_string(number) + "\n");
    }
    Cell cell;
    std::memcpy(&cell, image, sizeof cell);
    Report(out, {(cell.x + 1) % width_, cell.y}, 1.0);
    Report(out, {cell.x, (cell.y + 1) % height_}, 2.0);
    if (lean_) return Status::Ok();
    for (double rate : {0.1, 0.7}) {
      Report(out, {(cell.x + 1) % width_, (cell.y + 1) % height_}, rate);
    }
    if (cell.x == 0) out.AddDelay(cell.y + 1.0);
    return Status::Ok();
  }
  void ReportAbsorbing(std::uint32_t, const char*) override {}

 private:
  static void Report(Successors& out, Cell cell, double rate) {
    char image[sizeof cell];
    std::memcpy(image, &cell, sizeof cell);
    double* rewards = out.Add(image, rate);
    rewards[0] = 0.5;
    rewards[1] = cell.x;
  }

  std::uint32_t width_;
  std::uint32_t height_;
  bool lean_;
  std::uint32_t status_at_ = 0;
  std::uint32_t fatal_at_ = 0;
};

struct Written {
  Status status;
  std::string arm;
  std::string var;
  std::string progress;
  std::string enabling;
  std::uint32_t states = 0;
};

// Explores a torus with `helpers` helper threads (0: alone).
Written Explore(std::uint32_t width, std::uint32_t height, int helpers,
                std::uint32_t status_at = 0, std::uint32_t fatal_at = 0,
                std::uint32_t max_states = 0) {
  Torus source(width, height);
  source.FailAt(status_at, fatal_at);
  std::vector<std::unique_ptr<Torus>> helper_sources;
  std::vector<NextStateSource*> pointers;
  for (int i = 0; i < helpers; ++i) {
    helper_sources.push_back(std::make_unique<Torus>(width, height));
    helper_sources.back()->FailAt(status_at, fatal_at);
    pointers.push_back(helper_sources.back().get());
  }
  std::ostringstream arm_text;
  std::ostringstream var_text;
  std::ostringstream progress;
  std::ostringstream enabling;
  Written written;
  {
    StateSpaceGen generator(source, 0.5);
    generator.UseHelpers(pointers);
    if (max_states != 0) generator.LimitStates(max_states, "a test's limit");
    StateSpaceFile arm(arm_text);
    RewardValuesFile var(var_text, {"x"}, true);
    StateSpaceGen::Output output;
    output.arm = &arm;
    output.var = &var;
    output.progress = &progress;
    written.status = generator.GenStateSpace(output);
    written.states = generator.NumStates();
    generator.EnablingStates().writeEnablingStates(enabling, kTextOutputFile);
  }
  written.arm = arm_text.str();
  written.var = var_text.str();
  written.progress = progress.str();
  written.enabling = enabling.str();
  return written;
}

TEST(StateSpaceGenParallelTest, HelpersWriteTheFilesOfOneThread) {
  // From one state (no batch fills) to tori whose frontier fills many
  // batches at once; 1201 x 3 crosses the progress interval. In 300 x 300
  // the store widens to x's second byte at x = 256, with hundreds of
  // numbered states waiting for a batch: they are taken from the store.
  const struct {
    std::uint32_t width;
    std::uint32_t height;
  } sizes[] = {{1, 1}, {2, 3}, {37, 41}, {1201, 3}, {300, 300}};
  for (const auto& size : sizes) {
    const Written alone = Explore(size.width, size.height, 0);
    ASSERT_TRUE(alone.status.ok) << alone.status.message;
    ASSERT_EQ(alone.states, size.width * size.height);
    for (int helpers : {1, 2, 7}) {
      SCOPED_TRACE(std::to_string(size.width) + " x " +
                   std::to_string(size.height) + ", helpers " +
                   std::to_string(helpers));
      const Written shared = Explore(size.width, size.height, helpers);
      ASSERT_TRUE(shared.status.ok) << shared.status.message;
      EXPECT_EQ(shared.states, alone.states);
      EXPECT_EQ(shared.arm, alone.arm);
      EXPECT_EQ(shared.var, alone.var);
      EXPECT_EQ(shared.progress, alone.progress);
      EXPECT_EQ(shared.enabling, alone.enabling);
    }
  }
}

TEST(StateSpaceGenParallelTest, TheFirstErrorIsTheOneOfOneThread) {
  // A failing expansion, the state limit reached before it, and a failure
  // in the first state.
  const struct {
    std::uint32_t status_at;
    std::uint32_t max_states;
    const char* message;
  } rows[] = {
      {900, 0, "broken at 900\n"},
      {900, 600, "cannot number state 601"},
      {1, 0, "broken at 1\n"},
  };
  for (const auto& row : rows) {
    const Written alone = Explore(60, 60, 0, row.status_at, 0, row.max_states);
    ASSERT_FALSE(alone.status.ok);
    ASSERT_NE(alone.status.message.find(row.message), std::string::npos)
        << alone.status.message;
    for (int helpers : {1, 3}) {
      SCOPED_TRACE(std::string(row.message) + ", helpers " +
                   std::to_string(helpers));
      const Written shared =
          Explore(60, 60, helpers, row.status_at, 0, row.max_states);
      EXPECT_FALSE(shared.status.ok);
      EXPECT_EQ(shared.status.message, alone.status.message);
      EXPECT_EQ(shared.progress, alone.progress);
      EXPECT_EQ(shared.arm, alone.arm);
      EXPECT_EQ(shared.var, alone.var);
    }
  }
}

// A fatal error raised inside a helper's expansion ends the run only when
// the run's thread reaches its state; an earlier failure wins over it.
void ExploreOrExit(int helpers, std::uint32_t status_at,
                   std::uint32_t fatal_at) {
  const Written written = Explore(60, 60, helpers, status_at, fatal_at);
  if (!written.status.ok) FatalError(written.status);
  std::_Exit(0);
}

TEST(StateSpaceGenParallelTest, FatalErrorsOfHelpersWaitForTheirState) {
  // The child runs the test from the start: no thread is forked mid-way.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int helpers : {0, 1, 3}) {
    SCOPED_TRACE("helpers " + std::to_string(helpers));
    EXPECT_EXIT(ExploreOrExit(helpers, 0, 700), testing::ExitedWithCode(1),
                "^fatal at 700\n$");
    EXPECT_EXIT(ExploreOrExit(helpers, 650, 700), testing::ExitedWithCode(1),
                "^broken at 650\n$");
  }
}

// Discards everything: the large chain is counted, not kept.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

TEST(StateSpaceGenParallelTest, ChainPastTwoToTheTwentyFourStates) {
#ifndef NDEBUG
  GTEST_SKIP() << "counted in optimised builds only";
#endif
  // 4097 x 4096 = 16,781,312 states: numbers outgrow the store's 24-bit
  // tags while two threads explore.
  constexpr std::uint32_t kWidth = 4097;
  constexpr std::uint32_t kHeight = 4096;
  Torus source(kWidth, kHeight, true);
  Torus helper(kWidth, kHeight, true);
  NullBuffer discard;
  std::ostream sink(&discard);
  StateSpaceGen generator(source, 0.5);
  generator.UseHelpers({&helper});
  StateSpaceFile arm(sink);
  RewardValuesFile var(sink, {"x"}, false);
  StateSpaceGen::Output output;
  output.arm = &arm;
  output.var = &var;
  output.progress = &sink;
  const Status status = generator.GenStateSpace(output);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(generator.NumStates(), kWidth * kHeight);
  EXPECT_EQ(generator.StatesWritten(), kWidth * kHeight);
}

}  // namespace
