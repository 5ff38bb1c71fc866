#ifndef GEN_MODEL_SANSAN_H_
#define GEN_MODEL_SANSAN_H_

#include <array>
#include <memory>

#include "framework/Activity.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "state/Place.h"

// The failure model "san": a processor of three components L, R and C.
// A fault occurs in one component and becomes a latent permanent fault or an
// active error; a permanent fault activates into an error, an error
// propagates into a catastrophic failure, and a test token cycling L, R, C
// may find a latent fault first and turn it into a safe failure. Either
// failure is repaired by a restore to the initial marking. Rates and case
// weights read the study's global variables at every evaluation.
//
// Places, activities and groups are numbered in declaration order; the
// place order is the order of the markings in the state image.
class sanSAN : public SANModel {
 public:
  class fault_rate_LActivity_case1 : public Activity {
   public:
    fault_rate_LActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* L = nullptr;
    short* L_Mark = nullptr;
    Place* perm_fault_L = nullptr;
    short* perm_fault_L_Mark = nullptr;
  };

  class fault_rate_LActivity_case2 : public Activity {
   public:
    fault_rate_LActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* L = nullptr;
    short* L_Mark = nullptr;
    Place* P_error_L = nullptr;
    short* P_error_L_Mark = nullptr;
  };

  class fault_rate_RActivity_case1 : public Activity {
   public:
    fault_rate_RActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* R = nullptr;
    short* R_Mark = nullptr;
    Place* perm_fault_R = nullptr;
    short* perm_fault_R_Mark = nullptr;
  };

  class fault_rate_RActivity_case2 : public Activity {
   public:
    fault_rate_RActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* R = nullptr;
    short* R_Mark = nullptr;
    Place* P_error_R = nullptr;
    short* P_error_R_Mark = nullptr;
  };

  class fault_rate_CActivity_case1 : public Activity {
   public:
    fault_rate_CActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* C = nullptr;
    short* C_Mark = nullptr;
    Place* perm_fault_C = nullptr;
    short* perm_fault_C_Mark = nullptr;
  };

  class fault_rate_CActivity_case2 : public Activity {
   public:
    fault_rate_CActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* C = nullptr;
    short* C_Mark = nullptr;
    Place* P_error_C = nullptr;
    short* P_error_C_Mark = nullptr;
  };

