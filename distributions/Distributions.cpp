#include "distributions/Distributions.h"

#include <cmath>

#include "base/Contract.h"
#include "distributions/LaggedFibonacci.h"

namespace {

constexpr double kE = 2.718281828459045235360287;

// Number of trials of Binomial and NegativeBinomial: n rounded up, none for
// n <= 0 (or NaN).
double TrialCount(double n) { return n > 0.0 ? std::ceil(n) : 0.0; }

}  // namespace

Distributions::Distributions()
    : Generator(std::make_unique<LaggedFibonacci>()) {}

Distributions::~Distributions() = default;

double Distributions::Exponential(double rate) {
  return -std::log(Generator->rnd()) / rate;
}

double Distributions::Deterministic(double value) { return value; }

double Distributions::Geometric(double p) {
  return std::floor(std::log(Generator->rnd()) / std::log(1.0 - p));
}

double Distributions::Weibull(double shape, double scale) {
  return scale * std::pow(-std::log(Generator->rnd()), 1.0 / shape);
}

double Distributions::ConditionalWeibull(double shape, double scale, double t) {
  // Inverse of the survival function conditioned on having lasted t.
  const double survived = std::exp(-std::pow(t / scale, shape));
  return scale * std::pow(-std::log(Generator->rnd() * survived), 1.0 / shape) -
         t;
}

double Distributions::PolarNormal() {
  double q1 = 0.0;
  double s = 0.0;
  do {
    q1 = 2.0 * Generator->rnd() - 1.0;
    const double q2 = 2.0 * Generator->rnd() - 1.0;
    s = q1 * q1 + q2 * q2;
  } while (s > 1.0);
  return q1 * std::sqrt(-2.0 * std::log(s) / s);
}

double Distributions::Normal(double mean, double variance) {
  const double sd = std::sqrt(variance);
  double value = 0.0;
  do {
    value = mean + sd * PolarNormal();
  } while (value < 0.0);
  return value;
}

double Distributions::Lognormal(double mean, double variance) {
  return std::exp(mean + std::sqrt(variance) * PolarNormal());
}

double Distributions::Erlang(double stages, double mean) {
  const double phases = std::floor(stages);
  if (!(phases >= 1.0)) return 0.0;
  // One logarithm of the product instead of a sum of logarithms.
  double product = 1.0;
  for (double i = 0.0; i < phases; i += 1.0) product *= Generator->rnd();
  return -(mean / stages) * std::log(product);
}

double Distributions::Triangular(double min, double max, double mode) {
  if (min == max) return min;
  const double range = max - min;
  const double f = (mode - min) / range;
  const double u = Generator->rnd();
  if (u <= f) return min + range * std::sqrt(f * u);
  return min + range * (1.0 - std::sqrt((1.0 - f) * (1.0 - u)));
}

double Distributions::Gamma(double shape, double scale) {
  const double alpha = shape;
  if (alpha == 1.0) return -scale * std::log(Generator->rnd());
  if (alpha > 1.0) {
    // Cheng's rejection method GB, with the squeeze test first.
    const double a = 1.0 / std::sqrt(2.0 * alpha - 1.0);
    const double b = alpha - std::log(4.0);
    const double d = 1.0 + std::log(4.5);
    const double c = alpha + 1.0 / a;
    for (;;) {
      const double u1 = Generator->rnd();
      const double u2 = Generator->rnd();
      const double v = a * std::log(u1 / (1.0 - u1));
      const double x = alpha * std::exp(v);
      const double z = u1 * u1 * u2;
      const double r = b + c * v - x;
      if (r + d - 4.5 * z >= 0.0 || r >= std::log(z)) return scale * x;
    }
  }
  // Ahrens and Dieter's method GS for shapes below 1.
  const double b = (alpha + kE) / kE;
  for (;;) {
    const double p = b * Generator->rnd();
    if (p <= 1.0) {
      const double x = std::pow(p, 1.0 / alpha);
      if (Generator->rnd() <= std::exp(-x)) return scale * x;
    } else {
      const double x = -std::log((b - p) / alpha);
      if (Generator->rnd() <= std::pow(x, alpha - 1.0)) return scale * x;
    }
  }
}

double Distributions::Beta(double a, double b) {
  const double ga = Gamma(a, 1.0);
  const double gb = Gamma(b, 1.0);
  return ga / (ga + gb);
}

double Distributions::Uniform(double low, double high) {
  return low + (high - low) * Generator->rnd();
}

double Distributions::Binomial(double n, double p) {
  const double trials = TrialCount(n);
  double successes = 0.0;
  for (double i = 1.0; i <= trials; i += 1.0) {
    if (Generator->rnd() <= p) successes += 1.0;
  }
  return successes;
}

double Distributions::NegativeBinomial(double r, double p) {
  const double trials = TrialCount(r);
  const double log_q = std::log(1.0 - p);
  double sum = 0.0;
  for (double i = 1.0; i <= trials; i += 1.0) {
    sum += std::floor(std::log(Generator->rnd()) / log_q);
  }
  return sum;
}

double Distributions::HyperExponential(int n, const double* params) {
  GEN_CHECK(n > 0);
  double total = 0.0;
  for (int i = 0; i < n; ++i) total += params[2 * i + 1];
  const double u = Generator->rnd();
  // The last branch's cumulative weight is `total` itself, summed in the
  // same order, so a uniform below 1 always stops at the last branch.
  int branch = 0;
  double cumulative = params[1];
  while (branch < n - 1 && !(u < cumulative / total)) {
    ++branch;
    cumulative += params[2 * branch + 1];
  }
  return -std::log(Generator->rnd()) / params[2 * branch];
}

double Distributions::HypoExponential(int n, const double* rates) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += -std::log(Generator->rnd()) / rates[i];
  return sum;
}

double Distributions::Pareto(double scale, double shape) {
  return std::exp(std::log(scale) - std::log(Generator->rnd()) / shape);
}
