// Steady state of chains with deterministic delays, against closed forms and
// against an embedded chain at departure epochs solved here independently.

#include "solve/Regenerative.h"

#include <cmath>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "solve/DeterministicChain.h"

namespace {

std::string Num(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

DeterministicChain Parse(const std::string& text) {
  DeterministicChain chain;
  const Status status = ParseDeterministicChain(text, "t.dch", &chain);
  EXPECT_TRUE(status.ok) << status.message;
  return chain;
}

RegenerativeResult Solve(const std::string& text) {
  RegenerativeResult result = SolveRegenerative(Parse(text), {});
  EXPECT_TRUE(result.ok) << result.message;
  return result;
}

// A unit fails at rate `fail` and is repaired in the fixed time `repair`;
// with `replace` > 0 an exponential replacement races the repair and
// disables it.
std::string Unit(double fail, double repair, double replace) {
  std::string text = "dch 1\nactions 1\nrepair\nstate 1\nrate 2 " + Num(fail) +
                     " -\nstate 2\ndelay 1 " + Num(repair) + "\nto 1 1 1\n";
  if (replace > 0) text += "rate 1 " + Num(replace) + " r\n";
  return text + "end 2\n";
}

TEST(RegenerativeTest, UnitWithFixedRepairAndRacingReplacement) {
  struct Row {
    double fail, repair, replace;
  };
  const Row rows[] = {{0.01, 5, 0},  {2, 0.25, 0}, {1e-4, 100, 0},
                      {0.1, 3, 0.5}, {1, 2, 4},    {0.5, 1e-3, 1e3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.fail) + " " + std::to_string(row.repair) +
                 " " + std::to_string(row.replace));
    const double down =
        row.replace > 0 ? -std::expm1(-row.replace * row.repair) / row.replace
                        : row.repair;
    const double up = 1 / row.fail;
    const RegenerativeResult result =
        Solve(Unit(row.fail, row.repair, row.replace));
    ASSERT_EQ(result.pi.size(), 2u);
    const double error = std::abs(result.pi[0] - up / (up + down));
    EXPECT_LE(error, 1e-13);
    EXPECT_LE(error, result.pi_error + 1e-16);
    EXPECT_LT(result.pi_error, 1e-9);
    // Repairs complete at the rate of cycles times the chance that the
    // repair beats the replacement.
    const double repairs =
        (row.replace > 0 ? std::exp(-row.replace * row.repair) : 1) /
        (up + down);
    EXPECT_NEAR(result.firing_rate[0], repairs, 1e-13 * repairs);
    EXPECT_EQ(result.firing_rate[1], 0);
  }
}

// The M/D/1/K queue: state n + 1 holds n customers; arrivals of rate
// `arrival` while n < K keep the service's clock running.
std::string Queue(int capacity, double arrival, double service) {
  std::string text =
      "dch 1\nactions 1\nserve\nstate 1\nrate 2 " + Num(arrival) + " -\n";
  for (int n = 1; n <= capacity; ++n) {
    text += "state " + std::to_string(n + 1) + "\ndelay 1 " + Num(service) +
            "\nto 1 " + std::to_string(n) + " 1\n";
    if (n < capacity) {
      text += "rate " + std::to_string(n + 2) + " " + Num(arrival) + " c\n";
    }
  }
  return text + "end " + std::to_string(capacity + 1) + "\n";
}

// Time averages of the M/D/1/K queue from the chain at departure epochs
// (on 0..K-1 customers left behind): a_k = e^-r r^k / k! arrivals during a
// service of load r; p_j = d_j / (d_0 + r) for j < K and p_K = 1 - 1 / (d_0
// + r).
std::vector<double> QueueByDepartures(int capacity, double load) {
  const int n = capacity;
  std::vector<double> a(n + 1);
  for (int k = 0; k <= n; ++k) {
    a[k] = std::exp(-load + k * std::log(load) - std::lgamma(k + 1.0));
  }
  std::vector<std::vector<double>> p(n, std::vector<double>(n, 0.0));
  for (int i = 0; i < n; ++i) {
    const int low = std::max(i - 1, 0);
    double sum = 0;
    for (int j = low; j < n - 1; ++j) {
      p[i][j] = a[j - low];
      sum += p[i][j];
    }
    p[i][n - 1] = 1 - sum;
  }
  // d (P - I) = 0 with d_0 = 1: Gaussian elimination on the transposed
  // system, the first equation replaced by the normalisation.
  std::vector<std::vector<double>> m(n, std::vector<double>(n + 1, 0.0));
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) m[j][i] = p[i][j] - (i == j ? 1 : 0);
  }
  for (int i = 0; i < n; ++i) m[0][i] = i == 0 ? 1 : 0;
  m[0][n] = 1;
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r) {
      if (std::abs(m[r][c]) > std::abs(m[pivot][c])) pivot = r;
    }
    std::swap(m[c], m[pivot]);
    for (int r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (int k = c; k <= n; ++k) m[r][k] -= f * m[c][k];
    }
  }
  std::vector<double> d(n);
  double total = 0;
  for (int i = 0; i < n; ++i) total += d[i] = m[i][n] / m[i][i];
  for (double& x : d) x /= total;
  std::vector<double> time(n + 1);
  for (int j = 0; j < n; ++j) time[j] = d[j] / (d[0] + load);
  time[n] = 1 - 1 / (d[0] + load);
  return time;
}

