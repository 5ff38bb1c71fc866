#ifndef GEN_TESTS_SUPPORT_TESTMODEL_H_
#define GEN_TESTS_SUPPORT_TESTMODEL_H_

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "framework/Activity.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "state/Place.h"
#include "state/StructStateVariable.h"

// An activity whose behaviour is given by lambdas, for assembling small SAN
// models in tests. Setters return the activity so that one activity reads as
// one statement:
//   model.AddActivity("move").When([&] { return p.getMark() > 0; })
//       .Does([&] { p.setMark(p.getMark() - 1); }).WithRate(2.0)
//       .Reads({&p}).Changes({&p});
// Defaults: always enabled, no effect, rate 1, weight 1, rank 0, one phase.
class TestActivity : public Activity {
 public:
  TestActivity(const char* name, Distribution distribution, int group_id);

  TestActivity& When(std::function<bool()> predicate);
  TestActivity& Does(std::function<void()> effect);
  TestActivity& WithRate(double rate);
  TestActivity& WithRate(std::function<double()> rate);
  TestActivity& WithWeight(double weight);
  TestActivity& WithWeight(std::function<double()> weight);
  TestActivity& WithRank(int rank);
  TestActivity& WithDelay(double delay);    // deterministic delay
  TestActivity& WithPhases(double phases);  // Erlang phase count
  // Enabling and affecting arcs, added by TestModel::Finish in this order.
  TestActivity& Reads(std::initializer_list<BaseStateVariableClass*> svs);
  TestActivity& Changes(std::initializer_list<BaseStateVariableClass*> svs);

  bool Enabled() override;
  double Weight() override;
  double Rate() override;
  bool ReactivationPredicate() override { return false; }
  bool ReactivationFunction() override { return false; }
  // Deterministic: the delay; instantaneous: 0; otherwise the mean 1/rate
  // (no random draw, so tests stay reproducible).
  double SampleDistribution() override;
  // Null for an instantaneous activity; otherwise entry 0 is the delay
  // (deterministic) or the rate, entry 1 the phase count.
  double* ReturnDistributionParameters() override;
  BaseActionClass* Fire() override;
  int Rank() override { return rank_; }
  double ErlangParamM() override { return phases_; }
  void LinkVariables() override {}

  int fire_count = 0;

 private:
  friend class TestModel;

  std::function<bool()> predicate_;
  std::function<void()> effect_;
  std::function<double()> rate_;
  std::function<double()> weight_;
  int rank_ = 0;
  double delay_ = 0.0;
  double phases_ = 1.0;
  double parameters_[2] = {0.0, 0.0};
  std::vector<BaseStateVariableClass*> reads_;
  std::vector<BaseStateVariableClass*> changes_;
};

// A SAN model assembled in a few lines. Every activity added alone is its own
// group; AddCases makes the cases of one activity, which share a GroupId and
// are gathered in a PostselectGroup named after the activity plus "Group";
// AddPreselect gathers its members in a PreselectGroup the same way.
// GroupId is the index into Groups, as in generated models. The model's
// state variables are its places and structured variables in the order they
// were added. Call Finish() once after adding everything; it lays out the
// arrays and adds the arcs.
class TestModel : public SANModel {
 public:
  struct CaseSet {
    PostselectGroup* group;
    std::vector<TestActivity*> cases;  // named <name>_case1, _case2, ...
  };
  struct MemberSet {
    PreselectGroup* group;
    std::vector<TestActivity*> members;  // named <name>_member1, ...
  };

  explicit TestModel(const char* name = "test");

  Place& AddPlace(const char* name, short marking = 0);
  Place& AddReadOnlyPlace(const char* name, short marking = 0);
  TestActivity& AddActivity(const char* name,
                            Distribution distribution = Exponential);
  TestActivity& AddExponential(const char* name, double rate);
  TestActivity& AddInstantaneous(const char* name);
  TestActivity& AddDeterministic(const char* name, double delay);
  TestActivity& AddErlang(const char* name, double phases, double rate);
  CaseSet AddCases(const char* name, Distribution distribution, int count);
  MemberSet AddPreselect(const char* name, Distribution distribution,
                         int count);
  // A place held by the model that is not one of its state variables: a
  // field of a structured variable.
  Place& AddFieldPlace(const char* name, short marking = 0);
  // A structured variable over `fields` (not owned by it; give fields made
  // by AddFieldPlace or AddFieldStruct). AddStruct makes it a state variable
  // of the model, AddFieldStruct a field for another structure.
  BaseStructStateVariable& AddStruct(
      const char* name,
      std::initializer_list<BaseStructStateVariable::fieldType> fields);
  BaseStructStateVariable& AddFieldStruct(
      const char* name,
      std::initializer_list<BaseStructStateVariable::fieldType> fields);
  void Finish();

  Place& place(int i) { return *places_[static_cast<std::size_t>(i)]; }
  TestActivity& activity(int i) {
    return *activities_[static_cast<std::size_t>(i)];
  }

 private:
  template <typename Group>
  Group* AddMemberGroup(const char* name, const char* member_suffix,
                        Distribution distribution, int count,
                        std::vector<TestActivity*>& members);

  std::vector<std::unique_ptr<Place>> places_;
  std::vector<std::unique_ptr<Place>> read_only_;
  std::vector<std::unique_ptr<Place>> field_places_;
  std::vector<std::unique_ptr<BaseStructStateVariable>> structs_;
  std::vector<BaseStateVariableClass*> state_variables_;  // image order
  std::vector<std::unique_ptr<TestActivity>> activities_;
  std::vector<std::unique_ptr<BaseGroupClass>> member_groups_;
  std::vector<BaseGroupClass*> group_list_;  // index = GroupId
};

// Makes `a` move one token from `from` to `to` while `from` holds one, with
// the matching arcs.
TestActivity& MoveToken(TestActivity& a, Place& from, Place& to);

// Replaces the group-selection uniform source with a scripted sequence for
// the lifetime of the object; the previous source is the program-wide
// generator again afterwards.
class ScriptedUniforms {
 public:
  explicit ScriptedUniforms(std::vector<double> draws);
  ScriptedUniforms(const ScriptedUniforms&) = delete;
  ScriptedUniforms& operator=(const ScriptedUniforms&) = delete;
  ~ScriptedUniforms();
  int draws_taken() const;
};

#endif  // GEN_TESTS_SUPPORT_TESTMODEL_H_
