#include "study/test_execution_rate_G_SetStudySetStudy.h"

#include <cstring>
#include <iostream>
#include <memory>

#include "base/Contract.h"
#include "model/RWDPVModel.h"
#include "study/GlobalVariables.h"

test_execution_rate_G_SetStudySetStudy::
    test_execution_rate_G_SetStudySetStudy() {
  NumGVs = 3;
  NumExps = kNumExperiments;
  GVNames = {"pperm_fault_G", "safe_restore_rate_G", "test_execution_rate_G"};
  GVTypes = {"double", "double", "double"};
  SetValues_pperm_fault_G();
  SetValues_safe_restore_rate_G();
  SetValues_test_execution_rate_G();
}

test_execution_rate_G_SetStudySetStudy::
    ~test_execution_rate_G_SetStudySetStudy() = default;

PVModel* test_execution_rate_G_SetStudySetStudy::GetPVModel(
    bool expandTimePoints) {
  CurrentPVModel.reset();
  CurrentPVModel = std::make_unique<RWDPVModel>(expandTimePoints);
  return CurrentPVModel.get();
}

void test_execution_rate_G_SetStudySetStudy::SetGVs(int experiment) {
  GEN_CHECK(experiment >= 0 && experiment < NumExps);
  const auto e = static_cast<std::size_t>(experiment);
  pperm_fault_G = pperm_fault_GValues[e];
  safe_restore_rate_G = safe_restore_rate_GValues[e];
  test_execution_rate_G = test_execution_rate_GValues[e];
}

void test_execution_rate_G_SetStudySetStudy::PrintGlobalValues(int experiment) {
  if (NumGVs == 0) {
    std::cout << "There are no global variables.\n" << std::flush;
    return;
  }
  SetGVs(experiment);
  std::cout << "The Global Variable values for experiment "
            << GetExpName(experiment) << " are:\n"
            << std::flush;
  std::cout << "pperm_fault_G\tdouble\t" << pperm_fault_G << '\n' << std::flush;
  std::cout << "safe_restore_rate_G\tdouble\t" << safe_restore_rate_G << '\n'
            << std::flush;
  std::cout << "test_execution_rate_G\tdouble\t" << test_execution_rate_G
            << '\n'
            << std::flush;
}

double* test_execution_rate_G_SetStudySetStudy::FindVariable(const char* name) {
  if (std::strcmp(name, "pperm_fault_G") == 0) return &pperm_fault_G;
  if (std::strcmp(name, "safe_restore_rate_G") == 0) {
    return &safe_restore_rate_G;
  }
  if (std::strcmp(name, "test_execution_rate_G") == 0) {
    return &test_execution_rate_G;
  }
  return nullptr;
}

void* test_execution_rate_G_SetStudySetStudy::GetGVValue(const char* name) {
  double* variable = FindVariable(name);
  if (variable == nullptr) {
    std::cerr << "!! test_execution_rate_G_SetStudySetStudy::GetGVValue: "
                 "Global Variable "
              << name << " does not exist.\n"
              << std::flush;
  }
  return variable;
}

Status test_execution_rate_G_SetStudySetStudy::OverrideGVValue(
    const std::string& name, double value) {
  double* variable = FindVariable(name.c_str());
  if (variable == nullptr) {
    std::cerr << "!! test_execution_rate_G_SetStudySetStudy::OverrideGVValue: "
                 "Global Variable "
              << name << " does not exist.\n"
              << std::flush;
    return Status::Ok();
  }
  *variable = value;
  return Status::Ok();
}

void test_execution_rate_G_SetStudySetStudy::SetValues_pperm_fault_G() {
  pperm_fault_GValues.assign(kNumExperiments, 0.1);
}

void test_execution_rate_G_SetStudySetStudy::SetValues_safe_restore_rate_G() {
  safe_restore_rate_GValues.assign(kNumExperiments, 10.0);
}

// Experiment 1 runs 10000; experiments 2..9 run 2000..9000, so 10000 comes
// second and 1000 first.
void test_execution_rate_G_SetStudySetStudy::SetValues_test_execution_rate_G() {
  test_execution_rate_GValues = {1000.0, 10000.0, 2000.0, 3000.0, 4000.0,
                                 5000.0, 6000.0,  7000.0, 8000.0, 9000.0};
}
