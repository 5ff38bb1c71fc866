#include <cmath>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "study/BaseStudyClass.h"
#include "study/GlobalVariables.h"
#include "study/test_execution_rate_G_SetStudySetStudy.h"

namespace {

// An override string applied to experiment 0, with what it printed.
struct Overridden {
  Status status;
  std::string out;
  std::string err;
};

Overridden OverrideFromExperiment0(BaseStudyClass& study, const char* text) {
  study.SetGVs(0);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Overridden result{study.overrideGVs(text), "", ""};
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

class StudyTest : public testing::Test {
 protected:
  void SetUp() override {
    DestructStudy();
    pperm_fault_G = 0.0;
    safe_restore_rate_G = 0.0;
    test_execution_rate_G = 0.0;
  }
  void TearDown() override { DestructStudy(); }
};

TEST_F(StudyTest, SetGVsTakesTheExperimentsColumnValues) {
  BaseStudyClass* study = GenerateStudy();
  // 10000 belongs to the second experiment, not the last.
  const std::vector<std::pair<int, double>> rows = {
      {0, 1000.0}, {1, 10000.0}, {2, 2000.0}, {8, 8000.0}, {9, 9000.0}};
  for (const auto& [experiment, rate] : rows) {
    SCOPED_TRACE(experiment);
    study->SetGVs(experiment);
    EXPECT_EQ(pperm_fault_G, 0.1);
    EXPECT_EQ(safe_restore_rate_G, 10.0);
    EXPECT_EQ(test_execution_rate_G, rate);
  }
}

TEST_F(StudyTest, PrintGlobalValuesSetsAndListsTheExperiment) {
  BaseStudyClass* study = GenerateStudy();
  struct Row {
    int experiment;
    const char* listing;
  };
  const Row rows[] = {
      {0,
       "The Global Variable values for experiment Experiment 1 are:\n"
       "pperm_fault_G\tdouble\t0.1\n"
       "safe_restore_rate_G\tdouble\t10\n"
       "test_execution_rate_G\tdouble\t1000\n"},
      {1,
       "The Global Variable values for experiment Experiment 2 are:\n"
       "pperm_fault_G\tdouble\t0.1\n"
       "safe_restore_rate_G\tdouble\t10\n"
       "test_execution_rate_G\tdouble\t10000\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.experiment);
    test_execution_rate_G = 0.0;
    testing::internal::CaptureStdout();
    study->PrintGlobalValues(row.experiment);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.listing);
    EXPECT_EQ(test_execution_rate_G, row.experiment == 0 ? 1000.0 : 10000.0);
  }
}

TEST_F(StudyTest, ExperimentNamesCountFromOne) {
  EXPECT_STREQ(BaseStudyClass::GetExpName(0), "Experiment 1");
  EXPECT_STREQ(BaseStudyClass::GetExpName(9), "Experiment 10");
}

TEST_F(StudyTest, OneStudyUntilDestroyed) {
  BaseStudyClass* first = GenerateStudy();
  EXPECT_EQ(GenerateStudy(), first);
  EXPECT_EQ(GlobalStudyPtr, first);
  first->SetGVs(1);

  DestructStudy();
  EXPECT_EQ(GlobalStudyPtr, nullptr);
  DestructStudy();  // a second call does nothing
  EXPECT_EQ(test_execution_rate_G, 10000.0);

  BaseStudyClass* second = GenerateStudy();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GlobalStudyPtr, second);
  EXPECT_EQ(second->GetNumExps(), 10);
  EXPECT_EQ(test_execution_rate_G, 10000.0);  // generating sets nothing
}

TEST_F(StudyTest, OverrideStringEntries) {
  struct Row {
    const char* text;
    double pperm, safe, rate;  // after starting from experiment 0
    const char* out;
    const char* err;  // expected substring of standard error; "" for none
  };
  const Row rows[] = {
      {"d:pperm_fault_G:0.2:d:test_execution_rate_G:5000", 0.2, 10, 5000, "",
       ""},
      {"d::pperm_fault_G::0.5", 0.5, 10, 1000, "", ""},
      {":::d:pperm_fault_G:0.5:::", 0.5, 10, 1000, "", ""},
      {"double:safe_restore_rate_G:3", 0.1, 3, 1000, "", ""},
      {"d:pperm_fault_G:0.2:d:pperm_fault_G:0.3", 0.3, 10, 1000, "", ""},
      {"", 0.1, 10, 1000, "", ""},
      {"d:pperm_fault_G", 0.1, 10, 1000, "Not enough double override tokens",
       ""},
      {"d", 0.1, 10, 1000, "Not enough double override tokens", ""},
      {"d:pperm_fault_G:0.2:d:safe_restore_rate_G", 0.2, 10, 1000,
       "Not enough double override tokens", ""},
      {"x:pperm_fault_G:0.2:d:safe_restore_rate_G:4", 0.1, 4, 1000,
       "Type x not recognized\n", ""},
      {"d:nosuch:1", 0.1, 10, 1000, "",
       "!! test_execution_rate_G_SetStudySetStudy::OverrideGVValue: Global "
       "Variable nosuch does not exist.\n"},
      {"d:Pperm_fault_G:1", 0.1, 10, 1000, "", "Pperm_fault_G does not exist"},
      {"d:safe_restore_rate_G: 4 ", 0.1, 4, 1000, "", ""},
      {"f:pperm_fault_G:", 0.1, 10, 1000, "Not enough double override tokens",
       ""},
      // Values at the edges of their types.
      {"d:pperm_fault_G:1e-310", 1e-310, 10, 1000, "", ""},
      {"d:pperm_fault_G:0e999999", 0, 10, 1000, "", ""},
      {"d:pperm_fault_G:-0.0", 0, 10, 1000, "", ""},
      {"d:pperm_fault_G:1.7976931348623157e308", 1.7976931348623157e308, 10,
       1000, "", ""},
      {"i:test_execution_rate_G:2147483647", 0.1, 10, 2147483647, "", ""},
      // Other letters are widened to the variable's double.
      {"i:test_execution_rate_G:5000", 0.1, 10, 5000, "", ""},
      {"i:test_execution_rate_G:0x10", 0.1, 10, 16, "", ""},
      {"i:test_execution_rate_G:-0x7fffffff", 0.1, 10, -2147483647, "", ""},
      {"l:test_execution_rate_G:012", 0.1, 10, 10, "", ""},
      {"s:safe_restore_rate_G:-3", 0.1, -3, 1000, "", ""},
      {"b:safe_restore_rate_G:7", 0.1, 1, 1000, "", ""},
      {"f:pperm_fault_G:0.5", 0.5, 10, 1000, "", ""},
      {"c:test_execution_rate_G:A", 0.1, 10, 65, "", ""},
  };
  BaseStudyClass* study = GenerateStudy();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Overridden overridden = OverrideFromExperiment0(*study, row.text);
    EXPECT_TRUE(overridden.status.ok) << overridden.status.message;
    EXPECT_EQ(overridden.out, row.out);
    if (row.err[0] == '\0') {
      EXPECT_EQ(overridden.err, "");
    } else {
      EXPECT_NE(overridden.err.find(row.err), std::string::npos)
          << overridden.err;
    }
    EXPECT_EQ(pperm_fault_G, row.pperm);
    EXPECT_EQ(safe_restore_rate_G, row.safe);
    EXPECT_EQ(test_execution_rate_G, row.rate);
  }
  EXPECT_TRUE(study->overrideGVs(nullptr).ok);
  EXPECT_EQ(pperm_fault_G, 0.1);
}

