#ifndef GEN_BENCH_MODELS_KANBAN_H_
#define GEN_BENCH_MODELS_KANBAN_H_

#include <array>
#include <memory>

#include "bench/models/BenchModelKit.h"
#include "framework/BaseGroupClass.h"
#include "framework/SANModel.h"
#include "state/Place.h"

class PVModel;

// A kanban manufacturing system of four cells, each starting with N free
// kanban cards. A part enters cell 1, is machined, and either is done or
// goes to rework and back to machining; done parts of cell 1 move on to
// cells 2 and 3 together, done parts of both move on to cell 4, and parts
// done in cell 4 leave. Cell i (1..4) has the places kanban_i, machining_i,
// rework_i and done_i, in that order, cell after cell.
//
// Activities in model order: in_1; for each cell finish_i (cases ok 0.7 and
// redo 0.3) and back_i; sync_1; sync_2; out_4. All exponential.
class KanbanSAN : public SANModel {
 public:
  static constexpr int kCells = 4;

  // kanban_1 -> machining_1.
  class InActivity : public BenchActivity {
   public:
    InActivity();
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* kanban = nullptr;
    Place* machining = nullptr;
    short* kanban_Mark = nullptr;
    short* machining_Mark = nullptr;
  };

  // One case of finish_i: machining_i -> done_i (ok) or rework_i (redo).
  class FinishCase : public BenchActivity {
   public:
    FinishCase(int cell, bool ok, int group_id);
    bool Enabled() override;
    double Weight() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    int cell;
    bool ok;
    Place* machining = nullptr;
    Place* target = nullptr;  // done_i or rework_i
    short* machining_Mark = nullptr;
    short* target_Mark = nullptr;
  };

  // back_i: rework_i -> machining_i.
  class BackActivity : public BenchActivity {
   public:
    BackActivity(int cell, int group_id);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* rework = nullptr;
    Place* machining = nullptr;
    short* rework_Mark = nullptr;
    short* machining_Mark = nullptr;
  };

  // sync_1: done_1 + kanban_2 + kanban_3 -> kanban_1 + machining_2 +
  // machining_3.
  class Sync1Activity : public BenchActivity {
   public:
    explicit Sync1Activity(int group_id);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* done_1 = nullptr;
    Place* kanban_2 = nullptr;
    Place* kanban_3 = nullptr;
    Place* kanban_1 = nullptr;
    Place* machining_2 = nullptr;
    Place* machining_3 = nullptr;
    short* done_1_Mark = nullptr;
    short* kanban_2_Mark = nullptr;
    short* kanban_3_Mark = nullptr;
    short* kanban_1_Mark = nullptr;
    short* machining_2_Mark = nullptr;
    short* machining_3_Mark = nullptr;
  };

  // sync_2: done_2 + done_3 + kanban_4 -> kanban_2 + kanban_3 +
  // machining_4.
  class Sync2Activity : public BenchActivity {
   public:
    explicit Sync2Activity(int group_id);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* done_2 = nullptr;
    Place* done_3 = nullptr;
    Place* kanban_4 = nullptr;
    Place* kanban_2 = nullptr;
    Place* kanban_3 = nullptr;
    Place* machining_4 = nullptr;
    short* done_2_Mark = nullptr;
    short* done_3_Mark = nullptr;
    short* kanban_4_Mark = nullptr;
    short* kanban_2_Mark = nullptr;
    short* kanban_3_Mark = nullptr;
    short* machining_4_Mark = nullptr;
  };

  // out_4: done_4 -> kanban_4.
  class OutActivity : public BenchActivity {
   public:
    explicit OutActivity(int group_id);
    bool Enabled() override;
    double Rate() override;
    BaseActionClass* Fire() override;
    void LinkVariables() override;

    Place* done = nullptr;
    Place* kanban = nullptr;
    short* done_Mark = nullptr;
    short* kanban_Mark = nullptr;
  };

  // `cards` kanban cards per cell; 1 <= cards <= 32767.
  explicit KanbanSAN(int cards);
  ~KanbanSAN() override;

  // Index 0 is cell 1.
  std::array<std::unique_ptr<Place>, kCells> kanban;
  std::array<std::unique_ptr<Place>, kCells> machining;
  std::array<std::unique_ptr<Place>, kCells> rework;
  std::array<std::unique_ptr<Place>, kCells> done;

  std::unique_ptr<InActivity> in_1;
  std::array<std::unique_ptr<FinishCase>, kCells> finish_ok;
  std::array<std::unique_ptr<FinishCase>, kCells> finish_redo;
  std::array<std::unique_ptr<BackActivity>, kCells> back;
  std::unique_ptr<Sync1Activity> sync_1;
  std::unique_ptr<Sync2Activity> sync_2;
  std::unique_ptr<OutActivity> out_4;
  std::array<PostselectGroup, kCells> finishGroup;
};

// The kanban model with `cards` cards per cell, wrapped in its reward model:
// one reward variable, "busy_machines", the sum of the machining_i markings.
std::unique_ptr<PVModel> MakeKanbanModel(int cards);

// Rates and case weights of the kanban model; cell i is index i - 1.
namespace kanban {
inline constexpr double kInRate = 1.0;
inline constexpr double kFinishRate[KanbanSAN::kCells] = {1.2, 1.4, 1.3, 1.1};
inline constexpr double kOkWeight = 0.7;
inline constexpr double kRedoWeight = 0.3;
inline constexpr double kBackRate = 0.3;
inline constexpr double kSync1Rate = 0.4;
inline constexpr double kSync2Rate = 0.5;
inline constexpr double kOutRate = 0.9;
}  // namespace kanban

#endif  // GEN_BENCH_MODELS_KANBAN_H_
