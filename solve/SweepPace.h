#ifndef GEN_SOLVE_SWEEPPACE_H_
#define GEN_SOLVE_SWEEPPACE_H_

#include <cstddef>
#include <limits>

// When stationary sweeps towards the solution of an M-matrix system give
// up. Such sweeps cannot run away (a regular splitting converges), but the
// norm of their residual need not fall at every step: on a tandem queue of
// 500 x 500 levels it rose from 2.9e-3 to 6.3e-3 over 800 sweeps, then fell
// to 1e-6 within 2,500 more. And on a birth-death chain it falls slowly at
// first and quickens. So the pace is read two ways from the lowest residual
// reached: over all the sweeps so far, and over the last stretch of
// kStretch sweeps. The sweeps give up only when, at the faster of the two
// paces, the goal lies beyond `limit` sweeps.
class SweepPace {
 public:
  // Sweeps from a residual of norm `start` towards one of norm `goal`.
  SweepPace(double start, double goal, std::size_t limit);

  // Takes the residual's norm after `sweep` sweeps (counted from 1); false
  // once the sweeps should give up (a norm that is not finite included).
  bool GoOn(std::size_t sweep, double norm);

  static constexpr std::size_t kStretch = 100;

 private:
  // Sweeps still needed from `lowest_` at a fall of `fall` per `sweeps`
  // sweeps; infinite where the fall is none.
  double Needed(double fall, double sweeps) const;

  double start_;
  double goal_;
  std::size_t limit_;
  double lowest_;
  double stretch_lowest_;  // lowest_ at the last stretch's start
};

// The simpler rule of the polishing sweeps, whose measure (a backward error,
// a worst row's ratio) is asked every few sweeps: they give up once it has
// not halved over `patience` sweeps.
class SweepPatience {
 public:
  explicit SweepPatience(std::size_t patience) : patience_(patience) {}

  // Takes the measure after `sweep` sweeps; false once it has not halved
  // since `patience` sweeps before.
  bool GoOn(std::size_t sweep, double measure);

 private:
  std::size_t patience_;
  double last_halving_ = std::numeric_limits<double>::infinity();
  std::size_t last_halving_at_ = 0;
};

#endif  // GEN_SOLVE_SWEEPPACE_H_