TEST(RegenerativeTest, QueueWithFixedServiceMatchesDepartureChain) {
  for (int capacity : {1, 2, 5, 12}) {
    for (double load : {0.3, 0.9, 1.0, 2.5}) {
      SCOPED_TRACE("K " + std::to_string(capacity) + " load " +
                   std::to_string(load));
      const double service = 0.5;
      const RegenerativeResult result =
          Solve(Queue(capacity, load / service, service));
      const std::vector<double> expected = QueueByDepartures(capacity, load);
      double mean = 0;
      double expected_mean = 0;
      for (int n = 0; n <= capacity; ++n) {
        EXPECT_NEAR(result.pi[n], expected[n], 1e-12) << n << " customers";
        mean += n * result.pi[n];
        expected_mean += n * expected[n];
      }
      EXPECT_NEAR(mean, expected_mean, 1e-11);
      EXPECT_LT(result.pi_error, 1e-8);
    }
  }
}

// A value far below the spread of its reward (the queue full at light
// load) gets a bound of its own through the embedded chain, where the
// 1-norm bound of pi alone refused it. References: the departure chain
// above solved in 80-digit decimals.
TEST(RegenerativeTest, RareValuesGetBoundsOfTheirOwn) {
  struct Row {
    double arrival;
    int capacity;
    double service;
    double full, length;
  };
  const Row rows[] = {
      {0.01, 6, 1, 1.607874158145514688594963137975e-15,
       1.005050505050495060154542879980e-2},
      {0.001, 6, 1, 1.410185128236916774144252613647e-21,
       1.000500500500500500491827905608e-3},
      {0.9, 12, 0.25, 4.420343242955309232139908832702e-13,
       2.576612903210221964895195382992e-1},
      {1.5, 3, 0.25, 1.125588352082573305142239140214e-2,
       4.665238378566112728693494568201e-1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("K " + std::to_string(row.capacity) + " arrival " +
                 Num(row.arrival));
    const std::size_t states = static_cast<std::size_t>(row.capacity) + 1;
    // A third variable earns 1e12 per service: what the series leaves out
    // of its firings bounds it alone, not the other two.
    std::vector<std::vector<double>> earning(3, std::vector<double>(states));
    earning[0][states - 1] = 1;
    for (std::size_t n = 0; n < states; ++n) {
      earning[1][n] = static_cast<double>(n);
    }
    const std::vector<std::vector<double>> impulse(
        3, std::vector<double>(states, 0.0));
    RegenerativeOptions options;
    options.earning = &earning;
    options.impulse = &impulse;
    std::string text = Queue(row.capacity, row.arrival, row.service);
    text.replace(0, text.find("state 1"),
                 "dch 2\nactions 1\nserve\nimpulses 3\nfull\nlength\n"
                 "served\n");
    for (int n = row.capacity; n >= 1; --n) {
      const std::string to = "\nto 1 " + std::to_string(n) + " 1\n";
      text.insert(text.find(to) + to.size(), "impulse 3 1e12\n");
    }
    const RegenerativeResult result = SolveRegenerative(Parse(text), options);
    ASSERT_TRUE(result.ok) << result.message;
    ASSERT_EQ(result.reward_value.size(), 3u);
    ASSERT_EQ(result.reward_error.size(), 3u);
    const double expected[] = {row.full, row.length};
    for (std::size_t v = 0; v < 2; ++v) {
      SCOPED_TRACE(v == 0 ? "full" : "length");
      EXPECT_LE(std::abs(result.reward_value[v] - expected[v]),
                result.reward_error[v]);
      EXPECT_LE(result.reward_error[v], 1e-9 * expected[v]);
    }
    if (row.full < 1e-9) {
      // Half the 1-norm bound of pi, all the rare value had before, misses
      // the accuracy.
      EXPECT_GT(result.pi_error / 2, 1e-6 * row.full);
    }
  }
}

// A timeout of delay d (states 1 and 3: the same timeout, an arrival of
// rate a toggling between them) followed by a reset of rate b (state 2).
// When arrivals leave the clock running the timeout takes d; when they
// restart it, it takes (e^(a d) - 1) / a.
TEST(RegenerativeTest, RestartedTimeoutAgainstOneThatKeepsRunning) {
  const double d = 1.5, a = 0.8, b = 2;
  for (char flag : {'c', 'r'}) {
    SCOPED_TRACE(flag);
    const std::string f(1, flag);
    const std::string text =
        "dch 1\nactions 1\ntimeout\n"
        "state 1\ndelay 1 " +
        Num(d) + "\nto 1 2 1\nrate 3 " + Num(a) + " " + f +
        "\nstate 2\nrate 1 " + Num(b) +
        " -\n"
        "state 3\ndelay 1 " +
        Num(d) + "\nto 1 2 1\nrate 1 " + Num(a) + " " + f + "\nend 3\n";
    const RegenerativeResult result = Solve(text);
    const double waiting = flag == 'c' ? d : std::expm1(a * d) / a;
    const double expected = waiting / (waiting + 1 / b);
    EXPECT_NEAR(result.pi[0] + result.pi[2], expected, 1e-13);
    EXPECT_NEAR(result.pi[1], 1 - expected, 1e-13);
  }
}

// No delay enabled anywhere: the CTMC's answer, here a birth-death chain
// whose stationary vector is proportional to 1, up1/down1, up1 up2/(down1
// down2).
TEST(RegenerativeTest, PurelyExponentialChainGivesTheMarkovAnswer) {
  const double up1 = 3, up2 = 0.5, down1 = 2, down2 = 7;
  const RegenerativeResult result = Solve(
      "dch 1\nactions 1\nnever\nstate 1\nrate 2 3 -\n"
      "state 2\nrate 1 2 -\nrate 3 0.5 -\nstate 3\nrate 2 7 -\nrate 3 9 -\n"
      "end 3\n");
  const double w[] = {1, up1 / down1, up1 * up2 / (down1 * down2)};
  const double total = w[0] + w[1] + w[2];
  for (int s = 0; s < 3; ++s) EXPECT_NEAR(result.pi[s], w[s] / total, 1e-14);
  EXPECT_EQ(result.firing_rate[0] + result.firing_rate[1], 0);
}

TEST(RegenerativeTest, RefusesWhatTheMethodCannotSolve) {
  struct Row {
    const char* name;
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"two delays at once",
       "dch 1\nactions 2\nfirst\nsecond\nstate 1\ndelay 1 1\ndelay 2 2\n"
       "to 1 1 1\nto 2 1 1\nend 1\n",
       "state 1 enables 2 deterministic activities at once (first, second); "
       "the embedded chain allows one per state"},
      {"a clock that runs on into another delay",
       "dch 1\nactions 1\nt\nstate 1\ndelay 1 1\nto 1 1 1\nrate 2 1 c\n"
       "state 2\ndelay 1 2\nto 1 1 1\nend 2\n",
       "the clock of t (delay 1) runs on from state 1 into state 2, where its "
       "delay is 2; a clock that keeps running keeps its delay"},
      {"branches that do not add up to 1",
       "dch 1\nactions 1\nt\nstate 1\ndelay 1 1\nto 1 1 0.5\nend 1\n",
       "the firings from state 1 lead on with probability 0.5 in all, not 1"},
      {"a series too long",
       "dch 1\nactions 1\nt\nstate 1\ndelay 1 1e12\n"
       "to 1 2 1\nrate 2 1 r\nstate 2\nrate 1 1 -\nend 2\n",
       "the delay 1e+12 of t from state 1 is too long against rates up to 1: "
       "its series needs more than 10000000 terms"},
      {"a cycle that takes no time",
       "dch 1\nactions 1\nt\nstate 1\nrate 2 1 -\n"
       "state 2\ndelay 1 0\nto 1 3 1\nstate 3\ndelay 1 0\nto 1 2 1\nend 3\n",
       "the closed class of the embedded chain with state 2 has a mean cycle "
       "of 0 time units; its time averages are not defined"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RegenerativeResult result = SolveRegenerative(Parse(row.text), {});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, row.message);
  }
}

