#include "distributions/Distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Hands out a fixed script of uniforms, then 0.5 forever, and counts draws.
class ScriptedGenerator : public RandomNumberGenerator {
 public:
  explicit ScriptedGenerator(std::vector<double> script)
      : script_(std::move(script)) {}

  double rnd() override {
    const std::size_t i = draws_++;
    return i < script_.size() ? script_[i] : 0.5;
  }
  std::size_t draws() const { return draws_; }

 private:
  std::vector<double> script_;
  std::size_t draws_ = 0;
};

struct Case {
  const char* name;
  std::vector<double> script;
  std::function<double(Distributions&)> draw;
  double expected;
  std::size_t draws;
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Distributions d;
    auto generator = std::make_unique<ScriptedGenerator>(c.script);
    const ScriptedGenerator& scripted = *generator;
    d.Generator = std::move(generator);
    EXPECT_DOUBLE_EQ(c.draw(d), c.expected);
    EXPECT_EQ(scripted.draws(), c.draws);
  }
}

const double kLn2 = std::log(2.0);

TEST(DistributionsTest, VariatesFromOneHalf) {
  const double hypo_rates[] = {1.0, 2.0};
  RunCases({
      {"Exponential(2)",
       {},
       [](Distributions& d) { return d.Exponential(2); },
       kLn2 / 2,
       1},
      {"Deterministic(2.5)",
       {},
       [](Distributions& d) { return d.Deterministic(2.5); },
       2.5,
       0},
      {"Uniform(1,3)",
       {},
       [](Distributions& d) { return d.Uniform(1, 3); },
       2.0,
       1},
      {"Pareto(2,1)",
       {},
       [](Distributions& d) { return d.Pareto(2, 1); },
       4.0,
       1},
      {"Geometric(0.5)",
       {},
       [](Distributions& d) { return d.Geometric(0.5); },
       1.0,
       1},
      {"Weibull(2,3)",
       {},
       [](Distributions& d) { return d.Weibull(2, 3); },
       3 * std::sqrt(kLn2),
       1},
      // Shape 1 is memoryless: the remaining life ignores the age.
      {"ConditionalWeibull(1,2,3)",
       {},
       [](Distributions& d) { return d.ConditionalWeibull(1, 2, 3); },
       2 * kLn2,
       1},
      {"Triangular(3,3,3)",
       {},
       [](Distributions& d) { return d.Triangular(3, 3, 3); },
       3.0,
       0},
      {"Triangular upper side",
       {},
       [](Distributions& d) { return d.Triangular(0, 4, 1); },
       4 * (1 - std::sqrt(0.75 * 0.5)),
       1},
      {"Triangular lower side",
       {0.125},
       [](Distributions& d) { return d.Triangular(0, 4, 1); },
       1 / std::sqrt(2.0),
       1},
      {"Erlang(0.5,1)",
       {},
       [](Distributions& d) { return d.Erlang(0.5, 1.0); },
       0.0,
       0},
      {"Erlang(3,6)",
       {0.5, 0.25, 0.125},
       [](Distributions& d) { return d.Erlang(3, 6); },
       12 * kLn2,
       3},
      // Two stages drawn, but the mean is split over 2.5.
      {"Erlang(2.5,1)",
       {},
       [](Distributions& d) { return d.Erlang(2.5, 1); },
       2 * kLn2 / 2.5,
       2},
      {"Binomial(3,1)",
       {},
       [](Distributions& d) { return d.Binomial(3, 1.0); },
       3.0,
       3},
      {"Binomial(2.5,0.5) rounds up",
       {0.5, 0.9, 0.1},
       [](Distributions& d) { return d.Binomial(2.5, 0.5); },
       2.0,
       3},
      {"Binomial(0,0.5)",
       {},
       [](Distributions& d) { return d.Binomial(0, 0.5); },
       0.0,
       0},
      {"NegativeBinomial(2,0.5)",
       {0.5, 0.125},
       [](Distributions& d) { return d.NegativeBinomial(2, 0.5); },
       4.0,
       2},
      {"HypoExponential",
       {},
       [&](Distributions& d) { return d.HypoExponential(2, hypo_rates); },
       kLn2 + kLn2 / 2,
       2},
      {"Gamma(1,3)",
       {},
       [](Distributions& d) { return d.Gamma(1, 3); },
       3 * kLn2,
       1},
  });
}

TEST(DistributionsTest, HyperExponentialPicksBranchByCumulativeWeight) {
  // Branch 0: rate 1, weight 1; branch 1: rate 4, weight 3.
  static const double params[] = {1.0, 1.0, 4.0, 3.0};
  const auto draw = [](Distributions& d) {
    return d.HyperExponential(2, params);
  };
  RunCases({
      {"inside first share", {0.2, 0.5}, draw, kLn2, 2},
      {"first share is open above", {0.25, 0.5}, draw, kLn2 / 4, 2},
      {"top of the range", {0.999, 0.5}, draw, kLn2 / 4, 2},
  });
}

TEST(DistributionsTest, PolarMethodRejectsOutsideCircleAndNegatives) {
  // (0.75, 0.5) gives q = (0.5, 0), s = 1/4, z = 0.5 * sqrt(8 ln 4).
  const double z = 2 * std::sqrt(kLn2);
  RunCases({
      {"Normal redraws",
       {0.95, 0.95, 0.25, 0.5, 0.75, 0.5},
       [](Distributions& d) { return d.Normal(1, 4); },
       1 + 2 * z,
       6},
      {"Lognormal keeps a negative z",
       {0.25, 0.5},
       [](Distributions& d) { return d.Lognormal(0.5, 4); },
       std::exp(0.5 - 2 * z),
       2},
  });
}

TEST(DistributionsTest, GammaRejectionMethods) {
  const double e = std::exp(1.0);
  const double b = (0.5 + e) / e;  // GS bound for shape 0.5
  RunCases({
      // Shape 2, U1 = 0.5: v = 0, x = 2, accepted by the squeeze.
      {"Cheng accepts",
       {},
       [](Distributions& d) { return d.Gamma(2, 3); },
       6.0,
       2},
      // U1 = 0.99 puts x near 28, far in the tail: rejected.
      {"Cheng rejects then accepts",
       {0.99, 0.5},
       [](Distributions& d) { return d.Gamma(2, 3); },
       6.0,
       4},
      // p = b/2 <= 1, x = p^2; U2 = 0.9 > e^-x rejects, 0.5 accepts.
      {"GS lower branch",
       {0.5, 0.9},
       [](Distributions& d) { return d.Gamma(0.5, 2); },
       2 * (b / 2) * (b / 2),
       4},
      {"GS upper branch",
       {0.9, 0.5},
       [](Distributions& d) { return d.Gamma(0.5, 1); },
       -std::log((b - 0.9 * b) / 0.5),
       2},
      // Ga = ln 4 from shape 1, then Gb = 2 from shape 2.
      {"Beta draws a then b",
       {0.25},
       [](Distributions& d) { return d.Beta(1, 2); },
       2 * kLn2 / (2 * kLn2 + 2),
       3},
  });
}

}  // namespace