  class fault_occurrence_rateActivity_case1 : public Activity {
   public:
    fault_occurrence_rateActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* HW = nullptr;
    short* HW_Mark = nullptr;
    Place* L = nullptr;
    short* L_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class fault_occurrence_rateActivity_case2 : public Activity {
   public:
    fault_occurrence_rateActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* HW = nullptr;
    short* HW_Mark = nullptr;
    Place* R = nullptr;
    short* R_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class fault_occurrence_rateActivity_case3 : public Activity {
   public:
    fault_occurrence_rateActivity_case3();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* HW = nullptr;
    short* HW_Mark = nullptr;
    Place* C = nullptr;
    short* C_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class fault_activatation_rate_LActivity : public Activity {
   public:
    fault_activatation_rate_LActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* perm_fault_L = nullptr;
    short* perm_fault_L_Mark = nullptr;
    Place* P_error_L = nullptr;
    short* P_error_L_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class fault_activatation_rate_RActivity : public Activity {
   public:
    fault_activatation_rate_RActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* perm_fault_R = nullptr;
    short* perm_fault_R_Mark = nullptr;
    Place* P_error_R = nullptr;
    short* P_error_R_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class fault_activatation_rate_CActivity : public Activity {
   public:
    fault_activatation_rate_CActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* perm_fault_C = nullptr;
    short* perm_fault_C_Mark = nullptr;
    Place* P_error_C = nullptr;
    short* P_error_C_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class error_prop_rate_LActivity : public Activity {
   public:
    error_prop_rate_LActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* P_error_L = nullptr;
    short* P_error_L_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class error_prop_rate_RActivity : public Activity {
   public:
    error_prop_rate_RActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* P_error_R = nullptr;
    short* P_error_R_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class error_prop_rate_CActivity : public Activity {
   public:
    error_prop_rate_CActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* P_error_C = nullptr;
    short* P_error_C_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class cat_rest_rateActivity : public Activity {
   public:
    cat_rest_rateActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    Place* HW = nullptr;
    short* HW_Mark = nullptr;
    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    Place* perm_fault_L = nullptr;
    short* perm_fault_L_Mark = nullptr;
    Place* perm_fault_R = nullptr;
    short* perm_fault_R_Mark = nullptr;
    Place* perm_fault_C = nullptr;
    short* perm_fault_C_Mark = nullptr;
    Place* P_error_L = nullptr;
    short* P_error_L_Mark = nullptr;
    Place* P_error_R = nullptr;
    short* P_error_R_Mark = nullptr;
    Place* P_error_C = nullptr;
    short* P_error_C_Mark = nullptr;
    Place* safe_failure = nullptr;
    short* safe_failure_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rateActivity_case1 : public Activity {
   public:
    test_execution_rateActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    Place* perm_fault_L = nullptr;
    short* perm_fault_L_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    Place* safe_failure = nullptr;
    short* safe_failure_Mark = nullptr;
    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rateActivity_case2 : public Activity {
   public:
    test_execution_rateActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class safe_restore_rateActivity : public Activity {
   public:
    safe_restore_rateActivity();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* safe_failure = nullptr;
    short* safe_failure_Mark = nullptr;
    Place* HW = nullptr;
    short* HW_Mark = nullptr;
    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    Place* perm_fault_L = nullptr;
    short* perm_fault_L_Mark = nullptr;
    Place* perm_fault_R = nullptr;
    short* perm_fault_R_Mark = nullptr;
    Place* perm_fault_C = nullptr;
    short* perm_fault_C_Mark = nullptr;
    Place* P_error_L = nullptr;
    short* P_error_L_Mark = nullptr;
    Place* P_error_R = nullptr;
    short* P_error_R_Mark = nullptr;
    Place* P_error_C = nullptr;
    short* P_error_C_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rate_RActivity_case1 : public Activity {
   public:
    test_execution_rate_RActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    Place* perm_fault_R = nullptr;
    short* perm_fault_R_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    Place* safe_failure = nullptr;
    short* safe_failure_Mark = nullptr;
    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rate_RActivity_case2 : public Activity {
   public:
    test_execution_rate_RActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_R = nullptr;
    short* Test_R_Mark = nullptr;
    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rate_CActivity_case1 : public Activity {
   public:
    test_execution_rate_CActivity_case1();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    Place* perm_fault_C = nullptr;
    short* perm_fault_C_Mark = nullptr;
    Place* catastrophic_failure = nullptr;
    short* catastrophic_failure_Mark = nullptr;
    Place* safe_failure = nullptr;
    short* safe_failure_Mark = nullptr;
    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  class test_execution_rate_CActivity_case2 : public Activity {
   public:
    test_execution_rate_CActivity_case2();
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    bool ReactivationPredicate() override;
    bool ReactivationFunction() override;
    double SampleDistribution() override;
    double* ReturnDistributionParameters() override;
    BaseActionClass* Fire() override;
    int Rank() override;
    void LinkVariables() override;

    Place* Test_C = nullptr;
    short* Test_C_Mark = nullptr;
    Place* Test_L = nullptr;
    short* Test_L_Mark = nullptr;
    std::array<double, 1> DistributionParameters{};
  };

  sanSAN();
  ~sanSAN() override;

  // Point the activities' place fields at the model's places.
  void assignPlacesToActivitiesInst();   // activities 0 to 5
  void assignPlacesToActivitiesTimed();  // activities 6 to 22

  std::unique_ptr<Place> HW;
  std::unique_ptr<Place> L;
  std::unique_ptr<Place> R;
  std::unique_ptr<Place> C;
  std::unique_ptr<Place> perm_fault_L;
  std::unique_ptr<Place> perm_fault_R;
  std::unique_ptr<Place> perm_fault_C;
  std::unique_ptr<Place> P_error_L;
  std::unique_ptr<Place> P_error_R;
  std::unique_ptr<Place> P_error_C;
  std::unique_ptr<Place> catastrophic_failure;
  std::unique_ptr<Place> Test_L;
  std::unique_ptr<Place> safe_failure;
  std::unique_ptr<Place> Test_R;
  std::unique_ptr<Place> Test_C;

  fault_rate_LActivity_case1 fault_rate_L_case1;
  fault_rate_LActivity_case2 fault_rate_L_case2;
  fault_rate_RActivity_case1 fault_rate_R_case1;
  fault_rate_RActivity_case2 fault_rate_R_case2;
  fault_rate_CActivity_case1 fault_rate_C_case1;
  fault_rate_CActivity_case2 fault_rate_C_case2;
  fault_occurrence_rateActivity_case1 fault_occurrence_rate_case1;
  fault_occurrence_rateActivity_case2 fault_occurrence_rate_case2;
  fault_occurrence_rateActivity_case3 fault_occurrence_rate_case3;
  fault_activatation_rate_LActivity fault_activatation_rate_L;
  fault_activatation_rate_RActivity fault_activatation_rate_R;
  fault_activatation_rate_CActivity fault_activatation_rate_C;
  error_prop_rate_LActivity error_prop_rate_L;
  error_prop_rate_RActivity error_prop_rate_R;
  error_prop_rate_CActivity error_prop_rate_C;
  cat_rest_rateActivity cat_rest_rate;
  test_execution_rateActivity_case1 test_execution_rate_case1;
  test_execution_rateActivity_case2 test_execution_rate_case2;
  safe_restore_rateActivity safe_restore_rate;
  test_execution_rate_RActivity_case1 test_execution_rate_R_case1;
  test_execution_rate_RActivity_case2 test_execution_rate_R_case2;
  test_execution_rate_CActivity_case1 test_execution_rate_C_case1;
  test_execution_rate_CActivity_case2 test_execution_rate_C_case2;

  PostselectGroup fault_rate_LGroup;
  PostselectGroup fault_rate_RGroup;
  PostselectGroup fault_rate_CGroup;
  PostselectGroup fault_occurrence_rateGroup;
  PostselectGroup test_execution_rateGroup;
  PostselectGroup test_execution_rate_RGroup;
  PostselectGroup test_execution_rate_CGroup;
};

#endif  // GEN_MODEL_SANSAN_H_
