#ifndef GEN_DISTRIBUTIONS_DISTRIBUTIONS_H_
#define GEN_DISTRIBUTIONS_DISTRIBUTIONS_H_

#include <memory>

#include "distributions/RandomNumberGenerator.h"

// Random variates of seventeen distributions, made from the uniform numbers
// of `Generator`. Parameters are not validated: out-of-range values give
// whatever the formulas compute in floating point (a rate of 0 gives inf).
// Each draw takes as many uniforms as its method needs, in the order noted.
class Distributions {
 public:
  // Starts with an unseeded LaggedFibonacci.
  Distributions();
  Distributions(const Distributions&) = delete;
  Distributions& operator=(const Distributions&) = delete;
  virtual ~Distributions();

  double Exponential(double rate);
  // Takes no uniform.
  double Deterministic(double value);
  // Failures before the first success of probability p.
  double Geometric(double p);
  double Weibull(double shape, double scale);
  // Remaining life of a Weibull-distributed lifetime that has lasted t.
  double ConditionalWeibull(double shape, double scale, double t);
  // Never negative: draws again until the value is at least 0.
  double Normal(double mean, double variance);
  // e^X with X normal of the given mean and variance.
  double Lognormal(double mean, double variance);
  // Sum of floor(stages) exponential phases with total mean `mean`; 0 when
  // stages < 1.
  double Erlang(double stages, double mean);
  // `min` without a draw when min == max.
  double Triangular(double min, double max, double mode);
  double Gamma(double shape, double scale);
  // Gamma variates for a, then b, both of scale 1.
  double Beta(double a, double b);
  double Uniform(double low, double high);
  // Successes in ceil(n) trials of probability p; 0 when n <= 0.
  double Binomial(double n, double p);
  // Sum of ceil(n) geometric variates of probability p; 0 when n <= 0.
  double NegativeBinomial(double r, double p);
  // `params` holds n > 0 pairs (rate, weight); a branch is picked with
  // probability weight / (sum of weights), then its exponential is drawn.
  double HyperExponential(int n, const double* params);
  // Sum of n exponentials with rates[0..n).
  double HypoExponential(int n, const double* rates);
  // scale * U^(-1/shape): at least `scale`.
  double Pareto(double scale, double shape);

  // The uniform source. Owned; public so that callers can draw plain
  // uniforms from it or replace it.
  std::unique_ptr<RandomNumberGenerator> Generator;

 private:
  // A standard normal from the polar method: the first pair (q1, q2) with
  // q1² + q2² <= 1 gives q1 * sqrt(-2 ln(s) / s).
  double PolarNormal();
};

#endif  // GEN_DISTRIBUTIONS_DISTRIBUTIONS_H_
