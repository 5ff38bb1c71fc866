#include "model/sanSAN.h"

#include "distributions/UserDistributions.h"
#include "model/GlobalVariables.h"

namespace {

constexpr int kNumPlaces = 15;
constexpr int kNumActivities = 23;
constexpr int kNumGroups = 15;

}  // namespace

// Activity 0: "fault_rate_L_case1".
sanSAN::fault_rate_LActivity_case1::fault_rate_LActivity_case1() {
  ActivityInitialize("fault_rate_L_case1", 12, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_LActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *L_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_LActivity_case1::Weight() { return pperm_fault_G; }

double sanSAN::fault_rate_LActivity_case1::Rate() { return 0.0; }

bool sanSAN::fault_rate_LActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_LActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_LActivity_case1::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_LActivity_case1::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_LActivity_case1::Fire() {
  --*L_Mark;
  ++*perm_fault_L_Mark;
  return this;
}

int sanSAN::fault_rate_LActivity_case1::Rank() { return 1; }

void sanSAN::fault_rate_LActivity_case1::LinkVariables() {
  L->RegisterPointer(&L_Mark, nullptr);
  perm_fault_L->RegisterPointer(&perm_fault_L_Mark, nullptr);
}

// Activity 1: "fault_rate_L_case2".
sanSAN::fault_rate_LActivity_case2::fault_rate_LActivity_case2() {
  ActivityInitialize("fault_rate_L_case2", 12, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_LActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *L_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_LActivity_case2::Weight() {
  return 1.0 - pperm_fault_G;
}

double sanSAN::fault_rate_LActivity_case2::Rate() { return 0.0; }

bool sanSAN::fault_rate_LActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_LActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_LActivity_case2::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_LActivity_case2::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_LActivity_case2::Fire() {
  --*L_Mark;
  ++*P_error_L_Mark;
  return this;
}

int sanSAN::fault_rate_LActivity_case2::Rank() { return 1; }

void sanSAN::fault_rate_LActivity_case2::LinkVariables() {
  L->RegisterPointer(&L_Mark, nullptr);
  P_error_L->RegisterPointer(&P_error_L_Mark, nullptr);
}

// Activity 2: "fault_rate_R_case1".
sanSAN::fault_rate_RActivity_case1::fault_rate_RActivity_case1() {
  ActivityInitialize("fault_rate_R_case1", 13, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_RActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *R_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_RActivity_case1::Weight() { return pperm_fault_G; }

double sanSAN::fault_rate_RActivity_case1::Rate() { return 0.0; }

bool sanSAN::fault_rate_RActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_RActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_RActivity_case1::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_RActivity_case1::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_RActivity_case1::Fire() {
  --*R_Mark;
  ++*perm_fault_R_Mark;
  return this;
}

int sanSAN::fault_rate_RActivity_case1::Rank() { return 1; }

void sanSAN::fault_rate_RActivity_case1::LinkVariables() {
  R->RegisterPointer(&R_Mark, nullptr);
  perm_fault_R->RegisterPointer(&perm_fault_R_Mark, nullptr);
}

// Activity 3: "fault_rate_R_case2".
sanSAN::fault_rate_RActivity_case2::fault_rate_RActivity_case2() {
  ActivityInitialize("fault_rate_R_case2", 13, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_RActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *R_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_RActivity_case2::Weight() {
  return 1.0 - pperm_fault_G;
}

double sanSAN::fault_rate_RActivity_case2::Rate() { return 0.0; }

bool sanSAN::fault_rate_RActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_RActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_RActivity_case2::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_RActivity_case2::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_RActivity_case2::Fire() {
  --*R_Mark;
  ++*P_error_R_Mark;
  return this;
}

int sanSAN::fault_rate_RActivity_case2::Rank() { return 1; }

void sanSAN::fault_rate_RActivity_case2::LinkVariables() {
  R->RegisterPointer(&R_Mark, nullptr);
  P_error_R->RegisterPointer(&P_error_R_Mark, nullptr);
}

// Activity 4: "fault_rate_C_case1".
sanSAN::fault_rate_CActivity_case1::fault_rate_CActivity_case1() {
  ActivityInitialize("fault_rate_C_case1", 14, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_CActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *C_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_CActivity_case1::Weight() { return pperm_fault_G; }

double sanSAN::fault_rate_CActivity_case1::Rate() { return 0.0; }

bool sanSAN::fault_rate_CActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_CActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_CActivity_case1::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_CActivity_case1::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_CActivity_case1::Fire() {
  --*C_Mark;
  ++*perm_fault_C_Mark;
  return this;
}

int sanSAN::fault_rate_CActivity_case1::Rank() { return 1; }

void sanSAN::fault_rate_CActivity_case1::LinkVariables() {
  C->RegisterPointer(&C_Mark, nullptr);
  perm_fault_C->RegisterPointer(&perm_fault_C_Mark, nullptr);
}

// Activity 5: "fault_rate_C_case2".
sanSAN::fault_rate_CActivity_case2::fault_rate_CActivity_case2() {
  ActivityInitialize("fault_rate_C_case2", 14, Instantaneous,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_rate_CActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *C_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_rate_CActivity_case2::Weight() {
  return 1.0 - pperm_fault_G;
}

double sanSAN::fault_rate_CActivity_case2::Rate() { return 0.0; }

bool sanSAN::fault_rate_CActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_rate_CActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::fault_rate_CActivity_case2::SampleDistribution() { return 0.0; }

double* sanSAN::fault_rate_CActivity_case2::ReturnDistributionParameters() {
  return nullptr;
}

BaseActionClass* sanSAN::fault_rate_CActivity_case2::Fire() {
  --*C_Mark;
  ++*P_error_C_Mark;
  return this;
}

int sanSAN::fault_rate_CActivity_case2::Rank() { return 1; }

void sanSAN::fault_rate_CActivity_case2::LinkVariables() {
  C->RegisterPointer(&C_Mark, nullptr);
  P_error_C->RegisterPointer(&P_error_C_Mark, nullptr);
}

// Activity 6: "fault_occurrence_rate_case1".
sanSAN::fault_occurrence_rateActivity_case1::
    fault_occurrence_rateActivity_case1() {
  ActivityInitialize("fault_occurrence_rate_case1", 0, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_occurrence_rateActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *HW_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_occurrence_rateActivity_case1::Weight() { return 0.34; }

double sanSAN::fault_occurrence_rateActivity_case1::Rate() {
  return *HW_Mark * 0.000001;
}

bool sanSAN::fault_occurrence_rateActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_occurrence_rateActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::fault_occurrence_rateActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(*HW_Mark * 0.000001);
}

double*
sanSAN::fault_occurrence_rateActivity_case1::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_occurrence_rateActivity_case1::Fire() {
  --*HW_Mark;
  ++*L_Mark;
  return this;
}

int sanSAN::fault_occurrence_rateActivity_case1::Rank() { return 1; }

void sanSAN::fault_occurrence_rateActivity_case1::LinkVariables() {
  HW->RegisterPointer(&HW_Mark, nullptr);
  L->RegisterPointer(&L_Mark, nullptr);
}

// Activity 7: "fault_occurrence_rate_case2".
sanSAN::fault_occurrence_rateActivity_case2::
    fault_occurrence_rateActivity_case2() {
  ActivityInitialize("fault_occurrence_rate_case2", 0, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_occurrence_rateActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *HW_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_occurrence_rateActivity_case2::Weight() { return 0.33; }

double sanSAN::fault_occurrence_rateActivity_case2::Rate() {
  return *HW_Mark * 0.000001;
}

bool sanSAN::fault_occurrence_rateActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_occurrence_rateActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::fault_occurrence_rateActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(*HW_Mark * 0.000001);
}

double*
sanSAN::fault_occurrence_rateActivity_case2::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_occurrence_rateActivity_case2::Fire() {
  --*HW_Mark;
  ++*R_Mark;
  return this;
}

int sanSAN::fault_occurrence_rateActivity_case2::Rank() { return 1; }

void sanSAN::fault_occurrence_rateActivity_case2::LinkVariables() {
  HW->RegisterPointer(&HW_Mark, nullptr);
  R->RegisterPointer(&R_Mark, nullptr);
}

// Activity 8: "fault_occurrence_rate_case3".
sanSAN::fault_occurrence_rateActivity_case3::
    fault_occurrence_rateActivity_case3() {
  ActivityInitialize("fault_occurrence_rate_case3", 0, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_occurrence_rateActivity_case3::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *HW_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_occurrence_rateActivity_case3::Weight() { return 0.33; }

double sanSAN::fault_occurrence_rateActivity_case3::Rate() {
  return *HW_Mark * 0.000001;
}

bool sanSAN::fault_occurrence_rateActivity_case3::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_occurrence_rateActivity_case3::ReactivationFunction() {
  return false;
}

double sanSAN::fault_occurrence_rateActivity_case3::SampleDistribution() {
  return TheDistribution->Exponential(*HW_Mark * 0.000001);
}

double*
sanSAN::fault_occurrence_rateActivity_case3::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_occurrence_rateActivity_case3::Fire() {
  --*HW_Mark;
  ++*C_Mark;
  return this;
}

int sanSAN::fault_occurrence_rateActivity_case3::Rank() { return 1; }

void sanSAN::fault_occurrence_rateActivity_case3::LinkVariables() {
  HW->RegisterPointer(&HW_Mark, nullptr);
  C->RegisterPointer(&C_Mark, nullptr);
}

// Activity 9: "fault_activatation_rate_L".
sanSAN::fault_activatation_rate_LActivity::fault_activatation_rate_LActivity() {
  ActivityInitialize("fault_activatation_rate_L", 1, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_activatation_rate_LActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *perm_fault_L_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_activatation_rate_LActivity::Weight() { return 1.0; }

double sanSAN::fault_activatation_rate_LActivity::Rate() {
  return *perm_fault_L_Mark * 3600.0;
}

bool sanSAN::fault_activatation_rate_LActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_activatation_rate_LActivity::ReactivationFunction() {
  return false;
}

double sanSAN::fault_activatation_rate_LActivity::SampleDistribution() {
  return TheDistribution->Exponential(*perm_fault_L_Mark * 3600.0);
}

double*
sanSAN::fault_activatation_rate_LActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_activatation_rate_LActivity::Fire() {
  --*perm_fault_L_Mark;
  ++*P_error_L_Mark;
  return this;
}

int sanSAN::fault_activatation_rate_LActivity::Rank() { return 1; }

void sanSAN::fault_activatation_rate_LActivity::LinkVariables() {
  perm_fault_L->RegisterPointer(&perm_fault_L_Mark, nullptr);
  P_error_L->RegisterPointer(&P_error_L_Mark, nullptr);
}

// Activity 10: "fault_activatation_rate_R".
sanSAN::fault_activatation_rate_RActivity::fault_activatation_rate_RActivity() {
  ActivityInitialize("fault_activatation_rate_R", 2, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_activatation_rate_RActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *perm_fault_R_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_activatation_rate_RActivity::Weight() { return 1.0; }

double sanSAN::fault_activatation_rate_RActivity::Rate() {
  return *perm_fault_R_Mark * 3600.0;
}

bool sanSAN::fault_activatation_rate_RActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_activatation_rate_RActivity::ReactivationFunction() {
  return false;
}

double sanSAN::fault_activatation_rate_RActivity::SampleDistribution() {
  return TheDistribution->Exponential(*perm_fault_R_Mark * 3600.0);
}

double*
sanSAN::fault_activatation_rate_RActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_activatation_rate_RActivity::Fire() {
  --*perm_fault_R_Mark;
  ++*P_error_R_Mark;
  return this;
}

int sanSAN::fault_activatation_rate_RActivity::Rank() { return 1; }

void sanSAN::fault_activatation_rate_RActivity::LinkVariables() {
  perm_fault_R->RegisterPointer(&perm_fault_R_Mark, nullptr);
  P_error_R->RegisterPointer(&P_error_R_Mark, nullptr);
}

// Activity 11: "fault_activatation_rate_C".
sanSAN::fault_activatation_rate_CActivity::fault_activatation_rate_CActivity() {
  ActivityInitialize("fault_activatation_rate_C", 3, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::fault_activatation_rate_CActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *perm_fault_C_Mark > 0;
  return NewEnabled;
}

double sanSAN::fault_activatation_rate_CActivity::Weight() { return 1.0; }

double sanSAN::fault_activatation_rate_CActivity::Rate() {
  return *perm_fault_C_Mark * 3600.0;
}

bool sanSAN::fault_activatation_rate_CActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::fault_activatation_rate_CActivity::ReactivationFunction() {
  return false;
}

double sanSAN::fault_activatation_rate_CActivity::SampleDistribution() {
  return TheDistribution->Exponential(*perm_fault_C_Mark * 3600.0);
}

double*
sanSAN::fault_activatation_rate_CActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::fault_activatation_rate_CActivity::Fire() {
  --*perm_fault_C_Mark;
  ++*P_error_C_Mark;
  return this;
}

int sanSAN::fault_activatation_rate_CActivity::Rank() { return 1; }

void sanSAN::fault_activatation_rate_CActivity::LinkVariables() {
  perm_fault_C->RegisterPointer(&perm_fault_C_Mark, nullptr);
  P_error_C->RegisterPointer(&P_error_C_Mark, nullptr);
}

// Activity 12: "error_prop_rate_L".
sanSAN::error_prop_rate_LActivity::error_prop_rate_LActivity() {
  ActivityInitialize("error_prop_rate_L", 4, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::error_prop_rate_LActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *P_error_L_Mark > 0;
  return NewEnabled;
}

double sanSAN::error_prop_rate_LActivity::Weight() { return 1.0; }

double sanSAN::error_prop_rate_LActivity::Rate() { return 3600.0; }

bool sanSAN::error_prop_rate_LActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::error_prop_rate_LActivity::ReactivationFunction() { return false; }

double sanSAN::error_prop_rate_LActivity::SampleDistribution() {
  return TheDistribution->Exponential(3600.0);
}

double* sanSAN::error_prop_rate_LActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::error_prop_rate_LActivity::Fire() {
  --*P_error_L_Mark;
  ++*catastrophic_failure_Mark;
  return this;
}

int sanSAN::error_prop_rate_LActivity::Rank() { return 1; }

void sanSAN::error_prop_rate_LActivity::LinkVariables() {
  P_error_L->RegisterPointer(&P_error_L_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
}

// Activity 13: "error_prop_rate_R".
sanSAN::error_prop_rate_RActivity::error_prop_rate_RActivity() {
  ActivityInitialize("error_prop_rate_R", 5, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::error_prop_rate_RActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *P_error_R_Mark > 0;
  return NewEnabled;
}

double sanSAN::error_prop_rate_RActivity::Weight() { return 1.0; }

double sanSAN::error_prop_rate_RActivity::Rate() { return 360.0; }

bool sanSAN::error_prop_rate_RActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::error_prop_rate_RActivity::ReactivationFunction() { return false; }

double sanSAN::error_prop_rate_RActivity::SampleDistribution() {
  return TheDistribution->Exponential(360.0);
}

double* sanSAN::error_prop_rate_RActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::error_prop_rate_RActivity::Fire() {
  --*P_error_R_Mark;
  ++*catastrophic_failure_Mark;
  return this;
}

int sanSAN::error_prop_rate_RActivity::Rank() { return 1; }

void sanSAN::error_prop_rate_RActivity::LinkVariables() {
  P_error_R->RegisterPointer(&P_error_R_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
}

// Activity 14: "error_prop_rate_C".
sanSAN::error_prop_rate_CActivity::error_prop_rate_CActivity() {
  ActivityInitialize("error_prop_rate_C", 6, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::error_prop_rate_CActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *P_error_C_Mark > 0;
  return NewEnabled;
}

double sanSAN::error_prop_rate_CActivity::Weight() { return 1.0; }

double sanSAN::error_prop_rate_CActivity::Rate() { return 36.0; }

bool sanSAN::error_prop_rate_CActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::error_prop_rate_CActivity::ReactivationFunction() { return false; }

double sanSAN::error_prop_rate_CActivity::SampleDistribution() {
  return TheDistribution->Exponential(36.0);
}

double* sanSAN::error_prop_rate_CActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::error_prop_rate_CActivity::Fire() {
  --*P_error_C_Mark;
  ++*catastrophic_failure_Mark;
  return this;
}

int sanSAN::error_prop_rate_CActivity::Rank() { return 1; }

void sanSAN::error_prop_rate_CActivity::LinkVariables() {
  P_error_C->RegisterPointer(&P_error_C_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
}

// Activity 15: "cat_rest_rate".
sanSAN::cat_rest_rateActivity::cat_rest_rateActivity() {
  ActivityInitialize("cat_rest_rate", 7, Exponential, kDefaultExecutionPolicy,
                     12, 1, false);
}

bool sanSAN::cat_rest_rateActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *catastrophic_failure_Mark > 0;
  return NewEnabled;
}

double sanSAN::cat_rest_rateActivity::Weight() { return 1.0; }

double sanSAN::cat_rest_rateActivity::Rate() {
  return 100.0 * safe_restore_rate_G;
}

bool sanSAN::cat_rest_rateActivity::ReactivationPredicate() { return false; }

bool sanSAN::cat_rest_rateActivity::ReactivationFunction() { return false; }

double sanSAN::cat_rest_rateActivity::SampleDistribution() {
  return TheDistribution->Exponential(100.0 * safe_restore_rate_G);
}

double* sanSAN::cat_rest_rateActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::cat_rest_rateActivity::Fire() {
  --*catastrophic_failure_Mark;
  *HW_Mark = 1;
  *Test_L_Mark = 1;
  *Test_R_Mark = 0;
  *Test_C_Mark = 0;
  *perm_fault_L_Mark = 0;
  *perm_fault_R_Mark = 0;
  *perm_fault_C_Mark = 0;
  *P_error_L_Mark = 0;
  *P_error_R_Mark = 0;
  *P_error_C_Mark = 0;
  *safe_failure_Mark = 0;
  *catastrophic_failure_Mark = 0;
  return this;
}

int sanSAN::cat_rest_rateActivity::Rank() { return 1; }

void sanSAN::cat_rest_rateActivity::LinkVariables() {
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
  HW->RegisterPointer(&HW_Mark, nullptr);
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
  perm_fault_L->RegisterPointer(&perm_fault_L_Mark, nullptr);
  perm_fault_R->RegisterPointer(&perm_fault_R_Mark, nullptr);
  perm_fault_C->RegisterPointer(&perm_fault_C_Mark, nullptr);
  P_error_L->RegisterPointer(&P_error_L_Mark, nullptr);
  P_error_R->RegisterPointer(&P_error_R_Mark, nullptr);
  P_error_C->RegisterPointer(&P_error_C_Mark, nullptr);
  safe_failure->RegisterPointer(&safe_failure_Mark, nullptr);
}

// Activity 16: "test_execution_rate_case1".
sanSAN::test_execution_rateActivity_case1::test_execution_rateActivity_case1() {
  ActivityInitialize("test_execution_rate_case1", 8, Exponential,
                     kDefaultExecutionPolicy, 5, 1, false);
}

bool sanSAN::test_execution_rateActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_L_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rateActivity_case1::Weight() { return 0.7; }

double sanSAN::test_execution_rateActivity_case1::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rateActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rateActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rateActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rateActivity_case1::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rateActivity_case1::Fire() {
  --*Test_L_Mark;
  if (*perm_fault_L_Mark > 0 && *catastrophic_failure_Mark == 0) {
    ++*safe_failure_Mark;
    *perm_fault_L_Mark = 0;
  } else {
    ++*Test_R_Mark;
  }
  return this;
}

int sanSAN::test_execution_rateActivity_case1::Rank() { return 1; }

void sanSAN::test_execution_rateActivity_case1::LinkVariables() {
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
  perm_fault_L->RegisterPointer(&perm_fault_L_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
  safe_failure->RegisterPointer(&safe_failure_Mark, nullptr);
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
}

// Activity 17: "test_execution_rate_case2".
sanSAN::test_execution_rateActivity_case2::test_execution_rateActivity_case2() {
  ActivityInitialize("test_execution_rate_case2", 8, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::test_execution_rateActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_L_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rateActivity_case2::Weight() { return 0.3; }

double sanSAN::test_execution_rateActivity_case2::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rateActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rateActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rateActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rateActivity_case2::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rateActivity_case2::Fire() {
  --*Test_L_Mark;
  ++*Test_R_Mark;
  return this;
}

int sanSAN::test_execution_rateActivity_case2::Rank() { return 1; }

void sanSAN::test_execution_rateActivity_case2::LinkVariables() {
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
}

// Activity 18: "safe_restore_rate".
sanSAN::safe_restore_rateActivity::safe_restore_rateActivity() {
  ActivityInitialize("safe_restore_rate", 9, Exponential,
                     kDefaultExecutionPolicy, 12, 1, false);
}

bool sanSAN::safe_restore_rateActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *safe_failure_Mark > 0;
  return NewEnabled;
}

double sanSAN::safe_restore_rateActivity::Weight() { return 1.0; }

double sanSAN::safe_restore_rateActivity::Rate() { return safe_restore_rate_G; }

bool sanSAN::safe_restore_rateActivity::ReactivationPredicate() {
  return false;
}

bool sanSAN::safe_restore_rateActivity::ReactivationFunction() { return false; }

double sanSAN::safe_restore_rateActivity::SampleDistribution() {
  return TheDistribution->Exponential(safe_restore_rate_G);
}

double* sanSAN::safe_restore_rateActivity::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::safe_restore_rateActivity::Fire() {
  --*safe_failure_Mark;
  *HW_Mark = 1;
  *Test_L_Mark = 1;
  *Test_R_Mark = 0;
  *Test_C_Mark = 0;
  *perm_fault_L_Mark = 0;
  *perm_fault_R_Mark = 0;
  *perm_fault_C_Mark = 0;
  *P_error_L_Mark = 0;
  *P_error_R_Mark = 0;
  *P_error_C_Mark = 0;
  *safe_failure_Mark = 0;
  *catastrophic_failure_Mark = 0;
  return this;
}

int sanSAN::safe_restore_rateActivity::Rank() { return 1; }

void sanSAN::safe_restore_rateActivity::LinkVariables() {
  safe_failure->RegisterPointer(&safe_failure_Mark, nullptr);
  HW->RegisterPointer(&HW_Mark, nullptr);
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
  perm_fault_L->RegisterPointer(&perm_fault_L_Mark, nullptr);
  perm_fault_R->RegisterPointer(&perm_fault_R_Mark, nullptr);
  perm_fault_C->RegisterPointer(&perm_fault_C_Mark, nullptr);
  P_error_L->RegisterPointer(&P_error_L_Mark, nullptr);
  P_error_R->RegisterPointer(&P_error_R_Mark, nullptr);
  P_error_C->RegisterPointer(&P_error_C_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
}

// Activity 19: "test_execution_rate_R_case1".
sanSAN::test_execution_rate_RActivity_case1::
    test_execution_rate_RActivity_case1() {
  ActivityInitialize("test_execution_rate_R_case1", 10, Exponential,
                     kDefaultExecutionPolicy, 5, 1, false);
}

bool sanSAN::test_execution_rate_RActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_R_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rate_RActivity_case1::Weight() { return 0.7; }

double sanSAN::test_execution_rate_RActivity_case1::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rate_RActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rate_RActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rate_RActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rate_RActivity_case1::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rate_RActivity_case1::Fire() {
  --*Test_R_Mark;
  if (*perm_fault_R_Mark > 0 && *catastrophic_failure_Mark == 0) {
    ++*safe_failure_Mark;
    *perm_fault_R_Mark = 0;
  } else {
    ++*Test_C_Mark;
  }
  return this;
}

int sanSAN::test_execution_rate_RActivity_case1::Rank() { return 1; }

void sanSAN::test_execution_rate_RActivity_case1::LinkVariables() {
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
  perm_fault_R->RegisterPointer(&perm_fault_R_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
  safe_failure->RegisterPointer(&safe_failure_Mark, nullptr);
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
}

// Activity 20: "test_execution_rate_R_case2".
sanSAN::test_execution_rate_RActivity_case2::
    test_execution_rate_RActivity_case2() {
  ActivityInitialize("test_execution_rate_R_case2", 10, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::test_execution_rate_RActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_R_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rate_RActivity_case2::Weight() { return 0.3; }

double sanSAN::test_execution_rate_RActivity_case2::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rate_RActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rate_RActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rate_RActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rate_RActivity_case2::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rate_RActivity_case2::Fire() {
  --*Test_R_Mark;
  ++*Test_C_Mark;
  return this;
}

int sanSAN::test_execution_rate_RActivity_case2::Rank() { return 1; }

void sanSAN::test_execution_rate_RActivity_case2::LinkVariables() {
  Test_R->RegisterPointer(&Test_R_Mark, nullptr);
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
}

// Activity 21: "test_execution_rate_C_case1".
sanSAN::test_execution_rate_CActivity_case1::
    test_execution_rate_CActivity_case1() {
  ActivityInitialize("test_execution_rate_C_case1", 11, Exponential,
                     kDefaultExecutionPolicy, 5, 1, false);
}

bool sanSAN::test_execution_rate_CActivity_case1::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_C_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rate_CActivity_case1::Weight() { return 0.7; }

double sanSAN::test_execution_rate_CActivity_case1::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rate_CActivity_case1::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rate_CActivity_case1::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rate_CActivity_case1::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rate_CActivity_case1::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rate_CActivity_case1::Fire() {
  --*Test_C_Mark;
  if (*perm_fault_C_Mark > 0 && *catastrophic_failure_Mark == 0) {
    ++*safe_failure_Mark;
    *perm_fault_C_Mark = 0;
  } else {
    ++*Test_L_Mark;
  }
  return this;
}

int sanSAN::test_execution_rate_CActivity_case1::Rank() { return 1; }

void sanSAN::test_execution_rate_CActivity_case1::LinkVariables() {
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
  perm_fault_C->RegisterPointer(&perm_fault_C_Mark, nullptr);
  catastrophic_failure->RegisterPointer(&catastrophic_failure_Mark, nullptr);
  safe_failure->RegisterPointer(&safe_failure_Mark, nullptr);
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
}

// Activity 22: "test_execution_rate_C_case2".
sanSAN::test_execution_rate_CActivity_case2::
    test_execution_rate_CActivity_case2() {
  ActivityInitialize("test_execution_rate_C_case2", 11, Exponential,
                     kDefaultExecutionPolicy, 2, 1, false);
}

bool sanSAN::test_execution_rate_CActivity_case2::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *Test_C_Mark > 0;
  return NewEnabled;
}

double sanSAN::test_execution_rate_CActivity_case2::Weight() { return 0.3; }

double sanSAN::test_execution_rate_CActivity_case2::Rate() {
  return test_execution_rate_G;
}

bool sanSAN::test_execution_rate_CActivity_case2::ReactivationPredicate() {
  return false;
}

bool sanSAN::test_execution_rate_CActivity_case2::ReactivationFunction() {
  return false;
}

double sanSAN::test_execution_rate_CActivity_case2::SampleDistribution() {
  return TheDistribution->Exponential(test_execution_rate_G);
}

double*
sanSAN::test_execution_rate_CActivity_case2::ReturnDistributionParameters() {
  DistributionParameters[0] = Rate();
  return DistributionParameters.data();
}

BaseActionClass* sanSAN::test_execution_rate_CActivity_case2::Fire() {
  --*Test_C_Mark;
  ++*Test_L_Mark;
  return this;
}

int sanSAN::test_execution_rate_CActivity_case2::Rank() { return 1; }

void sanSAN::test_execution_rate_CActivity_case2::LinkVariables() {
  Test_C->RegisterPointer(&Test_C_Mark, nullptr);
  Test_L->RegisterPointer(&Test_L_Mark, nullptr);
}

sanSAN::sanSAN() {
  fault_occurrence_rateGroup.initialize(3, "fault_occurrence_rateGroup");
  fault_occurrence_rateGroup.appendGroup(&fault_occurrence_rate_case1);
  fault_occurrence_rateGroup.appendGroup(&fault_occurrence_rate_case2);
  fault_occurrence_rateGroup.appendGroup(&fault_occurrence_rate_case3);
  test_execution_rateGroup.initialize(2, "test_execution_rateGroup");
  test_execution_rateGroup.appendGroup(&test_execution_rate_case1);
  test_execution_rateGroup.appendGroup(&test_execution_rate_case2);
  test_execution_rate_RGroup.initialize(2, "test_execution_rate_RGroup");
  test_execution_rate_RGroup.appendGroup(&test_execution_rate_R_case1);
  test_execution_rate_RGroup.appendGroup(&test_execution_rate_R_case2);
  test_execution_rate_CGroup.initialize(2, "test_execution_rate_CGroup");
  test_execution_rate_CGroup.appendGroup(&test_execution_rate_C_case1);
  test_execution_rate_CGroup.appendGroup(&test_execution_rate_C_case2);
  fault_rate_LGroup.initialize(2, "fault_rate_LGroup");
  fault_rate_LGroup.appendGroup(&fault_rate_L_case1);
  fault_rate_LGroup.appendGroup(&fault_rate_L_case2);
  fault_rate_RGroup.initialize(2, "fault_rate_RGroup");
  fault_rate_RGroup.appendGroup(&fault_rate_R_case1);
  fault_rate_RGroup.appendGroup(&fault_rate_R_case2);
  fault_rate_CGroup.initialize(2, "fault_rate_CGroup");
  fault_rate_CGroup.appendGroup(&fault_rate_C_case1);
  fault_rate_CGroup.appendGroup(&fault_rate_C_case2);

  Activity* activities[kNumActivities] = {
      &fault_rate_L_case1,          &fault_rate_L_case2,
      &fault_rate_R_case1,          &fault_rate_R_case2,
      &fault_rate_C_case1,          &fault_rate_C_case2,
      &fault_occurrence_rate_case1, &fault_occurrence_rate_case2,
      &fault_occurrence_rate_case3, &fault_activatation_rate_L,
      &fault_activatation_rate_R,   &fault_activatation_rate_C,
      &error_prop_rate_L,           &error_prop_rate_R,
      &error_prop_rate_C,           &cat_rest_rate,
      &test_execution_rate_case1,   &test_execution_rate_case2,
      &safe_restore_rate,           &test_execution_rate_R_case1,
      &test_execution_rate_R_case2, &test_execution_rate_C_case1,
      &test_execution_rate_C_case2};
  BaseGroupClass* groups[kNumGroups] = {
      &fault_occurrence_rateGroup, &fault_activatation_rate_L,
      &fault_activatation_rate_R,  &fault_activatation_rate_C,
      &error_prop_rate_L,          &error_prop_rate_R,
      &error_prop_rate_C,          &cat_rest_rate,
      &test_execution_rateGroup,   &safe_restore_rate,
      &test_execution_rate_RGroup, &test_execution_rate_CGroup,
      &fault_rate_LGroup,          &fault_rate_RGroup,
      &fault_rate_CGroup};

  HW = std::make_unique<Place>("HW", 1);
  L = std::make_unique<Place>("L", 0);
  R = std::make_unique<Place>("R", 0);
  C = std::make_unique<Place>("C", 0);
  perm_fault_L = std::make_unique<Place>("perm_fault_L", 0);
  perm_fault_R = std::make_unique<Place>("perm_fault_R", 0);
  perm_fault_C = std::make_unique<Place>("perm_fault_C", 0);
  P_error_L = std::make_unique<Place>("P_error_L", 0);
  P_error_R = std::make_unique<Place>("P_error_R", 0);
  P_error_C = std::make_unique<Place>("P_error_C", 0);
  catastrophic_failure = std::make_unique<Place>("catastrophic_failure", 0);
  Test_L = std::make_unique<Place>("Test_L", 1);
  safe_failure = std::make_unique<Place>("safe_failure", 0);
  Test_R = std::make_unique<Place>("Test_R", 0);
  Test_C = std::make_unique<Place>("Test_C", 0);
  BaseStateVariableClass* places[kNumPlaces] = {HW.get(),
                                                L.get(),
                                                R.get(),
                                                C.get(),
                                                perm_fault_L.get(),
                                                perm_fault_R.get(),
                                                perm_fault_C.get(),
                                                P_error_L.get(),
                                                P_error_R.get(),
                                                P_error_C.get(),
                                                catastrophic_failure.get(),
                                                Test_L.get(),
                                                safe_failure.get(),
                                                Test_R.get(),
                                                Test_C.get()};

  initializeSANModelNow("san", kNumPlaces, places, 0, nullptr, kNumActivities,
                        activities, kNumGroups, groups);
  assignPlacesToActivitiesInst();
  assignPlacesToActivitiesTimed();

  AddAffectArc(L.get(), &fault_rate_L_case1);
  AddAffectArc(perm_fault_L.get(), &fault_rate_L_case1);
  AddAffectArc(L.get(), &fault_rate_L_case2);
  AddAffectArc(P_error_L.get(), &fault_rate_L_case2);
  AddAffectArc(R.get(), &fault_rate_R_case1);
  AddAffectArc(perm_fault_R.get(), &fault_rate_R_case1);
  AddAffectArc(R.get(), &fault_rate_R_case2);
  AddAffectArc(P_error_R.get(), &fault_rate_R_case2);
  AddAffectArc(C.get(), &fault_rate_C_case1);
  AddAffectArc(perm_fault_C.get(), &fault_rate_C_case1);
  AddAffectArc(C.get(), &fault_rate_C_case2);
  AddAffectArc(P_error_C.get(), &fault_rate_C_case2);
  AddAffectArc(HW.get(), &fault_occurrence_rate_case1);
  AddAffectArc(L.get(), &fault_occurrence_rate_case1);
  AddAffectArc(HW.get(), &fault_occurrence_rate_case2);
  AddAffectArc(R.get(), &fault_occurrence_rate_case2);
  AddAffectArc(HW.get(), &fault_occurrence_rate_case3);
  AddAffectArc(C.get(), &fault_occurrence_rate_case3);
  AddAffectArc(perm_fault_L.get(), &fault_activatation_rate_L);
  AddAffectArc(P_error_L.get(), &fault_activatation_rate_L);
  AddAffectArc(perm_fault_R.get(), &fault_activatation_rate_R);
  AddAffectArc(P_error_R.get(), &fault_activatation_rate_R);
  AddAffectArc(perm_fault_C.get(), &fault_activatation_rate_C);
  AddAffectArc(P_error_C.get(), &fault_activatation_rate_C);
  AddAffectArc(P_error_L.get(), &error_prop_rate_L);
  AddAffectArc(catastrophic_failure.get(), &error_prop_rate_L);
  AddAffectArc(P_error_R.get(), &error_prop_rate_R);
  AddAffectArc(catastrophic_failure.get(), &error_prop_rate_R);
  AddAffectArc(P_error_C.get(), &error_prop_rate_C);
  AddAffectArc(catastrophic_failure.get(), &error_prop_rate_C);
  AddAffectArc(catastrophic_failure.get(), &cat_rest_rate);
  AddAffectArc(HW.get(), &cat_rest_rate);
  AddAffectArc(Test_L.get(), &cat_rest_rate);
  AddAffectArc(Test_R.get(), &cat_rest_rate);
  AddAffectArc(Test_C.get(), &cat_rest_rate);
  AddAffectArc(perm_fault_L.get(), &cat_rest_rate);
  AddAffectArc(perm_fault_R.get(), &cat_rest_rate);
  AddAffectArc(perm_fault_C.get(), &cat_rest_rate);
  AddAffectArc(P_error_L.get(), &cat_rest_rate);
  AddAffectArc(P_error_R.get(), &cat_rest_rate);
  AddAffectArc(P_error_C.get(), &cat_rest_rate);
  AddAffectArc(safe_failure.get(), &cat_rest_rate);
  AddAffectArc(Test_L.get(), &test_execution_rate_case1);
  AddAffectArc(perm_fault_L.get(), &test_execution_rate_case1);
  AddAffectArc(catastrophic_failure.get(), &test_execution_rate_case1);
  AddAffectArc(safe_failure.get(), &test_execution_rate_case1);
  AddAffectArc(Test_R.get(), &test_execution_rate_case1);
  AddAffectArc(Test_L.get(), &test_execution_rate_case2);
  AddAffectArc(Test_R.get(), &test_execution_rate_case2);
  AddAffectArc(safe_failure.get(), &safe_restore_rate);
  AddAffectArc(HW.get(), &safe_restore_rate);
  AddAffectArc(Test_L.get(), &safe_restore_rate);
  AddAffectArc(Test_R.get(), &safe_restore_rate);
  AddAffectArc(Test_C.get(), &safe_restore_rate);
  AddAffectArc(perm_fault_L.get(), &safe_restore_rate);
  AddAffectArc(perm_fault_R.get(), &safe_restore_rate);
  AddAffectArc(perm_fault_C.get(), &safe_restore_rate);
  AddAffectArc(P_error_L.get(), &safe_restore_rate);
  AddAffectArc(P_error_R.get(), &safe_restore_rate);
  AddAffectArc(P_error_C.get(), &safe_restore_rate);
  AddAffectArc(catastrophic_failure.get(), &safe_restore_rate);
  AddAffectArc(Test_R.get(), &test_execution_rate_R_case1);
  AddAffectArc(perm_fault_R.get(), &test_execution_rate_R_case1);
  AddAffectArc(catastrophic_failure.get(), &test_execution_rate_R_case1);
  AddAffectArc(safe_failure.get(), &test_execution_rate_R_case1);
  AddAffectArc(Test_C.get(), &test_execution_rate_R_case1);
  AddAffectArc(Test_R.get(), &test_execution_rate_R_case2);
  AddAffectArc(Test_C.get(), &test_execution_rate_R_case2);
  AddAffectArc(Test_C.get(), &test_execution_rate_C_case1);
  AddAffectArc(perm_fault_C.get(), &test_execution_rate_C_case1);
  AddAffectArc(catastrophic_failure.get(), &test_execution_rate_C_case1);
  AddAffectArc(safe_failure.get(), &test_execution_rate_C_case1);
  AddAffectArc(Test_L.get(), &test_execution_rate_C_case1);
  AddAffectArc(Test_C.get(), &test_execution_rate_C_case2);
  AddAffectArc(Test_L.get(), &test_execution_rate_C_case2);

  AddEnableArc(L.get(), &fault_rate_L_case1);
  AddEnableArc(L.get(), &fault_rate_L_case2);
  AddEnableArc(R.get(), &fault_rate_R_case1);
  AddEnableArc(R.get(), &fault_rate_R_case2);
  AddEnableArc(C.get(), &fault_rate_C_case1);
  AddEnableArc(C.get(), &fault_rate_C_case2);
  AddEnableArc(HW.get(), &fault_occurrence_rate_case1);
  AddEnableArc(HW.get(), &fault_occurrence_rate_case2);
  AddEnableArc(HW.get(), &fault_occurrence_rate_case3);
  AddEnableArc(perm_fault_L.get(), &fault_activatation_rate_L);
  AddEnableArc(perm_fault_R.get(), &fault_activatation_rate_R);
  AddEnableArc(perm_fault_C.get(), &fault_activatation_rate_C);
  AddEnableArc(P_error_L.get(), &error_prop_rate_L);
  AddEnableArc(P_error_R.get(), &error_prop_rate_R);
  AddEnableArc(P_error_C.get(), &error_prop_rate_C);
  AddEnableArc(catastrophic_failure.get(), &cat_rest_rate);
  AddEnableArc(Test_L.get(), &test_execution_rate_case1);
  AddEnableArc(Test_L.get(), &test_execution_rate_case2);
  AddEnableArc(safe_failure.get(), &safe_restore_rate);
  AddEnableArc(Test_R.get(), &test_execution_rate_R_case1);
  AddEnableArc(Test_R.get(), &test_execution_rate_R_case2);
  AddEnableArc(Test_C.get(), &test_execution_rate_C_case1);
  AddEnableArc(Test_C.get(), &test_execution_rate_C_case2);

  for (Activity* activity : activities) activity->LinkVariables();
}

sanSAN::~sanSAN() {
  // The places go first, then the groups and the activities (members, in
  // reverse declaration order).
  HW.reset();
  L.reset();
  R.reset();
  C.reset();
  perm_fault_L.reset();
  perm_fault_R.reset();
  perm_fault_C.reset();
  P_error_L.reset();
  P_error_R.reset();
  P_error_C.reset();
  catastrophic_failure.reset();
  Test_L.reset();
  safe_failure.reset();
  Test_R.reset();
  Test_C.reset();
}

void sanSAN::assignPlacesToActivitiesInst() {
  fault_rate_L_case1.L = static_cast<Place*>(Places[1]);
  fault_rate_L_case1.perm_fault_L = static_cast<Place*>(Places[4]);
  fault_rate_L_case2.L = static_cast<Place*>(Places[1]);
  fault_rate_L_case2.P_error_L = static_cast<Place*>(Places[7]);
  fault_rate_R_case1.R = static_cast<Place*>(Places[2]);
  fault_rate_R_case1.perm_fault_R = static_cast<Place*>(Places[5]);
  fault_rate_R_case2.R = static_cast<Place*>(Places[2]);
  fault_rate_R_case2.P_error_R = static_cast<Place*>(Places[8]);
  fault_rate_C_case1.C = static_cast<Place*>(Places[3]);
  fault_rate_C_case1.perm_fault_C = static_cast<Place*>(Places[6]);
  fault_rate_C_case2.C = static_cast<Place*>(Places[3]);
  fault_rate_C_case2.P_error_C = static_cast<Place*>(Places[9]);
}

void sanSAN::assignPlacesToActivitiesTimed() {
  fault_occurrence_rate_case1.HW = static_cast<Place*>(Places[0]);
  fault_occurrence_rate_case1.L = static_cast<Place*>(Places[1]);
  fault_occurrence_rate_case2.HW = static_cast<Place*>(Places[0]);
  fault_occurrence_rate_case2.R = static_cast<Place*>(Places[2]);
  fault_occurrence_rate_case3.HW = static_cast<Place*>(Places[0]);
  fault_occurrence_rate_case3.C = static_cast<Place*>(Places[3]);
  fault_activatation_rate_L.perm_fault_L = static_cast<Place*>(Places[4]);
  fault_activatation_rate_L.P_error_L = static_cast<Place*>(Places[7]);
  fault_activatation_rate_R.perm_fault_R = static_cast<Place*>(Places[5]);
  fault_activatation_rate_R.P_error_R = static_cast<Place*>(Places[8]);
  fault_activatation_rate_C.perm_fault_C = static_cast<Place*>(Places[6]);
  fault_activatation_rate_C.P_error_C = static_cast<Place*>(Places[9]);
  error_prop_rate_L.P_error_L = static_cast<Place*>(Places[7]);
  error_prop_rate_L.catastrophic_failure = static_cast<Place*>(Places[10]);
  error_prop_rate_R.P_error_R = static_cast<Place*>(Places[8]);
  error_prop_rate_R.catastrophic_failure = static_cast<Place*>(Places[10]);
  error_prop_rate_C.P_error_C = static_cast<Place*>(Places[9]);
  error_prop_rate_C.catastrophic_failure = static_cast<Place*>(Places[10]);
  cat_rest_rate.catastrophic_failure = static_cast<Place*>(Places[10]);
  cat_rest_rate.HW = static_cast<Place*>(Places[0]);
  cat_rest_rate.Test_L = static_cast<Place*>(Places[11]);
  cat_rest_rate.Test_R = static_cast<Place*>(Places[13]);
  cat_rest_rate.Test_C = static_cast<Place*>(Places[14]);
  cat_rest_rate.perm_fault_L = static_cast<Place*>(Places[4]);
  cat_rest_rate.perm_fault_R = static_cast<Place*>(Places[5]);
  cat_rest_rate.perm_fault_C = static_cast<Place*>(Places[6]);
  cat_rest_rate.P_error_L = static_cast<Place*>(Places[7]);
  cat_rest_rate.P_error_R = static_cast<Place*>(Places[8]);
  cat_rest_rate.P_error_C = static_cast<Place*>(Places[9]);
  cat_rest_rate.safe_failure = static_cast<Place*>(Places[12]);
  test_execution_rate_case1.Test_L = static_cast<Place*>(Places[11]);
  test_execution_rate_case1.perm_fault_L = static_cast<Place*>(Places[4]);
  test_execution_rate_case1.catastrophic_failure =
      static_cast<Place*>(Places[10]);
  test_execution_rate_case1.safe_failure = static_cast<Place*>(Places[12]);
  test_execution_rate_case1.Test_R = static_cast<Place*>(Places[13]);
  test_execution_rate_case2.Test_L = static_cast<Place*>(Places[11]);
  test_execution_rate_case2.Test_R = static_cast<Place*>(Places[13]);
  safe_restore_rate.safe_failure = static_cast<Place*>(Places[12]);
  safe_restore_rate.HW = static_cast<Place*>(Places[0]);
  safe_restore_rate.Test_L = static_cast<Place*>(Places[11]);
  safe_restore_rate.Test_R = static_cast<Place*>(Places[13]);
  safe_restore_rate.Test_C = static_cast<Place*>(Places[14]);
  safe_restore_rate.perm_fault_L = static_cast<Place*>(Places[4]);
  safe_restore_rate.perm_fault_R = static_cast<Place*>(Places[5]);
  safe_restore_rate.perm_fault_C = static_cast<Place*>(Places[6]);
  safe_restore_rate.P_error_L = static_cast<Place*>(Places[7]);
  safe_restore_rate.P_error_R = static_cast<Place*>(Places[8]);
  safe_restore_rate.P_error_C = static_cast<Place*>(Places[9]);
  safe_restore_rate.catastrophic_failure = static_cast<Place*>(Places[10]);
  test_execution_rate_R_case1.Test_R = static_cast<Place*>(Places[13]);
  test_execution_rate_R_case1.perm_fault_R = static_cast<Place*>(Places[5]);
  test_execution_rate_R_case1.catastrophic_failure =
      static_cast<Place*>(Places[10]);
  test_execution_rate_R_case1.safe_failure = static_cast<Place*>(Places[12]);
  test_execution_rate_R_case1.Test_C = static_cast<Place*>(Places[14]);
  test_execution_rate_R_case2.Test_R = static_cast<Place*>(Places[13]);
  test_execution_rate_R_case2.Test_C = static_cast<Place*>(Places[14]);
  test_execution_rate_C_case1.Test_C = static_cast<Place*>(Places[14]);
  test_execution_rate_C_case1.perm_fault_C = static_cast<Place*>(Places[6]);
  test_execution_rate_C_case1.catastrophic_failure =
      static_cast<Place*>(Places[10]);
  test_execution_rate_C_case1.safe_failure = static_cast<Place*>(Places[12]);
  test_execution_rate_C_case1.Test_L = static_cast<Place*>(Places[11]);
  test_execution_rate_C_case2.Test_C = static_cast<Place*>(Places[14]);
  test_execution_rate_C_case2.Test_L = static_cast<Place*>(Places[11]);
}
