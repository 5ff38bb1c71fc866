#include "bench/floor/KanbanFloor.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/floor/FloorOutput.h"
#include "bench/floor/MarkingSet.h"

namespace {

using Marking = std::uint64_t;

constexpr int kCells = 4;
constexpr int kFieldBits = 4;
// Place p of cell c is field 4c + p: kanban, machining, rework, done.
constexpr int kKanban = 0;
constexpr int kMachining = 1;
constexpr int kRework = 2;
constexpr int kDone = 3;

constexpr int Field(int cell, int place) { return 4 * cell + place; }
constexpr Marking One(int cell, int place) {
  return Marking{1} << (kFieldBits * Field(cell, place));
}
inline unsigned Tokens(Marking m, int cell, int place) {
  return static_cast<unsigned>(m >> (kFieldBits * Field(cell, place))) & 0xF;
}

// The rates as the general generator computes them: the activity's rate
// times its group's probability for it. A case's probability is its weight
// over the summed weights of the enabled cases (both are always enabled
// together), times the case's own probability 1.0.
constexpr double kInRate = 1.0 * 1.0;
constexpr double kOk = 0.7;
constexpr double kRedo = 0.3;
constexpr double kCaseTotal = (0.0 + kOk) + kRedo;
constexpr double kFinish[kCells] = {1.2, 1.4, 1.3, 1.1};
constexpr double kBackRate = 0.3 * 1.0;
constexpr double kSync1Rate = 0.4 * 1.0;
constexpr double kSync2Rate = 0.5 * 1.0;
constexpr double kOutRate = 0.9 * 1.0;

}  // namespace

int RunKanbanFloor(int cards, const std::string& path, const std::string& name,
                   std::ostream& out, std::ostream& err) {
  FloorOutput files(out, err);
  if (!files.Open(path + name)) return 1;

  Marking initial = 0;
  for (int c = 0; c < kCells; ++c) {
    initial += static_cast<Marking>(cards) * One(c, kKanban);
  }
  NumberedMarkings<Marking> states;
  bool added = false;
  states.FindOrAdd(initial, added);

  auto busy = [](Marking m) {
    unsigned machining = 0;
    for (int c = 0; c < kCells; ++c) machining += Tokens(m, c, kMachining);
    return machining;
  };
  files.WriteReward(1, busy(initial));

  for (std::size_t index = 0; index < states.Count(); ++index) {
    const Marking m = states[index];
    const auto number = static_cast<std::uint32_t>(index + 1);
    auto record = [&](Marking next, double rate) {
      const std::uint32_t target = states.FindOrAdd(next, added);
      if (added) files.WriteReward(target, busy(next));
      files.Record(target, rate);
    };

    if (Tokens(m, 0, kKanban) > 0) {
      record(m - One(0, kKanban) + One(0, kMachining), kInRate);
    }
    for (int c = 0; c < kCells; ++c) {
      if (Tokens(m, c, kMachining) > 0) {
        const Marking left = m - One(c, kMachining);
        record(left + One(c, kDone), kFinish[c] * (1.0 * (kOk / kCaseTotal)));
        record(left + One(c, kRework),
               kFinish[c] * (1.0 * (kRedo / kCaseTotal)));
      }
      if (Tokens(m, c, kRework) > 0) {
        record(m - One(c, kRework) + One(c, kMachining), kBackRate);
      }
    }
    if (Tokens(m, 0, kDone) > 0 && Tokens(m, 1, kKanban) > 0 &&
        Tokens(m, 2, kKanban) > 0) {
      record(m - One(0, kDone) - One(1, kKanban) - One(2, kKanban) +
                 One(0, kKanban) + One(1, kMachining) + One(2, kMachining),
             kSync1Rate);
    }
    if (Tokens(m, 1, kDone) > 0 && Tokens(m, 2, kDone) > 0 &&
        Tokens(m, 3, kKanban) > 0) {
      record(m - One(1, kDone) - One(2, kDone) - One(3, kKanban) +
                 One(1, kKanban) + One(2, kKanban) + One(3, kMachining),
             kSync2Rate);
    }
    if (Tokens(m, 3, kDone) > 0) {
      record(m - One(3, kDone) + One(3, kKanban), kOutRate);
    }

    files.EndState(number);
  }
  return files.Finish(static_cast<std::uint32_t>(states.Count()));
}
