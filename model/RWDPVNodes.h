#ifndef GEN_MODEL_RWDPVNODES_H_
#define GEN_MODEL_RWDPVNODES_H_

#include "reward/PerformanceVariableNode.h"
#include "reward/SteadyState.h"

class BaseModelClass;
class sanSAN;

// The three reward variables of the failure model. Each reads the markings
// c of "catastrophic_failure" and s of "safe_failure" of the model "san";
// all are 0 when neither holds a token.

// "Cpu_Failure": 1 when c > 0 or s > 0.
class RWDPV0Worker : public SteadyState {
 public:
  RWDPV0Worker();
  ~RWDPV0Worker() override;
  double Reward_Function() override;

  sanSAN* sanModel = nullptr;
};

// "cpu_catastrophic_failure": the integer quotient c / (c + s).
class RWDPV1Worker : public SteadyState {
 public:
  RWDPV1Worker();
  ~RWDPV1Worker() override;
  double Reward_Function() override;

  sanSAN* sanModel = nullptr;
};

// "cpu_safe_failure": 1 minus the integer quotient c / (c + s).
class RWDPV2Worker : public SteadyState {
 public:
  RWDPV2Worker();
  ~RWDPV2Worker() override;
  double Reward_Function() override;

  sanSAN* sanModel = nullptr;
};

class RWDPV0 : public PerformanceVariableNode {
 public:
  explicit RWDPV0(int time_index);
  ~RWDPV0() override;
  void CreateWorkerList() override;

  BaseModelClass* TopModel = nullptr;
};

class RWDPV1 : public PerformanceVariableNode {
 public:
  explicit RWDPV1(int time_index);
  ~RWDPV1() override;
  void CreateWorkerList() override;

  BaseModelClass* TopModel = nullptr;
};

class RWDPV2 : public PerformanceVariableNode {
 public:
  explicit RWDPV2(int time_index);
  ~RWDPV2() override;
  void CreateWorkerList() override;

  BaseModelClass* TopModel = nullptr;
};

#endif  // GEN_MODEL_RWDPVNODES_H_
