#include "tests/support/TestModel.h"

#include <string>
#include <utility>

TestActivity::TestActivity(const char* name, Distribution distribution,
                           int group_id)
    : Activity(name, group_id, distribution, kDefaultExecutionPolicy, 0, 1,
               false) {}

TestActivity& TestActivity::When(std::function<bool()> predicate) {
  predicate_ = std::move(predicate);
  return *this;
}

TestActivity& TestActivity::Does(std::function<void()> effect) {
  effect_ = std::move(effect);
  return *this;
}

TestActivity& TestActivity::WithRate(double rate) {
  rate_ = [rate] { return rate; };
  return *this;
}

TestActivity& TestActivity::WithRate(std::function<double()> rate) {
  rate_ = std::move(rate);
  return *this;
}

TestActivity& TestActivity::WithWeight(double weight) {
  weight_ = [weight] { return weight; };
  return *this;
}

TestActivity& TestActivity::WithWeight(std::function<double()> weight) {
  weight_ = std::move(weight);
  return *this;
}

TestActivity& TestActivity::WithRank(int rank) {
  rank_ = rank;
  return *this;
}

TestActivity& TestActivity::WithDelay(double delay) {
  delay_ = delay;
  return *this;
}

TestActivity& TestActivity::WithPhases(double phases) {
  phases_ = phases;
  return *this;
}

TestActivity& TestActivity::Reads(
    std::initializer_list<BaseStateVariableClass*> svs) {
  reads_.insert(reads_.end(), svs.begin(), svs.end());
  return *this;
}

TestActivity& TestActivity::Changes(
    std::initializer_list<BaseStateVariableClass*> svs) {
  changes_.insert(changes_.end(), svs.begin(), svs.end());
  return *this;
}

bool TestActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = predicate_ ? predicate_() : true;
  return NewEnabled;
}

double TestActivity::Weight() { return weight_ ? weight_() : 1.0; }

double TestActivity::Rate() { return rate_ ? rate_() : 1.0; }

double TestActivity::SampleDistribution() {
  switch (DistributionType) {
    case Instantaneous:
      return 0.0;
    case Deterministic:
      return delay_;
    default:
      return 1.0 / Rate();
  }
}

double* TestActivity::ReturnDistributionParameters() {
  if (DistributionType == Instantaneous) return nullptr;
  parameters_[0] = DistributionType == Deterministic ? delay_ : Rate();
  parameters_[1] = phases_;
  return parameters_;
}

BaseActionClass* TestActivity::Fire() {
  if (effect_) effect_();
  ++fire_count;
  return this;
}

TestModel::TestModel(const char* name) { DefineName(name); }

Place& TestModel::AddPlace(const char* name, short marking) {
  places_.push_back(std::make_unique<Place>(name, marking));
  state_variables_.push_back(places_.back().get());
  return *places_.back();
}

Place& TestModel::AddFieldPlace(const char* name, short marking) {
  field_places_.push_back(std::make_unique<Place>(name, marking));
  return *field_places_.back();
}

BaseStructStateVariable& TestModel::AddFieldStruct(
    const char* name,
    std::initializer_list<BaseStructStateVariable::fieldType> fields) {
  structs_.push_back(std::make_unique<BaseStructStateVariable>(name, ""));
  BaseStructStateVariable& sv = *structs_.back();
  sv.fields.assign(fields.begin(), fields.end());
  return sv;
}

BaseStructStateVariable& TestModel::AddStruct(
    const char* name,
    std::initializer_list<BaseStructStateVariable::fieldType> fields) {
  BaseStructStateVariable& sv = AddFieldStruct(name, fields);
  state_variables_.push_back(&sv);
  return sv;
}

Place& TestModel::AddReadOnlyPlace(const char* name, short marking) {
  read_only_.push_back(std::make_unique<Place>(name, marking));
  return *read_only_.back();
}

TestActivity& TestModel::AddActivity(const char* name,
                                     Distribution distribution) {
  const int group_id = static_cast<int>(group_list_.size());
  activities_.push_back(
      std::make_unique<TestActivity>(name, distribution, group_id));
  group_list_.push_back(activities_.back().get());
  return *activities_.back();
}

