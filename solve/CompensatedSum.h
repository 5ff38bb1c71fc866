#ifndef GEN_SOLVE_COMPENSATEDSUM_H_
#define GEN_SOLVE_COMPENSATEDSUM_H_

#include <cmath>

// Neumaier's compensated sum: the probabilities of rare states are many
// orders of magnitude below those of common ones, and a plain sum would
// lose them.
class CompensatedSum {
 public:
  void Add(double x) {
    const double t = sum_ + x;
    if (std::abs(sum_) >= std::abs(x)) {
      correction_ += (sum_ - t) + x;
    } else {
      correction_ += (x - t) + sum_;
    }
    sum_ = t;
  }
  double Value() const { return sum_ + correction_; }

 private:
  double sum_ = 0;
  double correction_ = 0;
};

#endif  // GEN_SOLVE_COMPENSATEDSUM_H_
