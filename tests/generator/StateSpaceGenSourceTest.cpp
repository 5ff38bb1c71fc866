// The explorer driven by synthetic next-state sources, with the writers on
// string streams: numbering, merging, reward records, absorbing reports,
// enabling delays and failures, independent of any SAN model.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "generator/StateSpaceGen.h"
#include "gtest/gtest.h"
#include "output/Formats.h"
#include "tests/support/SlowSink.h"

namespace {

std::uint32_t Level(const char* image) {
  std::uint32_t level = 0;
  std::memcpy(&level, image, sizeof level);
  return level;
}

std::string Rate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10e", value);
  return text;
}

// A birth-death chain on levels 0..size-1: birth at rate `birth`, death at
// rate `death` times the level. One reward variable: the level as rate
// reward, the level the firing came from as impulse.
class BirthDeath : public NextStateSource {
 public:
  BirthDeath(std::uint32_t size, double birth, double death)
      : size_(size), birth_(birth), death_(death) {}

  std::size_t StateSize() const override { return sizeof(std::uint32_t); }
  std::vector<RewardVariableType> RewardTypes() const override {
    return {{"level", 1, {}, {}}};
  }
  Status ChooseMode(ExplorationMode* mode) override {
    *mode = ExplorationMode::kNormal;
    return Status::Ok();
  }
  Status Initial(char* image, double* rewards) override {
    const std::uint32_t zero = 0;
    std::memcpy(image, &zero, sizeof zero);
    rewards[0] = 0.0;
    rewards[1] = 0.0;
    return Status::Ok();
  }
  Status Expand(std::uint32_t /*number*/, const char* image,
                Successors& out) override {
    const std::uint32_t level = Level(image);
    if (level + 1 < size_) Report(out, level, level + 1, birth_);
    if (level > 0) Report(out, level, level - 1, death_ * level);
    return Status::Ok();
  }
  void ReportAbsorbing(std::uint32_t number, const char*) override {
    absorbing.push_back(number);
  }

  std::vector<std::uint32_t> absorbing;
  // The level whose rate reward is `odd_reward` instead.
  std::uint32_t odd_level = 0xFFFFFFFF;
  double odd_reward = 0.0;

 private:
  void Report(Successors& out, std::uint32_t from, std::uint32_t to,
              double rate) const {
    char image[sizeof to];
    std::memcpy(image, &to, sizeof to);
    double* rewards = out.Add(image, rate);
    rewards[0] = from;
    rewards[1] = to == odd_level ? odd_reward : to;
  }

  std::uint32_t size_;
  double birth_;
  double death_;
};

struct Written {
  Status status;
  std::string arm;
  std::string var;
  std::string progress;
  std::uint32_t states = 0;
};

Written Explore(StateSpaceGen& generator, bool report_absorbing = false) {
  std::ostringstream arm_text;
  std::ostringstream var_text;
  std::ostringstream progress;
  Written written;
  {
    StateSpaceFile arm(arm_text);
    RewardValuesFile var(var_text, {"level"}, true);
    StateSpaceGen::Output output;
    output.arm = &arm;
    output.var = &var;
    output.progress = &progress;
    output.report_absorbing = report_absorbing;
    written.status = generator.GenStateSpace(output);
    written.states = generator.NumStates();
  }
  written.arm = arm_text.str();
  written.var = var_text.str();
  written.progress = progress.str();
  return written;
}

Written Explore(NextStateSource& source, double hash_value = 0.5,
                bool report_absorbing = false) {
  StateSpaceGen generator(source, hash_value);
  return Explore(generator, report_absorbing);
}

TEST(StateSpaceGenSourceTest, BirthDeathChainHasItsClosedForm) {
  for (std::uint32_t size : {1u, 2u, 5u, 1001u}) {
    SCOPED_TRACE("levels " + std::to_string(size));
    BirthDeath source(size, 2.0, 0.75);
    const Written w = Explore(source);
    ASSERT_TRUE(w.status.ok) << w.status.message;
    EXPECT_EQ(w.states, size);
    // Level k is state k + 1: breadth first, one new state per level.
    std::string arm;
    std::string var = "level\n1\n0\n0\n";
    for (std::uint32_t k = 0; k < size; ++k) {
      arm += std::to_string(k + 1) + "\n";
      if (k > 0) arm += std::to_string(k) + "\n" + Rate(0.75 * k) + "\n";
      if (k + 1 < size) {
        arm += std::to_string(k + 2) + "\n" + Rate(2.0) + "\n";
        var += std::to_string(k + 2) + "\n" + std::to_string(k) + "\n" +
               std::to_string(k + 1) + "\n";
      }
      arm += "0\n";
    }
    EXPECT_EQ(w.arm, arm);
    EXPECT_EQ(w.var, var);
    EXPECT_EQ(w.progress, size > 1000 ? "_$1000$\n" : "");
  }
}

