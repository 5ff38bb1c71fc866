#include "bench/floor/FmsFloor.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "bench/floor/FloorOutput.h"
#include "bench/floor/MarkingSet.h"

namespace {

using Marking = WideMarking;

// Places in model order, one 4-bit field each.
enum Place {
  kP1,
  kP2,
  kP3,
  kM1,
  kM2,
  kM3,
  kP1wM1,
  kP1M1,
  kP1d,
  kP1s,
  kP1wP2,
  kP2wM2,
  kP2M2,
  kP2d,
  kP2s,
  kP2wP1,
  kP12,
  kP12wM3,
  kP12M3,
  kP12s,
  kP3M2,
  kP3s
};

constexpr Marking One(int place) { return Marking{1} << (4 * place); }
inline unsigned Tokens(Marking m, int place) {
  return static_cast<unsigned>(m >> (4 * place)) & 0xF;
}
inline Marking Move(Marking m, int from, int to) {
  return m - One(from) + One(to);
}
// All tokens of `from` added to `to` (and to `also` when it is not -1).
inline Marking Empty(Marking m, int from, int to, int also) {
  const Marking tokens = Tokens(m, from);
  m -= tokens << (4 * from);
  m += tokens << (4 * to);
  if (also >= 0) m += tokens << (4 * also);
  return m;
}

// An instantaneous activity: takes a token from `first` and, unless it is
// -1, from `second` (both must hold one) and adds one to `target`.
struct Instant {
  int first;
  int second;
  int target;
  double weight;
};
// In model order: tM1, tP1d's cases, tM2, tP2d's cases, tx, tM3.
constexpr Instant kInstants[] = {
    {kM1, kP1wM1, kP1M1, 1.0},   {kP1d, -1, kP1s, 0.8},
    {kP1d, -1, kP1wP2, 0.2},     {kM2, kP2wM2, kP2M2, 1.0},
    {kP2d, -1, kP2s, 0.6},       {kP2d, -1, kP2wP1, 0.4},
    {kP1wP2, kP2wP1, kP12, 1.0}, {kM3, kP12wM3, kP12M3, 1.0}};
constexpr int kNumInstants = static_cast<int>(std::size(kInstants));

constexpr double kReturnRate = 1.0 / 60.0;
constexpr double kP1Service = 0.25;  // per part
constexpr double kP2Service = 1.0 / 6.0;
constexpr double kP12Service = 1.0;  // per part
constexpr double kP3Service = 0.5;

unsigned Busy(Marking m) {
  return Tokens(m, kP1M1) + Tokens(m, kP2M2) + Tokens(m, kP12M3) +
         Tokens(m, kP3M2);
}

class FmsExplorer {
 public:
  FmsExplorer(int parts, FloorOutput& files)
      : max_loaded_(3 * parts / 2), files_(files) {}

  int Run(int parts) {
    const auto n = static_cast<Marking>(parts);
    const Marking initial = n * One(kP1) + n * One(kP2) + n * One(kP3) +
                            3 * One(kM1) + One(kM2) + 2 * One(kM3);
    bool added = false;
    states_.FindOrAdd(initial, added);
    files_.WriteReward(1, Busy(initial));
    for (std::size_t index = 0; index < states_.Count(); ++index) {
      Explore(states_[index]);
      files_.EndState(static_cast<std::uint32_t>(index + 1));
    }
    return files_.Finish(static_cast<std::uint32_t>(states_.Count()));
  }

 private:
  // Loading: #from times min(1, np / (#P1 + #P2 + #P3 + #P12)).
  double LoadRate(Marking m, int from) const {
    const int loaded = static_cast<int>(Tokens(m, kP1) + Tokens(m, kP2) +
                                        Tokens(m, kP3) + Tokens(m, kP12));
    const double factor =
        std::min(1.0, static_cast<double>(max_loaded_) / loaded);
    return static_cast<double>(Tokens(m, from)) * factor;
  }

