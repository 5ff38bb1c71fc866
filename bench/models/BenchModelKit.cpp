#include "bench/models/BenchModelKit.h"

#include <utility>

#include "distributions/UserDistributions.h"
#include "framework/SANModel.h"
#include "output/Formats.h"

namespace {

// Settings of every benchmark reward variable: a steady-state variable
// with one time point, like the compiled-in model's.
constexpr RewardType kRewardType = RewardKindCode(RewardKind::kSteadyState);
constexpr int kNumTimePoints = 1;
constexpr double kStartTimes[kNumTimePoints] = {0.0};
constexpr double kStopTimes[kNumTimePoints] = {1.0};

}  // namespace

BenchActivity::BenchActivity(const char* name, int group_id,
                             Distribution distribution, int affected)
    : Activity(name, group_id, distribution, kDefaultExecutionPolicy, affected,
               1, false) {}

double BenchActivity::SampleDistribution() {
  if (DistributionType == Instantaneous) return 0.0;
  return TheDistribution->Exponential(Rate());
}

double* BenchActivity::ReturnDistributionParameters() {
  if (DistributionType == Instantaneous) return nullptr;
  parameters_[0] = Rate();
  return parameters_;
}

MarkingSumWorker::MarkingSumWorker(std::vector<const Place*> places)
    : places_(std::move(places)) {
  NumModelPointers = 1;
  ModelPointers.push_back(ModelBinding::To(&model_));
}

double MarkingSumWorker::Reward_Function() {
  int sum = 0;
  for (const Place* place : places_) sum += place->getMark();
  return static_cast<double>(sum);
}

MarkingSumNode::MarkingSumNode(const char* name, const char* model_name,
                               std::vector<const Place*> places, int time_index)
    : places_(std::move(places)) {
  const int count = static_cast<int>(places_.size());
  ModelRef = &TopModel;
  Initialize(name, kRewardType, kNumTimePoints, kStartTimes, kStopTimes,
             time_index, 0, 1, count);
  TimeType = 1;
  for (const Place* place : places_) {
    AddVariableDependency(place->getName(), model_name);
  }
}

void MarkingSumNode::CreateWorkerList() {
  for (auto& worker : Workers) {
    worker = std::make_unique<MarkingSumWorker>(places_);
  }
}

BenchPVModel::BenchPVModel(std::unique_ptr<SANModel> child,
                           const char* reward_name,
                           std::vector<const Place*> reward_places)
    : reward_name_(reward_name), reward_places_(std::move(reward_places)) {
  const std::string model_name = child->getName();
  ChildModel = std::move(child);
  DefineName((model_name + "PV").c_str());
  CreatePVList(1, false);
  Initialize();
}

BenchPVModel::~BenchPVModel() = default;

PerformanceVariableNode* BenchPVModel::createPVNode(int variable,
                                                    int time_index) {
  if (variable != 0) return nullptr;
  return new MarkingSumNode(reward_name_.c_str(), ChildModel->getName(),
                            reward_places_, time_index);
}
