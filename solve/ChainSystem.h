#ifndef GEN_SOLVE_CHAINSYSTEM_H_
#define GEN_SOLVE_CHAINSYSTEM_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/ChainRows.h"
#include "solve/Krylov.h"
#include "solve/TransitionRates.h"
#include "solve/TwoWayPool.h"

// The scaled system B z = c of Stationary.cpp over a set S of states, used
// in place through the chain's own compressed rows: B = (-Q_SS)^T D^-1, so
// row i of B^T is state i's outgoing transitions divided by its exit rate,
// plus the unit diagonal. Nothing of the size of the transitions is copied.

class ChainOperator : public LinearOperator {
 public:
  // `states` maps local to global numbers, in increasing order; `local` maps
  // global numbers back, or kOutsideSystem. All must outlive the operator.
  // With `pool`, B z and the residual run on its two halves, each summing
  // its own rows' terms in the order of the sources: the same bytes as
  // without it.
  ChainOperator(const StateSpace& space, const std::vector<double>& exit,
                const std::vector<std::uint32_t>& states,
                const std::vector<std::uint32_t>& local,
                TwoWayPool* pool = nullptr);
  // The system over every state but `left_out`, numbered by that rule
  // alone: no list of states is read, so none need be kept.
  ChainOperator(const StateSpace& space, const std::vector<double>& exit,
                std::uint32_t left_out, TwoWayPool* pool = nullptr);

  void Apply(bool transposed, const Eigen::VectorXd& x,
             Eigen::VectorXd* y) const override;

  // Per row j of B: |c - B z|_j, and |c_j| + (|B| |z|)_j.
  void Residual(const Eigen::VectorXd& z, const Eigen::VectorXd& c,
                Eigen::VectorXd* residual, Eigen::VectorXd* scale) const;

  // The least g, rounded up, for which A^T (g h) >= 1 is proven row by row,
  // with A = B D = (-Q_SS)^T: then A^-T 1 <= g h, since A^-T >= 0, and so
  // ||A^-1 r||_1 <= g h.|r| for every r. Row i of A^T h, q_i h_i - sum over
  // j in S of q_ij h_j, is summed over state i's own transitions in
  // double-double with a bound on its rounding. Infinite when a row's lower
  // bound is not positive: h is then too far from A^-T 1 to prove anything.
  double AdjointFactor(const Eigen::VectorXd& h) const;

  std::size_t size() const { return size_; }
  std::uint32_t global(std::size_t i) const {
    return all_but_one_ ? static_cast<std::uint32_t>(i + (i >= left_out_))
                        : (*states_)[i];
  }
  // With S = all states but one (every irreducible chain) the local number
  // is the global one, less 1 past the state left out: no look-up in the
  // hot loops.
  std::uint32_t local(std::uint32_t global) const {
    if (!all_but_one_) return (*local_)[global];
    return global == left_out_ ? kOutsideSystem
                               : global - (global > left_out_ ? 1 : 0);
  }
  const StateSpace& space() const { return space_; }
  double exit(std::size_t i) const { return exit_[global(i)]; }

  // Calls body(rows) with the system's rows as ChainRows in the forms this
  // chain and this set of states hold, for the hot loops.
  template <class Body>
  void WithRows(Body&& body) const {
    WithRates(space_.rate, [&](auto rate) {
      if (all_but_one_) {
        WithOffsets(space_.first, rate, AllButOneNumbering{left_out_},
                    space_.target.data(), exit_.data(), body);
      } else {
        WithOffsets(space_.first, rate,
                    ListedNumbering{states_->data(), local_->data()},
                    space_.target.data(), exit_.data(), body);
      }
    });
  }

 private:
  template <class Rows>
  void ApplyWith(Rows rows, bool transposed, const Eigen::VectorXd& x,
                 Eigen::VectorXd* y) const;

  const StateSpace& space_;
  const std::vector<double>& exit_;
  TwoWayPool* pool_;
  bool all_but_one_ = false;
  std::uint32_t left_out_ = 0;
  // Null where the rule above numbers the states without them.
  const std::vector<std::uint32_t>* states_ = nullptr;
  const std::vector<std::uint32_t>* local_ = nullptr;
  std::size_t size_ = 0;
};

// Symmetric Gauss-Seidel of B^T in the chain's rows: B^T = I + L + U (its
// diagonal is 1) is approximated by (I + L)(I + U), so that B ~ ((I + L)(I
// + U))^T. It reads the chain's own rates and exit rates and stores
// nothing: an incomplete LU would take 2 bytes per transition for its
// factors plus U's diagonal per unknown, and on the benchmark chains it
// needed no fewer iterations (Kanban 5: 48 against 41; FMS 8: 32 against
// 30).
//
// Given a pool, systems of `min_split` unknowns or more are cut in two
// diagonal blocks at half the transitions, and each block's sweeps ignore
// the other's unknowns: M is then block diagonal, a fixed operator that
// the two threads apply apart. The states are numbered breadth first, so
// few transitions cross the cut; where more than kMaxCrossingShare do, the
// system stays undivided. In the combined product the crossing
// terms are held back and added once both blocks are done, in a fixed
// order, so the result is the same for one thread and two.
class ChainGaussSeidel : public Preconditioner {
 public:
  // The largest share of the system's transitions that may cross the cut.
  static constexpr double kMaxCrossingShare = 0.1;

