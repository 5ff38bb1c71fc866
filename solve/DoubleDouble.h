#ifndef GEN_SOLVE_DOUBLEDOUBLE_H_
#define GEN_SOLVE_DOUBLEDOUBLE_H_

#include <cmath>
#include <cstddef>

// Error-free transformations and a double-double accumulator, for residuals
// that must be exact to far below the rounding of a double: a residual
// computed in doubles carries an error of the size of the largest term, and
// multiplied by the conditioning of a stiff chain that hides the real error
// of its solution.

// s + e == a + b exactly, with s = fl(a + b).
inline void TwoSum(double a, double b, double* s, double* e) {
  *s = a + b;
  const double bb = *s - a;
  *e = (a - (*s - bb)) + (b - bb);
}

// p + e == a * b exactly (unless e underflows), with p = fl(a * b).
inline void TwoProduct(double a, double b, double* p, double* e) {
  *p = a * b;
  *e = std::fma(a, b, -*p);
}

// A sum carried as hi + lo: hi takes every term through TwoSum and lo
// collects the errors. After k terms whose magnitudes add up to `scale`, the
// error of hi + lo is at most (k + 2)^2 2^-106 scale (twice the k^2 u^2 / 2
// that lo collects) plus k 2^-1074 for
// underflowed product errors (see Rounding()).
class DoubleDoubleSum {
 public:
  DoubleDoubleSum() = default;
  // Resumes a sum whose parts were kept elsewhere (see Parts), so that many
  // sums can live in plain vectors.
  DoubleDoubleSum(double hi, double lo, double scale, std::size_t terms)
      : hi_(hi), lo_(lo), scale_(scale), terms_(terms) {}
  void Parts(double* hi, double* lo, double* scale, std::size_t* terms) const {
    *hi = hi_;
    *lo = lo_;
    *scale = scale_;
    *terms = terms_;
  }
  void Add(double x) {
    double s = 0;
    double e = 0;
    TwoSum(hi_, x, &s, &e);
    hi_ = s;
    lo_ += e;
    scale_ += std::abs(x);
    ++terms_;
  }
  // Adds a * b with its rounding error.
  void AddProduct(double a, double b) {
    double p = 0;
    double e = 0;
    TwoProduct(a, b, &p, &e);
    Add(p);
    lo_ += e;
    ++terms_;
  }
  // The sum rounded to hi + lo with |lo| <= ulp(hi) / 2.
  void Split(double* hi, double* lo) const { TwoSum(hi_, lo_, hi, lo); }
  double Value() const { return hi_ + lo_; }
  // Bound on |exact sum - (hi + lo)|.
  double Rounding() const {
    const double k = static_cast<double>(terms_) + 2;
    return k * k * std::ldexp(scale_, -106) + k * std::ldexp(1.0, -1074);
  }

 private:
  double hi_ = 0;
  double lo_ = 0;
  double scale_ = 0;
  std::size_t terms_ = 0;
};

#endif  // GEN_SOLVE_DOUBLEDOUBLE_H_