  // The timed activities in model order, each followed by the
  // instantaneous ones its firing enables.
  void Explore(Marking m) {
    if (Tokens(m, kP1) > 0)
      Resolve(Move(m, kP1, kP1wM1), LoadRate(m, kP1), 1.0);
    if (Tokens(m, kP1M1) > 0) {
      Resolve(Move(m, kP1M1, kP1d) + One(kM1), kP1Service * Tokens(m, kP1M1),
              1.0);
    }
    if (Tokens(m, kP1s) > 0) Resolve(Empty(m, kP1s, kP1, -1), kReturnRate, 1.0);
    if (Tokens(m, kP2) > 0)
      Resolve(Move(m, kP2, kP2wM2), LoadRate(m, kP2), 1.0);
    if (Tokens(m, kP2M2) > 0) {
      Resolve(Move(m, kP2M2, kP2d) + One(kM2), kP2Service, 1.0);
    }
    if (Tokens(m, kP2s) > 0) Resolve(Empty(m, kP2s, kP2, -1), kReturnRate, 1.0);
    if (Tokens(m, kP12) > 0) {
      Resolve(Move(m, kP12, kP12wM3), LoadRate(m, kP12), 1.0);
    }
    if (Tokens(m, kP12M3) > 0) {
      Resolve(Move(m, kP12M3, kP12s) + One(kM3),
              kP12Service * Tokens(m, kP12M3), 1.0);
    }
    if (Tokens(m, kP12s) > 0) {
      Resolve(Empty(m, kP12s, kP1, kP2), kReturnRate, 1.0);
    }
    if (Tokens(m, kP3) > 0) Resolve(Move(m, kP3, kP3M2), LoadRate(m, kP3), 1.0);
    if (Tokens(m, kP3M2) > 0 && Tokens(m, kM2) > 0) {
      Resolve(Move(m, kP3M2, kP3s), kP3Service, 1.0);
    }
    if (Tokens(m, kP3s) > 0) Resolve(Empty(m, kP3s, kP3, -1), kReturnRate, 1.0);
  }

  static bool Enabled(Marking m, const Instant& a) {
    return Tokens(m, a.first) > 0 && (a.second < 0 || Tokens(m, a.second) > 0);
  }
  static Marking Fire(Marking m, const Instant& a) {
    m = m - One(a.first) + One(a.target);
    return a.second < 0 ? m : m - One(a.second);
  }

  void Resolve(Marking m, double rate, double probability) {
    int enabled[kNumInstants];
    int count = 0;
    for (int i = 0; i < kNumInstants; ++i) {
      if (Enabled(m, kInstants[i])) enabled[count++] = i;
    }
    if (count == 0) {
      const double value = rate * probability;
      if (value > 0.0) Record(m, value);
      return;
    }
    if (count == 1) {
      Resolve(Fire(m, kInstants[enabled[0]]), rate, probability);
      return;
    }
    double total = 0.0;
    for (int i = 0; i < count; ++i) total += kInstants[enabled[i]].weight;
    for (int i = 0; i < count; ++i) {
      const Instant& a = kInstants[enabled[i]];
      Resolve(Fire(m, a), rate, probability * a.weight / total);
    }
  }

  void Record(Marking next, double rate) {
    bool added = false;
    const std::uint32_t target = states_.FindOrAdd(next, added);
    if (added) files_.WriteReward(target, Busy(next));
    files_.Record(target, rate);
  }

  const int max_loaded_;
  FloorOutput& files_;
  NumberedMarkings<Marking> states_;
};

}  // namespace

int RunFmsFloor(int parts, const std::string& path, const std::string& name,
                std::ostream& out, std::ostream& err) {
  FloorOutput files(out, err);
  if (!files.Open(path + name)) return 1;
  FmsExplorer explorer(parts, files);
  return explorer.Run(parts);
}
