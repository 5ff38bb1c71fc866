#ifndef GEN_TESTS_REWARD_REWARDTESTMODEL_H_
#define GEN_TESTS_REWARD_REWARDTESTMODEL_H_

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/SANModel.h"
#include "reward/ImpulseNodeClass.h"
#include "reward/PVModel.h"
#include "reward/PerformanceVariableNode.h"
#include "reward/SteadyState.h"
#include "tests/support/TestModel.h"

// Rate reward: the marking of one place of its model.
class MarkWorker : public SteadyState {
 public:
  explicit MarkWorker(std::string place) : place_(std::move(place)) {
    NumModelPointers = 1;
    ModelPointers.push_back(ModelBinding::To(&model));
  }
  double Reward_Function() override {
    for (BaseStateVariableClass* sv : model->Places) {
      if (place_ == sv->getName()) return static_cast<Place*>(sv)->getMark();
    }
    return -1.0;
  }

  TestModel* model = nullptr;

 private:
  std::string place_;
};

// Impulse reward: a fixed amount per firing.
class FixedImpulse : public ImpulseNodeClass {
 public:
  explicit FixedImpulse(double amount) : amount_(amount) {}
  void EndInterval(double) override {}
  double Impulse_Function() override { return amount_; }
  void Accumulate() override {
    Value += amount_;
    Square += amount_ * amount_;
  }
  void CurrentImpulse(BaseActionClass*) override {
    Value = amount_;
    Square = amount_ * amount_;
  }
  void ResetInterval() override { Reset(); }
  std::vector<std::unique_ptr<ImpulseNodeClass>> CreateWorkers(int n) override {
    std::vector<std::unique_ptr<ImpulseNodeClass>> workers;
    for (int i = 0; i < n; ++i) {
      workers.push_back(std::make_unique<FixedImpulse>(amount_));
    }
    return workers;
  }

 private:
  double amount_;
};

// A reward variable on place `place` of model `model`, with time points
// [k, k+1] for k = 0 .. time_points-1 and room for `impulses` impulses.
class MarkNode : public PerformanceVariableNode {
 public:
  MarkNode(const char* name, const char* model, const char* place,
           int time_points = 1, int time_index = 0, int impulses = 0)
      : place_(place) {
    ModelRef = &top_model;
    std::vector<double> starts;
    std::vector<double> stops;
    for (int k = 0; k < time_points; ++k) {
      starts.push_back(k);
      stops.push_back(k + 1);
    }
    Initialize(name, 3, time_points, starts.data(), stops.data(), time_index,
               impulses, 2, 2);
    AddVariableDependency(place, model);
  }
  // Earns `amount` whenever `action` of `model` fires.
  MarkNode& WithImpulse(const char* action, const char* model, double amount) {
    prototypes_.push_back(std::make_unique<FixedImpulse>(amount));
    AddImpulse(action, model, prototypes_.back().get());
    return *this;
  }
  void CreateWorkerList() override {
    for (auto& worker : Workers) worker = std::make_unique<MarkWorker>(place_);
  }

  BaseModelClass* top_model = nullptr;

 private:
  std::string place_;
  std::vector<std::unique_ptr<FixedImpulse>> prototypes_;
};

// A reward model over any child model, its nodes made by a callback.
class TestRewardModel : public PVModel {
 public:
  using Factory = std::function<PerformanceVariableNode*(int, int)>;

  TestRewardModel(std::unique_ptr<BaseModelClass> child, int num_variables,
                  Factory factory, bool expand_time_points = false)
      : factory_(std::move(factory)) {
    ChildModel = std::move(child);
    CreatePVList(num_variables, expand_time_points);
    Initialize();
  }
  PerformanceVariableNode* createPVNode(int variable, int time_index) override {
    return factory_(variable, time_index);
  }

 private:
  Factory factory_;
};

// Model "t": one token moving between "up" and "down" ("fail", "repair"),
// and "tick", which changes nothing.
inline std::unique_ptr<TestModel> MakeUpDownModel() {
  auto model = std::make_unique<TestModel>("t");
  Place& up = model->AddPlace("up", 1);
  Place& down = model->AddPlace("down", 0);
  model->AddExponential("fail", 2.0)
      .When([&up] { return up.getMark() > 0; })
      .Does([&up, &down] {
        up.setMark(static_cast<short>(up.getMark() - 1));
        down.setMark(static_cast<short>(down.getMark() + 1));
      })
      .Reads({&up})
      .Changes({&up, &down});
  model->AddExponential("repair", 3.0)
      .When([&down] { return down.getMark() > 0; })
      .Does([&up, &down] {
        down.setMark(static_cast<short>(down.getMark() - 1));
        up.setMark(static_cast<short>(up.getMark() + 1));
      })
      .Reads({&down})
      .Changes({&up, &down});
  model->AddExponential("tick", 1.0);
  model->Finish();
  return model;
}

#endif  // GEN_TESTS_REWARD_REWARDTESTMODEL_H_