  // `system` and `pool` must outlive this object; `pool` may be null.
  explicit ChainGaussSeidel(const ChainOperator& system,
                            TwoWayPool* pool = nullptr,
                            std::size_t min_split = kMinSplit);
  // B's preconditioner solves with ((I + L)(I + U))^T; the transposed one
  // with (I + L)(I + U).
  void Apply(bool transposed, Eigen::VectorXd* x) const override;
  // With this system as `a`, not transposed: y := M^-1 y and v := B y in
  // one and a half passes over the transitions where the solve and the
  // product take two. The backward sweep meets each y_i final at its row,
  // so it reads the row whole: the entries before the diagonal finish the
  // sweep, and all of them go into B y. Otherwise a solve and a product
  // (transposed, the third half-pass it would need measured no faster).
  void ApplyThenMultiply(const LinearOperator& a, bool transposed,
                         Eigen::VectorXd* y, Eigen::VectorXd* v) const override;

  // The first unknown of the second block; size() when undivided.
  std::size_t middle() const { return middle_; }
  // Transitions between the two blocks.
  std::size_t crossing() const { return held_[0].size() + held_[1].size(); }

 private:
  // A term of B y that a block's sweep found for the other block.
  struct Held {
    std::uint32_t row;
    double term;
  };

  template <class Rows>
  void ApplyWith(Rows rows, bool transposed, std::int64_t lo, std::int64_t hi,
                 Eigen::VectorXd* x) const;
  // How far the backward sweep of the undivided pair on the pool is done:
  // the lowest row from which every row is final, n + 1 until the sweep
  // starts. The half that follows it does about half the work per row, so
  // it keeps catching up; it then sleeps until the sweep is kFollowLag rows
  // further, rather than polling: polling through the forward sweep and
  // behind the backward one cost FMS N = 8 as much system time as the
  // solve's whole wall time, a core taken from whatever else runs.
  class SweepProgress {
   public:
    explicit SweepProgress(std::int64_t n) : settled_(n + 1) {}
    // Rows `row` and up are done.
    void Settle(std::int64_t row);
    // Waits until row i is final (every row above it done) and returns
    // how far the sweep is then.
    std::int64_t AwaitRow(std::int64_t i);

   private:
    static constexpr std::int64_t kFollowLag = 16 * 1024;

    std::atomic<std::int64_t> settled_;
    // The row the sleeping follower waits for; -1 while none sleeps.
    std::atomic<std::int64_t> wake_at_{-1};
    std::mutex mutex_;
    std::condition_variable settled_changed_;
  };

  // Both sweeps over the unknowns lo..hi-1; terms of B y for rows outside
  // go to `held` (null when the block is the whole system), and their count
  // to *held_count.
  // The undivided sweep pair on the pool, in two halves that give the bytes
  // of ApplyThenMultiplyWith over the whole system. The first runs both
  // sweeps and adds each row's terms on and below the diagonal into B y,
  // telling in *progress how far up the backward sweep is done. The second
  // follows it up the rows and adds the terms above the diagonal of each row
  // once done: row i's term into B y_c, c > i, comes after every term the first
  // half adds there (rows c and up), and the rows reach each entry in the order
  // of the whole sweep, so every sum is taken in the same order. Neither writes
  // an entry the other reads or writes meanwhile: the first writes below its
  // row, the second above the row it follows.
  template <class Rows>
  void SweepsAndLowerTerms(Rows rows, std::int64_t n, Eigen::VectorXd* y,
                           Eigen::VectorXd* v, SweepProgress* progress) const;
  template <class Rows>
  void UpperTermsBehind(Rows rows, std::int64_t n, const Eigen::VectorXd& y,
                        Eigen::VectorXd* v, SweepProgress* progress) const;
  // Rows between two reports of the first half's progress.
  static constexpr std::int64_t kSettleStep = 1024;

  // `rows` is taken by value: a copy of its own lets the compiler keep its
  // pointers in registers across the stores into the vectors and `held`.
  template <class Rows>
  void ApplyThenMultiplyWith(Rows rows, std::int64_t lo, std::int64_t hi,
                             Eigen::VectorXd* y, Eigen::VectorXd* v, Held* held,
                             std::size_t* held_count) const;
  std::int64_t Begin(int block) const {
    return block == 0 ? 0 : static_cast<std::int64_t>(middle_);
  }
  std::int64_t End(int block) const {
    return block == 0 ? static_cast<std::int64_t>(middle_)
                      : static_cast<std::int64_t>(system_.size());
  }

  const ChainOperator& system_;
  TwoWayPool* pool_;
  std::size_t min_split_;
  std::size_t middle_;
  // Per block: room for every crossing transition out of its rows. Filled
  // by each combined product; mutable as scratch of a const operator.
  mutable std::vector<Held> held_[2];
  mutable std::size_t held_count_[2] = {0, 0};
};

// A state that the chain visits often, for the reference of an excursion
// system: the largest y_i = z_i / exit_i after `sweeps` steps of z += M^-1
// (c - B z) from y = 1 everywhere, with M the symmetric Gauss-Seidel
// above. The system's conditioning grows with how rarely its reference is
// visited (Kanban's first state has a probability of about 1e-9 where the
// likeliest has 4e-3), and a few steps rank the states roughly.
// kOutsideSystem when no y grew above the reference's 1. With `pool`, M is
// the two-block form above on systems large enough to cut.
std::uint32_t WellVisitedState(const ChainOperator& system,
                               const Eigen::VectorXd& c, int sweeps,
                               TwoWayPool* pool = nullptr);

#endif  // GEN_SOLVE_CHAINSYSTEM_H_