// A value that is not a number of its type would run another model than the
// one asked for: the entry is named and the run must stop. The entries
// before it have been applied, none after it.
TEST_F(StudyTest, OverrideValuesThatStopTheRun) {
  struct Row {
    const char* text;
    const char* message;  // the whole line, or a part of it
  };
  const Row rows[] = {
      // An empty field shifts the fields after it: the second entry's type
      // letter becomes the first entry's value.
      {"d:test_execution_rate_G::d:pperm_fault_G:0.2",
       "Error: override entry 1 (d:test_execution_rate_G:d): value d does "
       "not scan with format %lf for type d\n"},
      {"d:pperm_fault_G:0.3:d:safe_restore_rate_G:abc:d:pperm_fault_G:0.4",
       "Error: override entry 2 (d:safe_restore_rate_G:abc): value abc does "
       "not scan with format %lf for type d\n"},
      {"d:pperm_fault_G:0.5x", "value 0.5x does not scan with format %lf"},
      {"i:test_execution_rate_G:x5", "value x5 does not scan with format %i"},
      {"i:test_execution_rate_G:0x", "value 0x does not scan"},
      {"double:pperm_fault_G:1e-400",
       "Error: override entry 1 (double:pperm_fault_G:1e-400): value 1e-400 "
       "is not 0 but scans to 0 for type d\n"},
      {"d:pperm_fault_G:-1e-400", "value -1e-400 is not 0 but scans to 0"},
      {"d:pperm_fault_G:1e400", "value 1e400 is beyond the range for type d\n"},
      {"d:pperm_fault_G:-1e400", "is beyond the range for type d"},
      {"f:pperm_fault_G:1e-50", "value 1e-50 is not 0 but scans to 0"},
      {"f:pperm_fault_G:1e39", "value 1e39 is beyond the range for type f"},
      // Integers outside their type are refused rather than wrapped.
      {"i:test_execution_rate_G:4294967296",
       "value 4294967296 is outside -2147483648..2147483647 for type i"},
      {"l:test_execution_rate_G:0x80000000",
       "is outside -2147483648..2147483647 for type l"},
      {"s:safe_restore_rate_G:32768",
       "value 32768 is outside -32768..32767 for type s"},
      {"b:safe_restore_rate_G:-32769", "is outside -32768..32767 for type b"},
      {"i:test_execution_rate_G:99999999999999999999", "is outside"},
  };
  BaseStudyClass* study = GenerateStudy();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Overridden overridden = OverrideFromExperiment0(*study, row.text);
    const Status& status = overridden.status;
    EXPECT_EQ(overridden.out, "");
    EXPECT_EQ(overridden.err, "");
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(row.message), std::string::npos)
        << status.message;
    EXPECT_EQ(status.message.back(), '\n');
    EXPECT_NE(pperm_fault_G, 0.4);
  }
  study->SetGVs(0);
  ASSERT_FALSE(study
                   ->overrideGVs("d:pperm_fault_G:0.3:d:pperm_fault_G:x:"
                                 "d:safe_restore_rate_G:4")
                   .ok);
  EXPECT_EQ(pperm_fault_G, 0.3);
  EXPECT_EQ(safe_restore_rate_G, 10.0);
}

