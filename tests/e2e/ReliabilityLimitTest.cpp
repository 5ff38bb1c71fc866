// The store's limit reached by a whole generation: the run must end with
// the limit error rather than wrap state numbers or corrupt the table.

#include <cstdlib>
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

// A chain 1 -> 2 -> 3 -> ... of more states than the store holds: a
// two-digit counter in base 10000 over two places (a four-byte image).
std::unique_ptr<TestModel> LongChain() {
  auto model = std::make_unique<TestModel>();
  Place& low = model->AddPlace("low");
  Place& high = model->AddPlace("high");
  model->AddExponential("count", 1.0)
      .Does([&low, &high] {
        if (low.getMark() == 9999) {
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

TEST(ReliabilityLimitTest, PassingTheStoreLimitIsAClearError) {
#ifndef NDEBUG
  // About 12 seconds optimised, several minutes without optimisation.
  GTEST_SKIP() << "12.8 million states need an optimised (Release) build";
#endif
  // The files would take half a gigabyte; only the outcome matters here, so
  // the explorer writes into a stream that drops everything.
  EXPECT_EXIT(
      {
        TestPVModel pv_model(LongChain());
        TraceFileContainer trace;
        SanSource source(pv_model, trace, 0);
        ExplorationMode mode = ExplorationMode::kNormal;
        if (!source.ChooseMode(&mode).ok) std::_Exit(3);
        std::ostream nowhere(nullptr);
        StateSpaceFile arm(nowhere);
        RewardValuesFile var(nowhere, {}, true);
        StateSpaceGen generator(source, 0.5);
        StateSpaceGen::Output output;
        output.arm = &arm;
        output.var = &var;
        output.progress = &nowhere;
        if (!generator.GenStateSpace(output).ok) std::_Exit(4);
      },
      testing::ExitedWithCode(1),
      "state number 12800000 is outside 1..12799999, the states the store "
      "can hold");
}

}  // namespace
