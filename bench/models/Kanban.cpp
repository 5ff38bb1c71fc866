#include "bench/models/Kanban.h"

#include <string>
#include <vector>

#include "base/Contract.h"

namespace {

constexpr int kCells = KanbanSAN::kCells;
constexpr int kNumActivities = 1 + 3 * kCells + 3;
// Group indices: in_1 is group 0, cell c (0-based) has finish 1 + 2c and
// back 2 + 2c, then sync_1, sync_2 and out_4.
constexpr int kSync1Group = 1 + 2 * kCells;
constexpr int kSync2Group = kSync1Group + 1;
constexpr int kOutGroup = kSync1Group + 2;
constexpr int kNumGroups = kOutGroup + 1;

int FinishGroup(int cell) { return 1 + 2 * cell; }
int BackGroup(int cell) { return 2 + 2 * cell; }

std::string CellName(const char* stem, int cell) {
  return stem + std::to_string(cell + 1);
}

void Link(Place* place, short** mark) { place->RegisterPointer(mark, nullptr); }

}  // namespace

KanbanSAN::InActivity::InActivity()
    : BenchActivity("in_1", 0, Exponential, 2) {}

bool KanbanSAN::InActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *kanban_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::InActivity::Rate() { return kanban::kInRate; }

BaseActionClass* KanbanSAN::InActivity::Fire() {
  --*kanban_Mark;
  ++*machining_Mark;
  return this;
}

void KanbanSAN::InActivity::LinkVariables() {
  Link(kanban, &kanban_Mark);
  Link(machining, &machining_Mark);
}

KanbanSAN::FinishCase::FinishCase(int cell, bool ok, int group_id)
    : BenchActivity(
          CellName("finish_", cell).append(ok ? "_case1" : "_case2").c_str(),
          group_id, Exponential, 2),
      cell(cell),
      ok(ok) {}

bool KanbanSAN::FinishCase::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *machining_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::FinishCase::Weight() {
  return ok ? kanban::kOkWeight : kanban::kRedoWeight;
}

double KanbanSAN::FinishCase::Rate() { return kanban::kFinishRate[cell]; }

BaseActionClass* KanbanSAN::FinishCase::Fire() {
  --*machining_Mark;
  ++*target_Mark;
  return this;
}

void KanbanSAN::FinishCase::LinkVariables() {
  Link(machining, &machining_Mark);
  Link(target, &target_Mark);
}

KanbanSAN::BackActivity::BackActivity(int cell, int group_id)
    : BenchActivity(CellName("back_", cell).c_str(), group_id, Exponential, 2) {
}

bool KanbanSAN::BackActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *rework_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::BackActivity::Rate() { return kanban::kBackRate; }

BaseActionClass* KanbanSAN::BackActivity::Fire() {
  --*rework_Mark;
  ++*machining_Mark;
  return this;
}

void KanbanSAN::BackActivity::LinkVariables() {
  Link(rework, &rework_Mark);
  Link(machining, &machining_Mark);
}

KanbanSAN::Sync1Activity::Sync1Activity(int group_id)
    : BenchActivity("sync_1", group_id, Exponential, 6) {}

bool KanbanSAN::Sync1Activity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *done_1_Mark > 0 && *kanban_2_Mark > 0 && *kanban_3_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::Sync1Activity::Rate() { return kanban::kSync1Rate; }

BaseActionClass* KanbanSAN::Sync1Activity::Fire() {
  --*done_1_Mark;
  --*kanban_2_Mark;
  --*kanban_3_Mark;
  ++*kanban_1_Mark;
  ++*machining_2_Mark;
  ++*machining_3_Mark;
  return this;
}

void KanbanSAN::Sync1Activity::LinkVariables() {
  Link(done_1, &done_1_Mark);
  Link(kanban_2, &kanban_2_Mark);
  Link(kanban_3, &kanban_3_Mark);
  Link(kanban_1, &kanban_1_Mark);
  Link(machining_2, &machining_2_Mark);
  Link(machining_3, &machining_3_Mark);
}

KanbanSAN::Sync2Activity::Sync2Activity(int group_id)
    : BenchActivity("sync_2", group_id, Exponential, 6) {}

bool KanbanSAN::Sync2Activity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *done_2_Mark > 0 && *done_3_Mark > 0 && *kanban_4_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::Sync2Activity::Rate() { return kanban::kSync2Rate; }

BaseActionClass* KanbanSAN::Sync2Activity::Fire() {
  --*done_2_Mark;
  --*done_3_Mark;
  --*kanban_4_Mark;
  ++*kanban_2_Mark;
  ++*kanban_3_Mark;
  ++*machining_4_Mark;
  return this;
}

void KanbanSAN::Sync2Activity::LinkVariables() {
  Link(done_2, &done_2_Mark);
  Link(done_3, &done_3_Mark);
  Link(kanban_4, &kanban_4_Mark);
  Link(kanban_2, &kanban_2_Mark);
  Link(kanban_3, &kanban_3_Mark);
  Link(machining_4, &machining_4_Mark);
}

KanbanSAN::OutActivity::OutActivity(int group_id)
    : BenchActivity("out_4", group_id, Exponential, 2) {}

bool KanbanSAN::OutActivity::Enabled() {
  OldEnabled = NewEnabled;
  NewEnabled = *done_Mark > 0;
  return NewEnabled;
}

double KanbanSAN::OutActivity::Rate() { return kanban::kOutRate; }

