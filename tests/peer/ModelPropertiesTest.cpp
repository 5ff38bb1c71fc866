// The properties of a model text, through san and solve, against values
// worked out here: the repair model of models/repair.san with two machines
// and fail rate 0.1. With the repairman's start instantaneous, its chain is
// A (both working) -> B at 0.2, B (one broken) -> A at 1 and -> C at 0.1,
// C (both broken) -> B at 1.

#include <array>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <map>
#include <string>

#include "gtest/gtest.h"
#include "tests/support/PeerRuns.h"
#include "tests/support/RaceAndChoiceModel.h"
#include "tests/support/RunProcess.h"

namespace {

using Matrix = std::array<std::array<double, 6>, 6>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix c{};
  for (int i = 0; i < 6; ++i) {
    for (int k = 0; k < 6; ++k) {
      for (int j = 0; j < 6; ++j) c[i][j] += a[i][k] * b[k][j];
    }
  }
  return c;
}

// exp(m) by scaling and squaring with a 30-term Taylor series: ample for
// the small norms here.
Matrix Exponential(Matrix m) {
  constexpr int kSquarings = 12;
  for (auto& row : m) {
    for (double& x : row) x /= std::ldexp(1.0, kSquarings);
  }
  Matrix sum{};
  Matrix term{};
  for (int i = 0; i < 6; ++i) sum[i][i] = term[i][i] = 1.0;
  for (int n = 1; n <= 30; ++n) {
    term = Multiply(term, m);
    for (auto& row : term) {
      for (double& x : row) x /= n;
    }
    for (int i = 0; i < 6; ++i) {
      for (int j = 0; j < 6; ++j) sum[i][j] += term[i][j];
    }
  }
  for (int s = 0; s < kSquarings; ++s) sum = Multiply(sum, sum);
  return sum;
}

double Relative(double value, double expected) {
  return std::fabs(value - expected) / std::fabs(expected);
}

TEST(ModelPropertiesTest, RepairModelPropertiesMatchTheirClosedForms) {
  ScopedTempDir dir;
  RunOk(SAN_BINARY,
        {std::string(GEN_MODELS_DIR) + "/repair.san", "-P" + dir.path() + "/",
         "-Nrepair", "-B1"},
        dir.path());
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "repair");

  // The variables that carry a property's subject are in the CSV only.
  EXPECT_EQ(values.count("prop_availability"), 1u);
  const ProcessResult table =
      RunOk(SOLVE_BINARY, {"-P" + dir.path() + "/", "-Nrepair"}, dir.path());
  EXPECT_EQ(table.out.find("prop_"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("repairs_per_hour"), std::string::npos);

  // pi_A * 0.2 = pi_B and pi_B * 0.1 = pi_C: pi = (1, 0.2, 0.02) / 1.22.
  EXPECT_LT(Relative(values["property:availability"], 1.2 / 1.22), 1e-12);
  // m_A = 5 + m_B and 1.1 m_B = 1 + m_A give m_A = 65.
  EXPECT_LT(Relative(values["property:mean_time_to_all_down"], 65.0), 1e-12);

  // [Q t, I t; 0, 0] over the states A, B, C: its exponential holds
  // exp(Q t) top left and the integral of exp(Q s) over [0, t] top right.
  auto generator = [](bool c_absorbing, double t) {
    Matrix m{};
    const double rates[3][3] = {
        {-0.2, 0.2, 0}, {1, -1.1, 0.1}, {0, c_absorbing ? 0.0 : 1.0, 0}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) m[i][j] = rates[i][j] * t;
      m[i][i] += i == 2 && !c_absorbing ? -1 * t : 0;
      m[i][i + 3] = t;
    }
    return Exponential(m);
  };
  const Matrix absorbing = generator(true, 10);
  EXPECT_LT(Relative(values["property:all_down_by_10"], absorbing[0][2]), 1e-9);
  // Expected repairs: the repair rate 1 while B or C, integrated over 100.
  const Matrix full = generator(false, 100);
  EXPECT_LT(
      Relative(values["property:repairs_by_100"], full[0][4] + full[0][5]),
      1e-9);
}

