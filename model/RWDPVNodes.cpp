#include "model/RWDPVNodes.h"

#include <memory>

#include "model/sanSAN.h"
#include "output/Formats.h"

namespace {

// Settings shared by the three reward variables.
constexpr RewardType kRewardType = RewardKindCode(RewardKind::kSteadyState);
constexpr int kNumTimePoints = 1;
constexpr double kStartTimes[kNumTimePoints] = {0.0};
constexpr double kStopTimes[kNumTimePoints] = {1.0};
constexpr int kNumImpulses = 0;
constexpr int kModelCapacity = 2;
constexpr int kVariableCapacity = 2;

void SetUpNode(PerformanceVariableNode& node, BaseModelClass** top_model,
               const char* name, int time_index) {
  node.ModelRef = top_model;
  node.Initialize(name, kRewardType, kNumTimePoints, kStartTimes, kStopTimes,
                  time_index, kNumImpulses, kModelCapacity, kVariableCapacity);
  node.TimeType = 1;
  node.AddVariableDependency("catastrophic_failure", "san");
  node.AddVariableDependency("safe_failure", "san");
}

struct Failures {
  int catastrophic;
  int safe;
};

Failures Read(const sanSAN* model) {
  return {model->catastrophic_failure->getMark(),
          model->safe_failure->getMark()};
}

}  // namespace

RWDPV0Worker::RWDPV0Worker() {
  NumModelPointers = 1;
  ModelPointers.push_back(ModelBinding::To(&sanModel));
}

RWDPV0Worker::~RWDPV0Worker() = default;

double RWDPV0Worker::Reward_Function() {
  const Failures f = Read(sanModel);
  return f.catastrophic > 0 || f.safe > 0 ? 1.0 : 0.0;
}

RWDPV1Worker::RWDPV1Worker() {
  NumModelPointers = 1;
  ModelPointers.push_back(ModelBinding::To(&sanModel));
}

RWDPV1Worker::~RWDPV1Worker() = default;

double RWDPV1Worker::Reward_Function() {
  const Failures f = Read(sanModel);
  if (f.catastrophic > 0 || f.safe > 0) {
    return static_cast<double>(f.catastrophic / (f.catastrophic + f.safe));
  }
  return 0.0;
}

RWDPV2Worker::RWDPV2Worker() {
  NumModelPointers = 1;
  ModelPointers.push_back(ModelBinding::To(&sanModel));
}

RWDPV2Worker::~RWDPV2Worker() = default;

double RWDPV2Worker::Reward_Function() {
  const Failures f = Read(sanModel);
  if (f.catastrophic > 0 || f.safe > 0) {
    return static_cast<double>(1 - f.catastrophic / (f.catastrophic + f.safe));
  }
  return 0.0;
}

RWDPV0::RWDPV0(int time_index) {
  SetUpNode(*this, &TopModel, "Cpu_Failure", time_index);
}

RWDPV0::~RWDPV0() = default;

void RWDPV0::CreateWorkerList() {
  for (auto& worker : Workers) worker = std::make_unique<RWDPV0Worker>();
}

RWDPV1::RWDPV1(int time_index) {
  SetUpNode(*this, &TopModel, "cpu_catastrophic_failure", time_index);
}

RWDPV1::~RWDPV1() = default;

void RWDPV1::CreateWorkerList() {
  for (auto& worker : Workers) worker = std::make_unique<RWDPV1Worker>();
}

RWDPV2::RWDPV2(int time_index) {
  SetUpNode(*this, &TopModel, "cpu_safe_failure", time_index);
}

RWDPV2::~RWDPV2() = default;

void RWDPV2::CreateWorkerList() {
  for (auto& worker : Workers) worker = std::make_unique<RWDPV2Worker>();
}