BaseActionClass* KanbanSAN::OutActivity::Fire() {
  --*done_Mark;
  ++*kanban_Mark;
  return this;
}

void KanbanSAN::OutActivity::LinkVariables() {
  Link(done, &done_Mark);
  Link(kanban, &kanban_Mark);
}

KanbanSAN::KanbanSAN(int cards) {
  GEN_CHECK(cards >= 1 && cards <= 32767);
  std::vector<BaseStateVariableClass*> places;
  for (int c = 0; c < kCells; ++c) {
    kanban[c] = std::make_unique<Place>(CellName("kanban_", c).c_str(),
                                        static_cast<short>(cards));
    machining[c] =
        std::make_unique<Place>(CellName("machining_", c).c_str(), 0);
    rework[c] = std::make_unique<Place>(CellName("rework_", c).c_str(), 0);
    done[c] = std::make_unique<Place>(CellName("done_", c).c_str(), 0);
    places.insert(places.end(), {kanban[c].get(), machining[c].get(),
                                 rework[c].get(), done[c].get()});
  }

  in_1 = std::make_unique<InActivity>();
  in_1->kanban = kanban[0].get();
  in_1->machining = machining[0].get();
  for (int c = 0; c < kCells; ++c) {
    finish_ok[c] = std::make_unique<FinishCase>(c, true, FinishGroup(c));
    finish_ok[c]->machining = machining[c].get();
    finish_ok[c]->target = done[c].get();
    finish_redo[c] = std::make_unique<FinishCase>(c, false, FinishGroup(c));
    finish_redo[c]->machining = machining[c].get();
    finish_redo[c]->target = rework[c].get();
    back[c] = std::make_unique<BackActivity>(c, BackGroup(c));
    back[c]->rework = rework[c].get();
    back[c]->machining = machining[c].get();
    finishGroup[c].initialize(2,
                              CellName("finish_", c).append("Group").c_str());
    finishGroup[c].appendGroup(finish_ok[c].get());
    finishGroup[c].appendGroup(finish_redo[c].get());
  }
  sync_1 = std::make_unique<Sync1Activity>(kSync1Group);
  sync_1->done_1 = done[0].get();
  sync_1->kanban_2 = kanban[1].get();
  sync_1->kanban_3 = kanban[2].get();
  sync_1->kanban_1 = kanban[0].get();
  sync_1->machining_2 = machining[1].get();
  sync_1->machining_3 = machining[2].get();
  sync_2 = std::make_unique<Sync2Activity>(kSync2Group);
  sync_2->done_2 = done[1].get();
  sync_2->done_3 = done[2].get();
  sync_2->kanban_4 = kanban[3].get();
  sync_2->kanban_2 = kanban[1].get();
  sync_2->kanban_3 = kanban[2].get();
  sync_2->machining_4 = machining[3].get();
  out_4 = std::make_unique<OutActivity>(kOutGroup);
  out_4->done = done[3].get();
  out_4->kanban = kanban[3].get();

  std::vector<Activity*> activities = {in_1.get()};
  std::vector<BaseGroupClass*> groups = {in_1.get()};
  for (int c = 0; c < kCells; ++c) {
    activities.insert(activities.end(), {finish_ok[c].get(),
                                         finish_redo[c].get(), back[c].get()});
    groups.insert(groups.end(), {&finishGroup[c], back[c].get()});
  }
  activities.insert(activities.end(),
                    {sync_1.get(), sync_2.get(), out_4.get()});
  groups.insert(groups.end(), {sync_1.get(), sync_2.get(), out_4.get()});
  GEN_CHECK(static_cast<int>(activities.size()) == kNumActivities);
  GEN_CHECK(static_cast<int>(groups.size()) == kNumGroups);

  initializeSANModelNow("kanban", static_cast<int>(places.size()),
                        places.data(), 0, nullptr, kNumActivities,
                        activities.data(), kNumGroups, groups.data());

  // Arcs: every input place enables, every place touched is affected.
  auto arcs = [this](Activity* activity, std::initializer_list<Place*> inputs,
                     std::initializer_list<Place*> outputs) {
    for (Place* place : inputs) AddAffectArc(place, activity);
    for (Place* place : outputs) AddAffectArc(place, activity);
    for (Place* place : inputs) AddEnableArc(place, activity);
  };
  arcs(in_1.get(), {kanban[0].get()}, {machining[0].get()});
  for (int c = 0; c < kCells; ++c) {
    arcs(finish_ok[c].get(), {machining[c].get()}, {done[c].get()});
    arcs(finish_redo[c].get(), {machining[c].get()}, {rework[c].get()});
    arcs(back[c].get(), {rework[c].get()}, {machining[c].get()});
  }
  arcs(sync_1.get(), {done[0].get(), kanban[1].get(), kanban[2].get()},
       {kanban[0].get(), machining[1].get(), machining[2].get()});
  arcs(sync_2.get(), {done[1].get(), done[2].get(), kanban[3].get()},
       {kanban[1].get(), kanban[2].get(), machining[3].get()});
  arcs(out_4.get(), {done[3].get()}, {kanban[3].get()});

  for (Activity* activity : activities) activity->LinkVariables();
}

KanbanSAN::~KanbanSAN() = default;

std::unique_ptr<PVModel> MakeKanbanModel(int cards) {
  auto san = std::make_unique<KanbanSAN>(cards);
  std::vector<const Place*> busy;
  for (const auto& place : san->machining) busy.push_back(place.get());
  return std::make_unique<BenchPVModel>(std::move(san), "busy_machines",
                                        std::move(busy));
}
