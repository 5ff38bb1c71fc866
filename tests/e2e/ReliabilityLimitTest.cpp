// The store past the state count its entries once held (2^24 - 1 numbers
// beside an 8-bit block index): a whole generation must number every state
// once, find the old ones again and report the right count.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "generator/StateSpaceGen.h"
#include "gtest/gtest.h"
#include "output/RewardValuesFile.h"
#include "output/StateSpaceFile.h"
#include "sansource/SanSource.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/TestModel.h"
#include "trace/TraceFileContainer.h"

namespace {

constexpr int kBase = 10000;

// A ring 1 -> 2 -> ... -> states -> 1: a two-digit counter in base 10000
// over two places (a four-byte image) that returns to zero from its last
// value, so that the last state's successor is a lookup of state 1.
std::unique_ptr<TestModel> Ring(int states) {
  const int last = states - 1;
  auto model = std::make_unique<TestModel>();
  Place& low = model->AddPlace("low");
  Place& high = model->AddPlace("high");
  model->AddExponential("count", 1.0)
      .Does([&low, &high, last] {
        if (high.getMark() * kBase + low.getMark() == last) {
          low.setMark(0);
          high.setMark(0);
        } else if (low.getMark() == kBase - 1) {
          low.setMark(0);
          high.setMark(static_cast<short>(high.getMark() + 1));
        } else {
          low.setMark(static_cast<short>(low.getMark() + 1));
        }
      })
      .Changes({&low, &high});
  model->Finish();
  return model;
}

TEST(ReliabilityLimitTest, MoreStatesThanTwentyFourBitNumbers) {
#ifndef NDEBUG
  // About 15 seconds optimised, several minutes without optimisation.
  GTEST_SKIP() << "16.8 million states need an optimised (Release) build";
#endif
  constexpr int kStates = (1 << 24) + 100;
  // The files would take most of a gigabyte; the count and the outcome
  // matter here, and the files' bytes are checked on small models
  // elsewhere, so the explorer writes into a stream that drops everything.
  TestPVModel pv_model(Ring(kStates));
  TraceFileContainer trace;
  SanSource source(pv_model, trace, 0);
  ExplorationMode mode = ExplorationMode::kNormal;
  ASSERT_TRUE(source.ChooseMode(&mode).ok);
  std::ostream nowhere(nullptr);
  StateSpaceFile arm(nowhere);
  RewardValuesFile var(nowhere, {}, true);
  StateSpaceGen generator(source, 0.5);
  StateSpaceGen::Output output;
  output.arm = &arm;
  output.var = &var;
  output.progress = &nowhere;
  const Status status = generator.GenStateSpace(output);
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(generator.NumStates(), static_cast<std::uint32_t>(kStates));
  EXPECT_EQ(generator.StatesWritten(), static_cast<std::uint32_t>(kStates));
}

}  // namespace
