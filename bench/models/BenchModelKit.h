#ifndef GEN_BENCH_MODELS_BENCHMODELKIT_H_
#define GEN_BENCH_MODELS_BENCHMODELKIT_H_

#include <memory>
#include <string>
#include <vector>

#include "framework/Activity.h"
#include "framework/SANModel.h"
#include "reward/PVModel.h"
#include "reward/PerformanceVariableNode.h"
#include "reward/SteadyState.h"
#include "state/Place.h"

// Building blocks shared by the benchmark models: their activities, their
// one reward variable and the reward model around them.

// An exponential or instantaneous activity (or activity case) of a
// benchmark model. Derived classes give Enabled, Rate (timed ones), Weight
// (cases) and Fire; the timing questions state-space generation never asks
// are answered here once. Every activity has Rank 1.
class BenchActivity : public Activity {
 public:
  // `affected`: the number of places firing changes.
  BenchActivity(const char* name, int group_id, Distribution distribution,
                int affected);

  double Weight() override { return 1.0; }
  double Rate() override { return 0.0; }
  bool ReactivationPredicate() override { return false; }
  bool ReactivationFunction() override { return false; }
  // An exponential draw at Rate(); 0 for an instantaneous activity.
  double SampleDistribution() override;
  // {Rate()} for an exponential activity; null for an instantaneous one.
  double* ReturnDistributionParameters() override;
  int Rank() override { return 1; }
  void LinkVariables() override {}

 private:
  double parameters_[1] = {0.0};
};

// The markings of `places`, summed: the reward of a benchmark model's one
// reward variable. `places` are read at every evaluation (not owned).
class MarkingSumWorker : public SteadyState {
 public:
  explicit MarkingSumWorker(std::vector<const Place*> places);
  double Reward_Function() override;

 private:
  std::vector<const Place*> places_;
  BaseModelClass* model_ = nullptr;  // bound by name; not read
};

// A steady-state reward variable whose rate reward is the sum of the
// markings of some places of one model.
class MarkingSumNode : public PerformanceVariableNode {
 public:
  // `model_name` names the model that holds `places`; `place_names` are
  // their names there, in the order of `places`.
  MarkingSumNode(const char* name, const char* model_name,
                 std::vector<const Place*> places, int time_index);
  void CreateWorkerList() override;

  BaseModelClass* TopModel = nullptr;  // set through ModelRef

 private:
  std::vector<const Place*> places_;
};

// The reward model of a benchmark: one SAN model and one reward variable,
// the sum of the markings of `reward_places` of that model.
class BenchPVModel : public PVModel {
 public:
  BenchPVModel(std::unique_ptr<SANModel> child, const char* reward_name,
               std::vector<const Place*> reward_places);
  ~BenchPVModel() override;

  PerformanceVariableNode* createPVNode(int variable, int time_index) override;

 private:
  std::string reward_name_;
  std::vector<const Place*> reward_places_;
};

#endif  // GEN_BENCH_MODELS_BENCHMODELKIT_H_