TEST(ModelPropertiesTest, UntilIntervalAndRewardUntilMatchTheirReferences) {
  // States A (a), B (b), C (c), D (d): A -> B at 1, A -> D at 2, B -> C at
  // 3, B -> A at 1, C -> A at 5, D -> A at 4.
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/four.san")
      << "place a = 1; place b; place c; place d;\n"
         "activity ab rate 1 { input a; output b; }\n"
         "activity ad rate 2 { input a; output d; }\n"
         "activity bc rate 3 { input b; output c; }\n"
         "activity ba rate 1 { input b; output a; }\n"
         "activity ca rate 5 { input c; output a; }\n"
         "activity da rate 4 { input d; output a; }\n"
         "reward cost { rate 1 + b; impulse ad = 10; }\n"
         "property ever = until(d == 0, c > 0);\n"
         "property by = until(d == 0, c > 0, 0.7);\n"
         "property window = reach(c > 0, [0.5, 1.2]);\n"
         "property both = until(d == 0, c > 0, [0.5, 1.2]);\n"
         "property spent = reach_reward(cost, c > 0);\n";
  RunOk(SAN_BINARY, {"four.san", "-P" + dir.path() + "/", "-Nfour"},
        dir.path());
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "four");

  // P_A = P_B / 3 and P_B = 3/4 + P_A / 4 give P_A = 3/11.
  EXPECT_LT(Relative(values["property:ever"], 3.0 / 11.0), 1e-12);
  // cost earns 1 + 2 x 10 in A (the impulse at ad's rate), 2 in B, 1 in D:
  // R_A = 7 + R_B / 3 + 2 R_D / 3, R_B = 1/2 + R_A / 4, R_D = 1/4 + R_A
  // give R_A = 88/3.
  EXPECT_LT(Relative(values["property:spent"], 88.0 / 3.0), 1e-12);

  enum { kA, kB, kC, kD };
  // exp(Q t) with the listed states made absorbing.
  auto transient = [](std::initializer_list<int> absorbing, double t) {
    const double rates[4][4] = {
        {-3, 1, 0, 2}, {1, -4, 3, 0}, {5, 0, -5, 0}, {4, 0, 0, -4}};
    Matrix m{};
    for (int i = 0; i < 4; ++i) {
      bool stopped = false;
      for (int s : absorbing) stopped = stopped || s == i;
      for (int j = 0; j < 4 && !stopped; ++j) m[i][j] = rates[i][j] * t;
    }
    return Exponential(m);
  };
  const Matrix by = transient({kC, kD}, 0.7);
  EXPECT_LT(Relative(values["property:by"], by[kA][kC]), 1e-9);
  // Where the chain is at 0.5, then reaching C within the 0.7 left; for
  // the until, D must not have been visited before 0.5 either.
  const Matrix free = transient({}, 0.5);
  const Matrix no_d = transient({kD}, 0.5);
  const Matrix reach_c = transient({kC}, 0.7);
  double window = 0;
  double both = 0;
  for (int s = kA; s <= kD; ++s) window += free[kA][s] * reach_c[s][kC];
  for (int s = kA; s <= kC; ++s) both += no_d[kA][s] * by[s][kC];
  EXPECT_LT(Relative(values["property:window"], window), 1e-9);
  EXPECT_LT(Relative(values["property:both"], both), 1e-9);
}

TEST(ModelPropertiesTest, ZeroTimeImpulsesEarnTheLongRunRateOfTheirFirings) {
  // go (rate 4) leads to left or right (weights 1 : 3); right sets off
  // next. The chain S -> L at 1, S -> R at 3, L -> S at 1, R -> S at 2 has
  // pi_S = 2/7: left fires 2/7 and right and next 6/7 times per unit of
  // time.
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/fork.san")
      << "place s = 1; place a; place l; place m; place r;\n"
         "activity go rate 4 { input s; output a; }\n"
         "activity left instant weight 1 { input a; output l; }\n"
         "activity right instant weight 3 { input a; output m; }\n"
         "activity next instant { input m; output r; }\n"
         "activity back_l rate 1 { input l; output s; }\n"
         "activity back_r rate 2 { input r; output s; }\n"
         "reward earned { impulse left = 2; impulse right = 5;"
         " impulse next; }\n"
         "reward rights { impulse right; }\n"
         "property earning = steady(earned);\n";
  RunOk(SAN_BINARY, {"fork.san", "-P" + dir.path() + "/", "-Nfork"},
        dir.path());
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "fork");
  EXPECT_LT(Relative(values["property:earning"], 40.0 / 7.0), 1e-12);
  EXPECT_LT(Relative(values["rights"], 6.0 / 7.0), 1e-12);
}

// The model of ModelBuilderTest's deterministic impulses: idle (I) goes
// to busy (B) at rate 1/2; in B, serve (delay 2) races abort (rate 1/4),
// and after serve ok (3 in 4) returns to I, retry (1 in 4) restarts B. With
// q = e^-1/2 the chance that serve wins, the embedded chain on {I, B} has
// I -> B 1, B -> I 1 - q/4 = a, B -> B q/4: nu_B = 1/(1 + a),
// nu_I = a/(1 + a); the mean stays are 2 in I and 4(1 - q) in B, so a visit
// to B starts every D = 2a + 4(1 - q) time units on average, serve fires
// q/D and abort (1 - q)/D times per unit of time, and admit a/D.
TEST(ModelPropertiesTest,
     DeterministicImpulsesEarnTheLongRunRateOfTheirFirings) {
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/md.san")
      << kRaceAndChoiceModel << "reward idle_time = idle;\n";
  RunOk(SAN_BINARY, {"md.san", "-P" + dir.path() + "/", "-Nmd"}, dir.path());
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "md");
  const double q = std::exp(-0.5);
  const double a = 1 - q / 4;
  const double d = 2 * a + 4 * (1 - q);
  EXPECT_LT(Relative(values["served"], 2 * q / d), 1e-12);
  EXPECT_LT(Relative(values["routed"], (0.75 * 5 + 0.25) * q / d), 1e-12);
  EXPECT_LT(Relative(values["admits"], (a + 7 * (1 - q)) / d), 1e-12);
  EXPECT_LT(Relative(values["idle_time"], 2 * a / d), 1e-12);

  // A cycle of length 2 earns 3 per turn, 3/2 per unit of time, whether its
  // length is fixed or exponential of mean 2.
  for (const char* timing : {"delay 2", "rate 0.5"}) {
    SCOPED_TRACE(timing);
    std::ofstream(dir.path() + "/cycle.san")
        << "place p = 1;\nactivity turn " << timing
        << " { input p; output p; }\nreward earned { impulse turn = 3; }\n";
    RunOk(SAN_BINARY, {"cycle.san", "-P" + dir.path() + "/", "-Ncycle"},
          dir.path());
    values = SolveCsv(SOLVE_BINARY, dir.path(), "cycle");
    EXPECT_LT(Relative(values["earned"], 1.5), 1e-12);
  }
}