// A tick of delay d either leads on to a pause, left at rate r (1 in 4), or
// ticks again (3 in 4). A visit to the tick state lasts d and is repeated
// until the pause, 4 times on average, so a cycle lasts 4d + 1/r and holds 4
// ticks. Per tick, the first variable earns 1/4 x 4 + 3/4 x 2 = 2.5, the
// second 3/4 x 1 and the third nothing.
TEST(RegenerativeTest, ImpulsesOfBranchesEarnAtTheFiringRate) {
  struct Row {
    double delay, rate;
  };
  for (const Row& row : {Row{2, 0.5}, Row{0.25, 8}, Row{10, 1e-3}}) {
    SCOPED_TRACE(std::to_string(row.delay) + " " + std::to_string(row.rate));
    const std::string text =
        "dch 2\nactions 1\ntick\nimpulses 3\nbig\nsmall\n"
        "none\nstate 1\ndelay 1 " +
        Num(row.delay) +
        "\nto 1 1 0.75\nimpulse 1 2\nimpulse 2 1\n"
        "to 1 2 0.25\nimpulse 1 4\n"
        "state 2\nrate 1 " +
        Num(row.rate) + " -\nend 2\n";
    const RegenerativeResult result = Solve(text);
    const double ticks = 4 / (4 * row.delay + 1 / row.rate);
    ASSERT_EQ(result.impulse_rate.size(), 3u);
    EXPECT_NEAR(result.impulse_rate[0], 2.5 * ticks, 1e-13 * ticks);
    EXPECT_NEAR(result.impulse_rate[1], 0.75 * ticks, 1e-13 * ticks);
    EXPECT_EQ(result.impulse_rate[2], 0);
    EXPECT_LT(result.impulse_error[0], 1e-9 * ticks);
    EXPECT_LE(std::abs(result.impulse_rate[0] - 2.5 * ticks),
              result.impulse_error[0] + 1e-16);
    EXPECT_EQ(result.impulse_error[2], 0);
  }
}

