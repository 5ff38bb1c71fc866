#include "bench/models/Fms.h"

#include <algorithm>
#include <initializer_list>

#include "base/Contract.h"

namespace {

constexpr int kNumActivities = 20;
constexpr int kNumGroups = 18;
constexpr double kReturnRate = 1.0 / 60.0;

void Link(Place* place, short** mark) {
  if (place != nullptr) place->RegisterPointer(mark, nullptr);
}

}  // namespace

FmsSAN::LoadActivity::LoadActivity(const char* name, int group_id,
                                   FmsSAN* model)
    : BenchActivity(name, group_id, Exponential, 2), model(model) {}

bool FmsSAN::LoadActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *from_Mark > 0;
  return NewEnabled;
}

double FmsSAN::LoadActivity::Rate() {
  const int loaded =
      *load_Mark[0] + *load_Mark[1] + *load_Mark[2] + *load_Mark[3];
  const double factor =
      std::min(1.0, static_cast<double>(model->max_loaded) / loaded);
  return *from_Mark * factor;
}

BaseActionClass* FmsSAN::LoadActivity::Fire() {
  --*from_Mark;
  ++*to_Mark;
  return this;
}

void FmsSAN::LoadActivity::LinkVariables() {
  Link(from, &from_Mark);
  Link(to, &to_Mark);
  Link(model->P1.get(), &load_Mark[0]);
  Link(model->P2.get(), &load_Mark[1]);
  Link(model->P3.get(), &load_Mark[2]);
  Link(model->P12.get(), &load_Mark[3]);
}

FmsSAN::AcquireActivity::AcquireActivity(const char* name, int group_id)
    : BenchActivity(name, group_id, Instantaneous, 3) {}

bool FmsSAN::AcquireActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *machine_Mark > 0 && *waiting_Mark > 0;
  return NewEnabled;
}

BaseActionClass* FmsSAN::AcquireActivity::Fire() {
  --*machine_Mark;
  --*waiting_Mark;
  ++*busy_Mark;
  return this;
}

void FmsSAN::AcquireActivity::LinkVariables() {
  Link(machine, &machine_Mark);
  Link(waiting, &waiting_Mark);
  Link(busy, &busy_Mark);
}

FmsSAN::ServiceActivity::ServiceActivity(const char* name, int group_id,
                                         double rate, bool per_token)
    : BenchActivity(name, group_id, Exponential, 3),
      rate(rate),
      per_token(per_token) {}

bool FmsSAN::ServiceActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *busy_Mark > 0 && (guard_Mark == nullptr || *guard_Mark > 0);
  return NewEnabled;
}

double FmsSAN::ServiceActivity::Rate() {
  return per_token ? rate * *busy_Mark : rate;
}

BaseActionClass* FmsSAN::ServiceActivity::Fire() {
  --*busy_Mark;
  ++*done_Mark;
  if (machine_Mark != nullptr) ++*machine_Mark;
  return this;
}

void FmsSAN::ServiceActivity::LinkVariables() {
  Link(busy, &busy_Mark);
  Link(done, &done_Mark);
  Link(machine, &machine_Mark);
  Link(guard, &guard_Mark);
}

FmsSAN::ChoiceCase::ChoiceCase(const char* name, int group_id, double weight)
    : BenchActivity(name, group_id, Instantaneous, 2), weight(weight) {}

bool FmsSAN::ChoiceCase::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *done_Mark > 0;
  return NewEnabled;
}

double FmsSAN::ChoiceCase::Weight() { return weight; }

BaseActionClass* FmsSAN::ChoiceCase::Fire() {
  --*done_Mark;
  ++*target_Mark;
  return this;
}

void FmsSAN::ChoiceCase::LinkVariables() {
  Link(done, &done_Mark);
  Link(target, &target_Mark);
}

FmsSAN::ReturnActivity::ReturnActivity(const char* name, int group_id)
    : BenchActivity(name, group_id, Exponential, 3) {}

bool FmsSAN::ReturnActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *from_Mark > 0;
  return NewEnabled;
}

double FmsSAN::ReturnActivity::Rate() { return kReturnRate; }

BaseActionClass* FmsSAN::ReturnActivity::Fire() {
  const short tokens = *from_Mark;
  *from_Mark = 0;
  *to_Mark = static_cast<short>(*to_Mark + tokens);
  if (also_Mark != nullptr)
    *also_Mark = static_cast<short>(*also_Mark + tokens);
  return this;
}

void FmsSAN::ReturnActivity::LinkVariables() {
  Link(from, &from_Mark);
  Link(to, &to_Mark);
  Link(also, &also_Mark);
}

FmsSAN::JoinActivity::JoinActivity(int group_id)
    : BenchActivity("tx", group_id, Instantaneous, 3) {}