// A service of fixed length 2 whose cases (1 : 3) route into a fast phase
// (rate 1) or a slow one (rate 1/2), both back to service: one clock with
// two branches. A cycle lasts 2 + 1/4 x 1 + 3/4 x 2 = 15/4, so service
// holds 8/15 of the time, ends 4/15 times per unit of time, and takes the
// slow case 1/5 times.
TEST(ModelPropertiesTest, CasesOfADeterministicActivityShareItsClock) {
  ScopedTempDir dir;
  std::ofstream(dir.path() + "/phases.san")
      << "place busy = 1; place fast; place slow;\n"
         "activity serve delay 2 { input busy;"
         " case 1 { output fast; } case 3 { output slow; } }\n"
         "activity f rate 1 { input fast; output busy; }\n"
         "activity s rate 0.5 { input slow; output busy; }\n"
         "reward in_busy = busy;\n"
         "reward serves { impulse serve; }\n"
         "reward slow_routes { impulse serve_case2; }\n";
  RunOk(SAN_BINARY, {"phases.san", "-P" + dir.path() + "/", "-Nphases"},
        dir.path());
  EXPECT_EQ(ReadWholeFile(dir.path() + "/phases.det"),
            "1\n2.0000000000e+00\n1\n0\n");
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "phases");
  EXPECT_LT(Relative(values["in_busy"], 8.0 / 15), 1e-12);
  EXPECT_LT(Relative(values["serves"], 4.0 / 15), 1e-12);
  EXPECT_LT(Relative(values["slow_routes"], 1.0 / 5), 1e-12);
}

// On a chain with deterministic delays solve gives steady-state properties
// from the long run (the model above: 8/15 busy, 4/15 services per unit of
// time), and refuses every other kind by name, before printing anything.
TEST(ModelPropertiesTest, DeterministicChainsSolveSteadyPropertiesOnly) {
  ScopedTempDir dir;
  const std::string model =
      "place busy = 1; place fast; place slow;\n"
      "activity serve delay 2 { input busy;"
      " case 1 { output fast; } case 3 { output slow; } }\n"
      "activity f rate 1 { input fast; output busy; }\n"
      "activity s rate 0.5 { input slow; output busy; }\n"
      "reward serves { impulse serve; }\n"
      "property busy_share = steady(busy == 1);\n"
      "property service_rate = steady(serves);\n";
  std::ofstream(dir.path() + "/steady.san") << model;
  RunOk(SAN_BINARY, {"steady.san", "-P" + dir.path() + "/", "-Nsteady"},
        dir.path());
  std::map<std::string, double> values =
      SolveCsv(SOLVE_BINARY, dir.path(), "steady");
  EXPECT_LT(Relative(values["property:busy_share"], 8.0 / 15), 1e-12);
  EXPECT_LT(Relative(values["property:service_rate"], 4.0 / 15), 1e-12);
  const ProcessResult table = RunProcess(
      SOLVE_BINARY, {"-P" + dir.path() + "/", "-Nsteady"}, dir.path());
  EXPECT_EQ(table.exit_code, 0) << table.err;
  EXPECT_NE(table.out.find("property       busy_share "), std::string::npos)
      << table.out;
  EXPECT_EQ(table.out.find("prop_busy_share"), std::string::npos);

  std::ofstream(dir.path() + "/timed.san")
      << model << "property soon = reach(fast == 1, 1);\n";
  RunOk(SAN_BINARY, {"timed.san", "-P" + dir.path() + "/", "-Ntimed"},
        dir.path());
  const ProcessResult refused = RunProcess(
      SOLVE_BINARY, {"-P" + dir.path() + "/", "-Ntimed"}, dir.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("timed.props:4: property \"soon\": only "
                             "steady-state properties are solved on a chain "
                             "with deterministic delays"),
            std::string::npos)
      << refused.err;
}

}  // namespace
