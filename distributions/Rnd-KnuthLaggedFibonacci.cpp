#include "distributions/Rnd-KnuthLaggedFibonacci.h"

#include "base/Contract.h"

double ran_u[kRanfLongLag];
double ranf_arr_buf[kRanfQuality];

namespace {

constexpr std::size_t KK = kRanfLongLag;
constexpr std::size_t LL = kRanfShortLag;

// Sentinels: a negative value under ranf_arr_ptr means "refill first".
// ranf_arr_dummy marks a generator that was never seeded.
double ranf_arr_dummy = -1.0;
double ranf_arr_started = -1.0;
double* ranf_arr_ptr = &ranf_arr_dummy;

// (x + y) mod 1 for x, y in [0, 1). Exact: both have at most 52 significant
// bits after the point, so the sum needs no rounding.
inline double ModSum(double x, double y) {
  const double sum = x + y;
  return sum - static_cast<int>(sum);
}

double RanfArrCycle() {
  if (ranf_arr_ptr == &ranf_arr_dummy) ranf_start(314159L);
  ranf_array(ranf_arr_buf, kRanfQuality);
  ranf_arr_buf[KK] = -1.0;
  ranf_arr_ptr = ranf_arr_buf + 1;
  return ranf_arr_buf[0];
}

}  // namespace

void ranf_array(double* aa, std::size_t n) {
  GEN_CHECK(n >= KK);
  std::size_t i = 0;
  std::size_t j = 0;
  for (; j < KK; ++j) aa[j] = ran_u[j];
  for (; j < n; ++j) aa[j] = ModSum(aa[j - KK], aa[j - LL]);
  for (; i < LL; ++i, ++j) ran_u[i] = ModSum(aa[j - KK], aa[j - LL]);
  for (; i < KK; ++i, ++j) ran_u[i] = ModSum(aa[j - KK], ran_u[i - LL]);
}

void ranf_start(long seed) {
  constexpr int kk = static_cast<int>(KK);
  constexpr int ll = static_cast<int>(LL);
  // The buffer is a polynomial over GF(2) whose coefficients are the bits
  // of doubles in [0, 1); seeding raises x to the power given by the seed's
  // bits, by repeated squaring (spreading) and multiplication by x (shift).
  double u[2 * KK - 1];
  const double ulp = (1.0 / (1L << 30)) / (1L << 22);  // 2^-52
  double ss = 2.0 * ulp * static_cast<double>((seed & 0x3fffffff) + 2);
  for (int j = 0; j < kk; ++j) {
    u[j] = ss;
    ss += ss;  // cyclic shift of 51 bits
    if (ss >= 1.0) ss -= 1.0 - 2 * ulp;
  }
  u[1] += ulp;  // u[1] alone is odd, so no seed gives a zero polynomial
  long s = seed & 0x3fffffff;
  for (int t = kRanfSeparation - 1; t != 0;) {
    for (int j = kk - 1; j > 0; --j) {  // square
      u[j + j] = u[j];
      u[j + j - 1] = 0.0;
    }
    for (int j = kk + kk - 2; j >= kk; --j) {  // reduce modulo the recurrence
      u[j - (kk - ll)] = ModSum(u[j - (kk - ll)], u[j]);
      u[j - kk] = ModSum(u[j - kk], u[j]);
    }
    if (s & 1) {  // multiply by x
      for (int j = kk; j > 0; --j) u[j] = u[j - 1];
      u[0] = u[kk];
      u[ll] = ModSum(u[ll], u[kk]);
    }
    if (s != 0) {
      s >>= 1;
    } else {
      --t;
    }
  }
  for (int j = 0; j < ll; ++j) ran_u[j + kk - ll] = u[j];
  for (int j = ll; j < kk; ++j) ran_u[j - ll] = u[j];
  for (int j = 0; j < 10; ++j) ranf_array(u, 2 * KK - 1);  // warm up
  ranf_arr_ptr = &ranf_arr_started;
}

double ranf_arr_next() {
  return *ranf_arr_ptr >= 0.0 ? *ranf_arr_ptr++ : RanfArrCycle();
}
