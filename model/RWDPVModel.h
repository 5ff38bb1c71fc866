#ifndef GEN_MODEL_RWDPVMODEL_H_
#define GEN_MODEL_RWDPVMODEL_H_

#include "reward/PVModel.h"

// The compiled-in reward model: the failure model "san" with three
// steady-state reward variables ("Cpu_Failure", "cpu_catastrophic_failure",
// "cpu_safe_failure").
class RWDPVModel : public PVModel {
 public:
  explicit RWDPVModel(bool expandTimePoints);
  ~RWDPVModel() override;

  // The node of reward variable 0, 1 or 2; null for any other variable.
  PerformanceVariableNode* createPVNode(int variable, int time_index) override;
};

#endif  // GEN_MODEL_RWDPVMODEL_H_