// A reward no solver could read stops the exploration before its record
// is written, naming the variable, the value and the state.
TEST(StateSpaceGenSourceTest, ARewardThatIsNotAFiniteNumberStops) {
  for (double odd : {INFINITY, -INFINITY, NAN}) {
    SCOPED_TRACE(odd);
    BirthDeath source(5, 2.0, 0.75);
    source.odd_level = 2;
    source.odd_reward = odd;
    const Written w = Explore(source);
    EXPECT_FALSE(w.status.ok);
    std::ostringstream value;
    value << odd;
    EXPECT_EQ(w.status.message,
              "Error: the rate reward of reward variable level is " +
                  value.str() + " in state 3; it must be a finite number\n");
    EXPECT_EQ(w.var, "level\n1\n0\n0\n2\n0\n1\n");
  }
}

TEST(StateSpaceGenSourceTest, LoadFactorDoesNotChangeTheChain) {
  BirthDeath reference_source(300, 1.5, 0.5);
  const Written reference = Explore(reference_source);
  for (double load : {0.1, 0.9}) {
    BirthDeath source(300, 1.5, 0.5);
    const Written w = Explore(source, load);
    EXPECT_EQ(w.arm, reference.arm) << load;
    EXPECT_EQ(w.var, reference.var) << load;
  }
}

// The birth-death chain without deaths: the top level has no transition.
class PureBirth : public BirthDeath {
 public:
  PureBirth() : BirthDeath(3, 1.0, 1.0) {}
  Status Expand(std::uint32_t number, const char* image,
                Successors& out) override {
    if (Level(image) + 1 < 3) return BirthDeath::Expand(number, image, out);
    return Status::Ok();
  }
};

TEST(StateSpaceGenSourceTest, OnlyStatesWithoutTransitionsAreAbsorbing) {
  PureBirth reported;
  Explore(reported, 0.5, /*report_absorbing=*/true);
  EXPECT_EQ(reported.absorbing, std::vector<std::uint32_t>{3});
  PureBirth quiet;
  Explore(quiet, 0.5, /*report_absorbing=*/false);
  EXPECT_TRUE(quiet.absorbing.empty());
}

// Reports, per state, several transitions into the same targets and one
// deterministic delay; fails while expanding state `fail_at`.
class Repeating : public NextStateSource {
 public:
  explicit Repeating(std::uint32_t fail_at) : fail_at_(fail_at) {}
  std::size_t StateSize() const override { return 1; }
  std::vector<RewardVariableType> RewardTypes() const override {
    return {{"level", 1, {}, {}}};
  }
  Status ChooseMode(ExplorationMode* mode) override {
    *mode = ExplorationMode::kDeterministic;
    return Status::Ok();
  }
  Status Initial(char* image, double* rewards) override {
    image[0] = 'a';
    rewards[0] = rewards[1] = 0.0;
    return Status::Ok();
  }
  Status Expand(std::uint32_t number, const char* image,
                Successors& out) override {
    if (number == fail_at_) return Status::Error("broken\n");
    const char next = image[0] == 'a' ? 'b' : 'a';
    // Values into one target are summed in the order they are reported.
    for (double value : {0.1, 0.2, -0.25}) {
      double* rewards = out.Add(&next, value);
      rewards[0] = rewards[1] = 1.0;
    }
    double* rewards = out.Add(image, 1e-3);
    rewards[0] = rewards[1] = 2.0;
    out.AddDelay(number == 1 ? 5.0 : 7.0);
    return Status::Ok();
  }
  void ReportAbsorbing(std::uint32_t, const char*) override {}

 private:
  std::uint32_t fail_at_;
};