// Inf and nan written as such reach the variable; the model refuses them
// where a rate or a weight uses them.
TEST_F(StudyTest, OverrideKeepsNonFiniteValues) {
  BaseStudyClass* study = GenerateStudy();
  study->SetGVs(0);
  ASSERT_TRUE(study
                  ->overrideGVs("d:pperm_fault_G:nan:d:safe_restore_rate_G:"
                                "inf:d:test_execution_rate_G:-Infinity")
                  .ok);
  EXPECT_TRUE(std::isnan(pperm_fault_G));
  EXPECT_EQ(safe_restore_rate_G, HUGE_VAL);
  EXPECT_EQ(test_execution_rate_G, -HUGE_VAL);
}

TEST_F(StudyTest, GetGVValueFindsVariablesByExactName) {
  BaseStudyClass* study = GenerateStudy();
  EXPECT_EQ(study->GetGVValue("pperm_fault_G"), &pperm_fault_G);
  EXPECT_EQ(study->GetGVValue("safe_restore_rate_G"), &safe_restore_rate_G);
  EXPECT_EQ(study->GetGVValue("test_execution_rate_G"), &test_execution_rate_G);

  testing::internal::CaptureStderr();
  EXPECT_EQ(study->GetGVValue("pperm_fault"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "!! test_execution_rate_G_SetStudySetStudy::GetGVValue: Global "
            "Variable pperm_fault does not exist.\n");
}

TEST_F(StudyTest, OutOfRangeExperimentBreaksTheContract) {
  BaseStudyClass* study = GenerateStudy();
  EXPECT_DEATH(study->SetGVs(10), "experiment < NumExps");
  EXPECT_DEATH(study->SetGVs(-1), "experiment >= 0");
}

}  // namespace
