// The store past the state count its entries once held (2^24 - 1 numbers
// beside an 8-bit block index): a whole generation must number every state
// once, find the old ones again and report the right count.

#include <unistd.h>

#include <memory>
#include <string>

#include "generator/StateSpaceGen.h"
#include "gtest/gtest.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/RunProcess.h"
#include "tests/support/TestModel.h"

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
  ScopedTempDir dir;
  // The files would take most of a gigabyte; the count and the outcome
  // matter here, and the files' bytes are checked on small models elsewhere.
  for (const char* suffix : {".arm", ".var"}) {
    const std::string link = dir.path() + "/m" + suffix;
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0) << link;
  }
  GenerateOptions options;
  options.directory = dir.path() + "/";
  const std::string out = Generate(Ring(kStates), options).out;
  EXPECT_NE(out.find("\nGenerated: " + std::to_string(kStates) + " states\n"),
            std::string::npos)
      << out.substr(out.size() > 300 ? out.size() - 300 : 0);
}

}  // namespace
