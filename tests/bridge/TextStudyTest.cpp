// The study of a text model: experiments, the listing gen prints, and
// overrides of int and real globals.

#include "bridge/TextStudy.h"

#include <string>

#include "gtest/gtest.h"
#include "lang/Parser.h"

namespace {

ModelIr Model() {
  const std::string text =
      "global int n = 2; global real x = 0.5;\n"
      "study s { experiment { n = 3; } sweep x in [1.5, 2.5]; }\n"
      "place a = n;\n";
  ParseResult parsed = LoadModelText(text, "s.san");
  EXPECT_TRUE(parsed.errors.empty());
  return std::move(parsed.model);
}

TEST(TextStudyTest, ExperimentsStartFromTheDefaults) {
  const ModelIr model = Model();
  TextStudy study(model);
  ASSERT_EQ(study.GetNumExps(), 3);
  study.SetGVs(0);
  EXPECT_EQ(study.values(), (std::vector<double>{3.0, 0.5}));
  study.SetGVs(2);  // n back to its default, x from the sweep
  EXPECT_EQ(study.values(), (std::vector<double>{2.0, 2.5}));
  testing::internal::CaptureStdout();
  study.PrintGlobalValues(1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "The Global Variable values for experiment Experiment 2 are:\n"
            "n\tint\t2\n"
            "x\tdouble\t1.5\n");
}

TEST(TextStudyTest, OverridesRespectTheGlobalsTypes) {
  struct Row {
    const char* overrides;
    double n;
    double x;
    const char* error;  // start of the standard error text or of the
                        // refusal, or ""
  };
  // Experiment 1: n = 2, x = 1.5.
  const Row rows[] = {
      {"d:n:7:d:x:0.25", 7.0, 0.25, ""},
      {"i:n:-4", -4.0, 1.5, ""},
      {"d:n:2.5", 2.0, 1.5,
       "Error: override of int variable n: value 2.5 is not a whole number"},
      {"d:y:1", 2.0, 1.5,
       "!! s::OverrideGVValue: Global Variable y does not exist.\n"},
  };
  const ModelIr model = Model();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.overrides);
    TextStudy study(model);
    study.SetGVs(1);
    testing::internal::CaptureStderr();
    const Status status = study.overrideGVs(row.overrides);
    const std::string err =
        testing::internal::GetCapturedStderr() + status.message;
    EXPECT_EQ(study.values(), (std::vector<double>{row.n, row.x}));
    EXPECT_EQ(err.rfind(row.error, 0), 0u) << err;
  }
}

}  // namespace
