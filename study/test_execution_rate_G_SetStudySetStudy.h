#ifndef GEN_STUDY_TEST_EXECUTION_RATE_G_SETSTUDYSETSTUDY_H_
#define GEN_STUDY_TEST_EXECUTION_RATE_G_SETSTUDYSETSTUDY_H_

#include <vector>

#include "study/BaseStudyClass.h"

// The compiled-in study: ten experiments over the three global variables of
// the failure model (pperm_fault_G, safe_restore_rate_G,
// test_execution_rate_G, all double).
class test_execution_rate_G_SetStudySetStudy : public BaseStudyClass {
 public:
  static constexpr int kNumExperiments = 10;

  test_execution_rate_G_SetStudySetStudy();
  ~test_execution_rate_G_SetStudySetStudy() override;

  // Destroys the reward model built by an earlier call, then builds, keeps
  // and returns a new one over a fresh failure model.
  PVModel* GetPVModel(bool expandTimePoints) override;

  // `experiment` must lie in 0..kNumExperiments-1.
  void SetGVs(int experiment) override;
  void PrintGlobalValues(int experiment) override;
  // Unknown names are reported on standard error; the result is then null.
  void* GetGVValue(const char* name) override;
  // Unknown names are reported on standard error and change nothing.
  Status OverrideGVValue(const std::string& name, double value) override;

  void SetValues_pperm_fault_G();
  void SetValues_safe_restore_rate_G();
  void SetValues_test_execution_rate_G();

  // Element e is the variable's value in experiment e.
  std::vector<double> pperm_fault_GValues;
  std::vector<double> safe_restore_rate_GValues;
  std::vector<double> test_execution_rate_GValues;

 private:
  // The global variable called `name`, or null.
  static double* FindVariable(const char* name);
};

#endif  // GEN_STUDY_TEST_EXECUTION_RATE_G_SETSTUDYSETSTUDY_H_