bool FmsSAN::JoinActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *first_Mark > 0 && *second_Mark > 0;
  return NewEnabled;
}

BaseActionClass* FmsSAN::JoinActivity::Fire() {
  --*first_Mark;
  --*second_Mark;
  ++*joined_Mark;
  return this;
}

void FmsSAN::JoinActivity::LinkVariables() {
  Link(first, &first_Mark);
  Link(second, &second_Mark);
  Link(joined, &joined_Mark);
}

FmsSAN::FmsSAN(int parts) : max_loaded(3 * parts / 2) {
  GEN_CHECK(parts >= 1 && parts <= 10000);
  const auto n = static_cast<short>(parts);
  P1 = std::make_unique<Place>("P1", n);
  P2 = std::make_unique<Place>("P2", n);
  P3 = std::make_unique<Place>("P3", n);
  M1 = std::make_unique<Place>("M1", 3);
  M2 = std::make_unique<Place>("M2", 1);
  M3 = std::make_unique<Place>("M3", 2);
  P1wM1 = std::make_unique<Place>("P1wM1", 0);
  P1M1 = std::make_unique<Place>("P1M1", 0);
  P1d = std::make_unique<Place>("P1d", 0);
  P1s = std::make_unique<Place>("P1s", 0);
  P1wP2 = std::make_unique<Place>("P1wP2", 0);
  P2wM2 = std::make_unique<Place>("P2wM2", 0);
  P2M2 = std::make_unique<Place>("P2M2", 0);
  P2d = std::make_unique<Place>("P2d", 0);
  P2s = std::make_unique<Place>("P2s", 0);
  P2wP1 = std::make_unique<Place>("P2wP1", 0);
  P12 = std::make_unique<Place>("P12", 0);
  P12wM3 = std::make_unique<Place>("P12wM3", 0);
  P12M3 = std::make_unique<Place>("P12M3", 0);
  P12s = std::make_unique<Place>("P12s", 0);
  P3M2 = std::make_unique<Place>("P3M2", 0);
  P3s = std::make_unique<Place>("P3s", 0);
  BaseStateVariableClass* places[] = {
      P1.get(),    P2.get(),    P3.get(),     M1.get(),    M2.get(),
      M3.get(),    P1wM1.get(), P1M1.get(),   P1d.get(),   P1s.get(),
      P1wP2.get(), P2wM2.get(), P2M2.get(),   P2d.get(),   P2s.get(),
      P2wP1.get(), P12.get(),   P12wM3.get(), P12M3.get(), P12s.get(),
      P3M2.get(),  P3s.get()};

  auto load = [this](const char* name, int group, Place* from, Place* to) {
    auto activity = std::make_unique<LoadActivity>(name, group, this);
    activity->from = from;
    activity->to = to;
    return activity;
  };
  auto acquire = [](const char* name, int group, Place* machine, Place* waiting,
                    Place* busy) {
    auto activity = std::make_unique<AcquireActivity>(name, group);
    activity->machine = machine;
    activity->waiting = waiting;
    activity->busy = busy;
    return activity;
  };
  auto service = [](const char* name, int group, double rate, bool per_token,
                    Place* busy, Place* done, Place* machine) {
    auto activity =
        std::make_unique<ServiceActivity>(name, group, rate, per_token);
    activity->busy = busy;
    activity->done = done;
    activity->machine = machine;
    return activity;
  };
  auto choice = [](const char* name, int group, double weight, Place* done,
                   Place* target) {
    auto activity = std::make_unique<ChoiceCase>(name, group, weight);
    activity->done = done;
    activity->target = target;
    return activity;
  };
  auto back = [](const char* name, int group, Place* from, Place* to,
                 Place* also) {
    auto activity = std::make_unique<ReturnActivity>(name, group);
    activity->from = from;
    activity->to = to;
    activity->also = also;
    return activity;
  };

  tP1 = load("tP1", 0, P1.get(), P1wM1.get());
  tM1 = acquire("tM1", 1, M1.get(), P1wM1.get(), P1M1.get());
  tP1M1 = service("tP1M1", 2, 0.25, true, P1M1.get(), P1d.get(), M1.get());
  tP1d_case1 = choice("tP1d_case1", 3, 0.8, P1d.get(), P1s.get());
  tP1d_case2 = choice("tP1d_case2", 3, 0.2, P1d.get(), P1wP2.get());
  tP1s = back("tP1s", 4, P1s.get(), P1.get(), nullptr);
  tP2 = load("tP2", 5, P2.get(), P2wM2.get());
  tM2 = acquire("tM2", 6, M2.get(), P2wM2.get(), P2M2.get());
  tP2M2 =
      service("tP2M2", 7, 1.0 / 6.0, false, P2M2.get(), P2d.get(), M2.get());
  tP2d_case1 = choice("tP2d_case1", 8, 0.6, P2d.get(), P2s.get());
  tP2d_case2 = choice("tP2d_case2", 8, 0.4, P2d.get(), P2wP1.get());
  tP2s = back("tP2s", 9, P2s.get(), P2.get(), nullptr);
  tx = std::make_unique<JoinActivity>(10);
  tx->first = P1wP2.get();
  tx->second = P2wP1.get();
  tx->joined = P12.get();
  tP12 = load("tP12", 11, P12.get(), P12wM3.get());
  tM3 = acquire("tM3", 12, M3.get(), P12wM3.get(), P12M3.get());
  tP12M3 = service("tP12M3", 13, 1.0, true, P12M3.get(), P12s.get(), M3.get());
  tP12s = back("tP12s", 14, P12s.get(), P1.get(), P2.get());
  tP3 = load("tP3", 15, P3.get(), P3M2.get());
  tP3M2 = service("tP3M2", 16, 0.5, false, P3M2.get(), P3s.get(), nullptr);
  tP3M2->guard = M2.get();
  tP3s = back("tP3s", 17, P3s.get(), P3.get(), nullptr);

  tP1dGroup.initialize(2, "tP1dGroup");
  tP1dGroup.appendGroup(tP1d_case1.get());
  tP1dGroup.appendGroup(tP1d_case2.get());
  tP2dGroup.initialize(2, "tP2dGroup");
  tP2dGroup.appendGroup(tP2d_case1.get());
  tP2dGroup.appendGroup(tP2d_case2.get());

  Activity* activities[kNumActivities] = {
      tP1.get(),        tM1.get(),        tP1M1.get(),      tP1d_case1.get(),
      tP1d_case2.get(), tP1s.get(),       tP2.get(),        tM2.get(),
      tP2M2.get(),      tP2d_case1.get(), tP2d_case2.get(), tP2s.get(),
      tx.get(),         tP12.get(),       tM3.get(),        tP12M3.get(),
      tP12s.get(),      tP3.get(),        tP3M2.get(),      tP3s.get()};
  BaseGroupClass* groups[kNumGroups] = {
      tP1.get(), tM1.get(),   tP1M1.get(), &tP1dGroup,   tP1s.get(),
      tP2.get(), tM2.get(),   tP2M2.get(), &tP2dGroup,   tP2s.get(),
      tx.get(),  tP12.get(),  tM3.get(),   tP12M3.get(), tP12s.get(),
      tP3.get(), tP3M2.get(), tP3s.get()};
  initializeSANModelNow("fms", static_cast<int>(std::size(places)), places, 0,
                        nullptr, kNumActivities, activities, kNumGroups,
                        groups);

  // Arcs: every place read enables, every place written is affected.
  auto arcs = [this](Activity* activity, std::initializer_list<Place*> reads,
                     std::initializer_list<Place*> writes) {
    for (Place* place : writes) {
      if (place != nullptr) AddAffectArc(place, activity);
    }
    for (Place* place : reads) {
      if (place != nullptr) AddEnableArc(place, activity);
    }
  };
  for (LoadActivity* a : {tP1.get(), tP2.get(), tP12.get(), tP3.get()}) {
    arcs(a, {a->from}, {a->from, a->to});
  }
  for (AcquireActivity* a : {tM1.get(), tM2.get(), tM3.get()}) {
    arcs(a, {a->machine, a->waiting}, {a->machine, a->waiting, a->busy});
  }
  for (ServiceActivity* a :
       {tP1M1.get(), tP2M2.get(), tP12M3.get(), tP3M2.get()}) {
    arcs(a, {a->busy, a->guard}, {a->busy, a->done, a->machine});
  }
  for (ChoiceCase* a : {tP1d_case1.get(), tP1d_case2.get(), tP2d_case1.get(),
                        tP2d_case2.get()}) {
    arcs(a, {a->done}, {a->done, a->target});
  }
  for (ReturnActivity* a : {tP1s.get(), tP2s.get(), tP12s.get(), tP3s.get()}) {
    arcs(a, {a->from}, {a->from, a->to, a->also});
  }
  arcs(tx.get(), {tx->first, tx->second}, {tx->first, tx->second, tx->joined});

  for (Activity* activity : activities) activity->LinkVariables();
}

FmsSAN::~FmsSAN() = default;

std::unique_ptr<PVModel> MakeFmsModel(int parts) {
  auto san = std::make_unique<FmsSAN>(parts);
  std::vector<const Place*> busy = {san->P1M1.get(), san->P2M2.get(),
                                    san->P12M3.get(), san->P3M2.get()};
  return std::make_unique<BenchPVModel>(std::move(san), "busy_machines",
                                        std::move(busy));
}