TestActivity& TestModel::AddExponential(const char* name, double rate) {
  return AddActivity(name, Exponential).WithRate(rate);
}

TestActivity& TestModel::AddInstantaneous(const char* name) {
  return AddActivity(name, Instantaneous);
}

TestActivity& TestModel::AddDeterministic(const char* name, double delay) {
  return AddActivity(name, Deterministic).WithDelay(delay);
}

TestActivity& TestModel::AddErlang(const char* name, double phases,
                                   double rate) {
  return AddActivity(name, Erlang).WithPhases(phases).WithRate(rate);
}

template <typename Group>
Group* TestModel::AddMemberGroup(const char* name, const char* member_suffix,
                                 Distribution distribution, int count,
                                 std::vector<TestActivity*>& members) {
  const int group_id = static_cast<int>(group_list_.size());
  auto group = std::make_unique<Group>();
  group->initialize(count, (std::string(name) + "Group").c_str());
  group->GroupId = group_id;
  for (int i = 1; i <= count; ++i) {
    const std::string member_name =
        std::string(name) + member_suffix + std::to_string(i);
    activities_.push_back(std::make_unique<TestActivity>(
        member_name.c_str(), distribution, group_id));
    group->appendGroup(activities_.back().get());
    members.push_back(activities_.back().get());
  }
  Group* result = group.get();
  group_list_.push_back(result);
  member_groups_.push_back(std::move(group));
  return result;
}

TestModel::CaseSet TestModel::AddCases(const char* name,
                                       Distribution distribution, int count) {
  CaseSet set{nullptr, {}};
  set.group = AddMemberGroup<PostselectGroup>(name, "_case", distribution,
                                              count, set.cases);
  return set;
}

TestModel::MemberSet TestModel::AddPreselect(const char* name,
                                             Distribution distribution,
                                             int count) {
  MemberSet set{nullptr, {}};
  set.group = AddMemberGroup<PreselectGroup>(name, "_member", distribution,
                                             count, set.members);
  return set;
}

void TestModel::Finish() {
  std::vector<BaseStateVariableClass*> places = state_variables_;
  std::vector<BaseStateVariableClass*> read_only;
  for (auto& p : read_only_) read_only.push_back(p.get());
  std::vector<Activity*> activities;
  for (auto& a : activities_) activities.push_back(a.get());
  const std::string name = Name;
  initializeSANModelNow(name.c_str(), static_cast<int>(places.size()),
                        places.data(), static_cast<int>(read_only.size()),
                        read_only.data(), static_cast<int>(activities.size()),
                        activities.data(), static_cast<int>(group_list_.size()),
                        group_list_.data());
  for (auto& a : activities_) {
    for (BaseStateVariableClass* sv : a->reads_) AddEnableArc(sv, a.get());
    for (BaseStateVariableClass* sv : a->changes_) AddAffectArc(sv, a.get());
  }
}

TestActivity& MoveToken(TestActivity& a, Place& from, Place& to) {
  return a.When([&from] { return from.getMark() > 0; })
      .Does([&from, &to] {
        from.setMark(static_cast<short>(from.getMark() - 1));
        to.setMark(static_cast<short>(to.getMark() + 1));
      })
      .Reads({&from})
      .Changes({&from, &to});
}

namespace {

std::vector<double> scripted_draws;
std::size_t next_draw = 0;

double NextScriptedDraw() {
  // Running past the script repeats the last value.
  const double u = scripted_draws[next_draw < scripted_draws.size()
                                      ? next_draw
                                      : scripted_draws.size() - 1];
  ++next_draw;
  return u;
}

}  // namespace

ScriptedUniforms::ScriptedUniforms(std::vector<double> draws) {
  scripted_draws = std::move(draws);
  if (scripted_draws.empty()) scripted_draws.push_back(0.0);
  next_draw = 0;
  SetGroupUniformSourceForTesting(&NextScriptedDraw);
}

ScriptedUniforms::~ScriptedUniforms() {
  SetGroupUniformSourceForTesting(nullptr);
}

int ScriptedUniforms::draws_taken() const {
  return static_cast<int>(next_draw);
}