TEST(StateSpaceGenSourceTest, ValuesIntoOneTargetAreSummedInReportOrder) {
  Repeating source(0);
  StateSpaceGen generator(source, 0.5);
  const Written w = Explore(generator);
  ASSERT_TRUE(w.status.ok) << w.status.message;
  const std::string sum = Rate((0.1 + 0.2) + -0.25);
  EXPECT_EQ(w.arm, "1\n1\n" + Rate(1e-3) + "\n2\n" + sum + "\n0\n" + "2\n1\n" +
                       sum + "\n2\n" + Rate(1e-3) + "\n0\n");
  // State 2 got its record from the first report that reached it.
  EXPECT_EQ(w.var, "level\n1\n0\n0\n2\n1\n1\n");
  std::ostringstream det;
  generator.EnablingStates().writeEnablingStates(det, kTextOutputFile);
  EXPECT_EQ(det.str(), "2\n" + Rate(5.0) + "\n1\n0\n" + Rate(7.0) + "\n2\n0\n");
}

TEST(StateSpaceGenSourceTest, FailureStopsAndKeepsWhatWasWritten) {
  Repeating source(2);
  const Written w = Explore(source);
  EXPECT_FALSE(w.status.ok);
  EXPECT_EQ(w.status.message, "broken\n");
  // State 1's block is complete; state 2 was numbered and recorded.
  EXPECT_EQ(w.arm, "1\n1\n" + Rate(1e-3) + "\n2\n" + Rate((0.1 + 0.2) + -0.25) +
                       "\n0\n");
  EXPECT_EQ(w.var, "level\n1\n0\n0\n2\n1\n1\n");
}

TEST(StateSpaceGenSourceTest, AStateLimitEndsTheExplorationWithItsReason) {
  BirthDeath source(10, 2.0, 0.75);
  StateSpaceGen generator(source, 0.5);
  generator.LimitStates(4, "the test's limit");
  const Written w = Explore(generator);
  EXPECT_FALSE(w.status.ok);
  EXPECT_EQ(w.status.message,
            "Hash:  Error:  cannot number state 5: state numbers end at 4, "
            "the test's limit\n");
  EXPECT_EQ(w.status.exit_code, 1);
  EXPECT_EQ(w.states, 4u);
}

// Explores with the blocks and records going through a chain of small
// chunks to slow sinks; the .arm sink fails after `arm_limit` bytes, and
// write_status then reports "disk full".
Written ExploreThroughChain(NextStateSource& source, ChainWriter::Mode mode,
                            std::size_t arm_limit = SIZE_MAX) {
  SlowSink arm_sink(arm_limit), var_sink;
  std::ostream arm_stream(&arm_sink), var_stream(&var_sink);
  std::ostringstream progress;
  StateSpaceGen generator(source, 0.5);
  Written written;
  {
    StateSpaceFile arm(arm_stream);
    RewardValuesFile var(var_stream, {"level"}, true);
    ChainWriter chain(arm, var, mode, 2048, 3);
    StateSpaceGen::Output output;
    output.chain = &chain;
    output.progress = &progress;
    // The streams are the chain's until it has stopped: asked only then.
    output.write_status = [&chain] {
      EXPECT_TRUE(chain.Failed());
      return Status::Error("disk full\n");
    };
    written.status = generator.GenStateSpace(output);
    written.states = generator.NumStates();
    EXPECT_EQ(chain.Close(), arm_limit == SIZE_MAX);
  }
  arm_stream.flush();
  var_stream.flush();
  written.arm = arm_sink.text();
  written.var = var_sink.text();
  written.progress = progress.str();
  return written;
}

TEST(StateSpaceGenSourceTest, ChainWritesTheSameFilesAndStopsOnAFailedWrite) {
  for (auto mode :
       {ChainWriter::Mode::kThreaded, ChainWriter::Mode::kSynchronous}) {
    SCOPED_TRACE("mode " + std::to_string(int(mode)));
    BirthDeath direct_source(20000, 2.0, 0.75);
    const Written direct = Explore(direct_source);
    BirthDeath source(20000, 2.0, 0.75);
    const Written chained = ExploreThroughChain(source, mode);
    ASSERT_TRUE(chained.status.ok) << chained.status.message;
    EXPECT_EQ(chained.states, direct.states);
    EXPECT_TRUE(chained.arm == direct.arm);
    EXPECT_TRUE(chained.var == direct.var);
    EXPECT_EQ(chained.progress, direct.progress);

    // Of two million states, the first 30,000 bytes of .arm hold fewer
    // than a thousand, and the chunks in flight a few hundred more.
    BirthDeath big(2000000, 2.0, 0.75);
    const Written failed = ExploreThroughChain(big, mode, 30000);
    EXPECT_EQ(failed.status.message, "disk full\n");
    EXPECT_LT(failed.states, 5000u);
  }
}

}  // namespace
