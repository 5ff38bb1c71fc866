// Whole generations inside the test process, for the memory checker: CI runs
// this suite under valgrind, which must find no error and no lost block.
// The runs of the built gen are checked by valgrind on gen itself.

#include <memory>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/GeneratorHarness.h"
#include "tests/support/TestModel.h"

namespace {

void Move(TestActivity& activity, Place& from, Place& to) {
  activity.When([&from] { return from.getMark() > 0; })
      .Does([&from, &to] {
        from.setMark(static_cast<short>(from.getMark() - 1));
        to.setMark(static_cast<short>(to.getMark() + 1));
      })
      .Reads({&from})
      .Changes({&from, &to});
}

// A deterministic delay into a vanishing state that two instantaneous
// actions leave, and exponential returns: every writer of the
// deterministic mode (.arm, .var, .det) and the zero-time levels are used.
TEST(ReliabilityMemoryTest, DeterministicGenerationReleasesEverything) {
  auto model = std::make_unique<TestModel>();
  Place& idle = model->AddPlace("idle", 2);
  Place& hub = model->AddPlace("hub");
  Place& left = model->AddPlace("left");
  Place& right = model->AddPlace("right");
  Move(model->AddDeterministic("tick", 2.0), idle, hub);
  Move(model->AddInstantaneous("go_left").WithWeight(1.0), hub, left);
  Move(model->AddInstantaneous("go_right").WithWeight(3.0), hub, right);
  Move(model->AddExponential("back_left", 0.5), left, idle);
  Move(model->AddExponential("back_right", 4.0), right, idle);
  model->Finish();

  GenerateOptions options;
  options.trace_level = 4;  // the trace objects are built and used too
  const Generated generated = Generate(std::move(model), options);
  // idle 2; one token out (2 ways); both out (3 ways).
  EXPECT_NE(generated.out.find("Generated: 6 states\n"), std::string::npos)
      << generated.out;
  EXPECT_FALSE(generated.det.empty());
  EXPECT_FALSE(generated.arm.empty());
}

}  // namespace
