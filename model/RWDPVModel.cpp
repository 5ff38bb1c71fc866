#include "model/RWDPVModel.h"

#include <memory>

#include "model/RWDPVNodes.h"
#include "model/sanSAN.h"

namespace {

constexpr int kNumRewardVariables = 3;

}  // namespace

RWDPVModel::RWDPVModel(bool expandTimePoints) {
  ChildModel = std::make_unique<sanSAN>();
  DefineName("RWDPVModel");
  CreatePVList(kNumRewardVariables, expandTimePoints);
  Initialize();
}

RWDPVModel::~RWDPVModel() = default;

PerformanceVariableNode* RWDPVModel::createPVNode(int variable,
                                                  int time_index) {
  switch (variable) {
    case 0:
      return new RWDPV0(time_index);
    case 1:
      return new RWDPV1(time_index);
    case 2:
      return new RWDPV2(time_index);
    default:
      return nullptr;
  }
}