TEST(DeterministicChainTest, MalformedFilesNameTheLine) {
  struct Row {
    const char* text;
    const char* message;
  };
  const Row rows[] = {
      {"dch 3\n", "t.dch:1: not a version 1 or 2"},
      {"dch 2\nactions 0\nstate 1\n", "t.dch:3: expected \"impulses"},
      {"dch 2\nactions 0\nimpulses 1\n", "t.dch: ends before the names"},
      {"dch 1\nactions 1\na\nstate 1\ndelay 1 1\nto 1 1 1\nimpulse 1 1\n",
       "t.dch:7: expected a state"},
      {"dch 2\nactions 1\na\nimpulses 1\nr\nstate 1\nimpulse 1 1\n",
       "t.dch:7: expected \"impulse"},
      {"dch 2\nactions 1\na\nimpulses 1\nr\nstate 1\ndelay 1 1\nto 1 1 "
       "1\nimpulse 2 1\n",
       "t.dch:9: expected \"impulse <variable 1..1>"},
      {"dch 2\nactions 1\na\nimpulses 2\nr\ns\nstate 1\ndelay 1 1\nto 1 1 "
       "1\nimpulse 2 1\nimpulse 1 1\n",
       "t.dch:11: expected \"impulse"},
      {"dch 2\nactions 1\na\nimpulses 1\nr\nstate 1\ndelay 1 1\nto 1 1 "
       "1\nrate 1 1 c\nimpulse 1 1\n",
       "t.dch:10: expected \"impulse"},
      {"dch 2\nactions 1\na\nimpulses 1\nr\nstate 1\ndelay 1 1\nto 1 1 "
       "1\nimpulse 1 inf\n",
       "t.dch:9: expected \"impulse"},
      {"dch 1\nactions 1\n", "t.dch: ends before the names"},
      {"dch 1\nactions 1\na\\x\n", "t.dch:3: a backslash"},
      {"dch 1\nactions 0\nstate 2\n", "t.dch:3: expected \"state 1\""},
      {"dch 1\nactions 1\na\nstate 1\ndelay 2 1\n",
       "t.dch:5: expected \"delay"},
      {"dch 1\nactions 1\na\nstate 1\ndelay 1 -1\n", "t.dch:5:"},
      {"dch 1\nactions 1\na\nstate 1\nto 1 1 1\n", "t.dch:5: expected \"to"},
      {"dch 1\nactions 1\na\nstate 1\ndelay 1 1\nrate 1 1 c\nto 1 1 1\n",
       "t.dch:7: expected \"to"},
      {"dch 1\nactions 0\nstate 1\nrate 1 1 c\n", "t.dch:4: the flags"},
      {"dch 1\nactions 0\nstate 1\nrate 1 0 -\n", "t.dch:4: expected \"rate"},
      {"dch 1\nactions 0\nstate 1\nrate 2 1 -\nend 1\n",
       "a transition leads to state 2 of 1"},
      {"dch 1\nactions 0\nstate 1\nend 2\n", "t.dch:4: expected \"end 1\""},
      {"dch 1\nactions 0\nstate 1\nend 1", "t.dch:4: the last line has no"},
      {"dch 1\nactions 0\nstate 1\nend 1\nx\n", "t.dch:5: text after"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    DeterministicChain chain;
    const Status status = ParseDeterministicChain(row.text, "t.dch", &chain);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(row.message), std::string::npos)
        << status.message;
  }
}

}  // namespace
