#ifndef GEN_TESTS_TRACE_TRACETESTMODELS_H_
#define GEN_TESTS_TRACE_TRACETESTMODELS_H_

#include <memory>
#include <string>

#include "reward/PVModel.h"
#include "tests/support/TestModel.h"

// Places A = 3 and B = -2, a read-only place R = 7 and an activity "fault"
// enabled by A.
inline void AddTwoPlaces(TestModel& model) {
  Place& a = model.AddPlace("A", 3);
  model.AddPlace("B", -2);
  model.AddReadOnlyPlace("R", 7);
  model.AddActivity("fault").Reads({&a});
  model.Finish();
}

// The block a trace sink prints for a model made by AddTwoPlaces.
inline std::string TwoPlaceBlock(const TestModel& m) {
  return "  Model: (" + std::to_string(m.ModelId) + ")" + m.Name +
         "\n    A = 3\n    B = -2\n";
}

// A composed model: one local place X = 1 and two SAN children.
class ComposedModel : public BaseModelClass {
 public:
  ComposedModel() : x_("X", 1), left_("left"), right_("right") {
    DefineName("top");
    NumStateVariables = 1;
    AddTwoPlaces(left_);
    AddTwoPlaces(right_);
  }

  void listModels(const char*, List<BaseModelClass>*) override {}
  void CurrentState(void*) override {}
  void listActions(List<BaseActionClass>*) override {}
  void listGroups(List<BaseGroupClass>*) override {}
  void SetState(void*) override {}
  int StateSize() override { return 0; }
  bool CompareState(void*, void*) override { return true; }
  void listActions(const char*, List<BaseActionClass>*) override {}
  void listSVs(const char*, const char*, List<BaseStateVariableClass>*,
               List<BaseModelClass>*) override {}
  BaseStateVariableClass** GetLocalStateVariables(std::ostream*) override {
    return locals_;
  }
  int GetNumberOfChildren() override { return 2; }
  BaseModelClass* GetChild(int i) override { return i == 0 ? &left_ : &right_; }

  TestModel& left() { return left_; }
  TestModel& right() { return right_; }

 private:
  Place x_;
  TestModel left_;
  TestModel right_;
  BaseStateVariableClass* locals_[1] = {&x_};
};

// A reward model without reward variables around a model from AddTwoPlaces.
class TracePVModel : public PVModel {
 public:
  TracePVModel() {
    auto child = std::make_unique<TestModel>("san");
    AddTwoPlaces(*child);
    san = child.get();
    ChildModel = std::move(child);
  }
  PerformanceVariableNode* createPVNode(int, int) override { return nullptr; }

  TestModel* san;
};

#endif  // GEN_TESTS_TRACE_TRACETESTMODELS_H_
