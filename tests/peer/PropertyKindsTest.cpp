// Until, interval-bounded reachability and reward until a set, read from a
// JANI and from a PRISM property file of the same queue and evaluated by
// solve, against dense matrix exponentials and a linear solve done here.
//
// The queue: n in 0..4, starting at 2, up at rate 1 while n < 4, down at
// rate 2 while n > 0. busy is 1 <= n <= 3, full is n = 4, empty is n = 0.

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/DenseExponential.h"
#include "tests/support/PeerRuns.h"
#include "tests/support/RunProcess.h"

namespace {

constexpr std::size_t kStates = 5;

std::vector<DenseRate> QueueRates() {
  std::vector<DenseRate> rates;
  for (std::size_t k = 0; k + 1 < kStates; ++k) {
    rates.push_back({k, k + 1, 1.0});
    rates.push_back({k + 1, k, 2.0});
  }
  return rates;
}

std::vector<bool> Where(bool (*test)(std::size_t)) {
  std::vector<bool> set(kStates);
  for (std::size_t n = 0; n < kStates; ++n) set[n] = test(n);
  return set;
}

// The expected reward until n = 0 from n = 2, earning n per unit of time
// and `per_service` on each step down: with h(0) = 0 and u(n) = 1 below 4,
// (u(n) + 2) h(n) = n + 2 (per_service + h(n - 1)) + u(n) h(n + 1). Solved
// by elimination on the tridiagonal system.
double RewardUntilEmpty(double per_service) {
  // h(n) = a(n) + b(n) h(n + 1), from n = 1 up.
  std::array<double, kStates> a{};
  std::array<double, kStates> b{};
  for (std::size_t n = 1; n < kStates; ++n) {
    const double up = n + 1 < kStates ? 1.0 : 0.0;
    const double diagonal = up + 2 - 2 * b[n - 1];
    a[n] = (static_cast<double>(n) + 2 * per_service + 2 * a[n - 1]) / diagonal;
    b[n] = up / diagonal;
  }
  std::array<double, kStates> h{};
  h[kStates - 1] = a[kStates - 1];
  for (std::size_t n = kStates - 1; n-- > 1;) h[n] = a[n] + b[n] * h[n + 1];
  return h[2];
}

const char* const kPrismModel = R"(ctmc
module queue
  n : [0..4] init 2;
  [arrive] n < 4 -> 1 : (n' = n + 1);
  [serve] n > 0 -> 2 : (n' = n - 1);
endmodule
label "busy" = n >= 1 & n <= 3;
label "full" = n = 4;
rewards "queue"
  true : n;
  [serve] true : 1;
endrewards
)";

const char* const kPrismProperties = R"("until": P=? [ "busy" U "full" ];
"until by": Pmax=? [ "busy" U<=1.5 "full" ];
"until window": P=? [ "busy" U[0.7,2.5] "full" ];
"until at": Pmin=? [ n>=1 U[1.25,1.25] n>=3 ];
"until after": P=? [ "busy" U>=0.8 "full" ];
"window": P=? [ F[1,4] "full" ];
"after": P=? [ F>=2 n=0 ];
"cost to empty": R{"queue"}=? [ F n=0 ];
)";

std::string JaniProperty(const std::string& name, const std::string& value) {
  return R"({"name": ")" + name +
         R"(", "expression": {"op": "filter", "fun": "values", "values": )" +
         value + R"(, "states": {"op": "initial"}}})";
}

std::string JaniModel() {
  const std::string busy =
      R"({"op": "∧", "left": {"op": "≥", "left": "n", "right": 1},)"
      R"( "right": {"op": "≤", "left": "n", "right": 3}})";
  const std::string full = R"({"op": "=", "left": "n", "right": 4})";
  const std::string empty = R"({"op": "=", "left": "n", "right": 0})";
  auto until = [](const std::string& left, const std::string& right,
                  const std::string& bounds) {
    return R"({"op": "Pmax", "exp": {"op": "U", "left": )" + left +
           R"(, "right": )" + right + bounds + "}}";
  };
  auto eventually = [](const std::string& target, const std::string& bounds) {
    return R"({"op": "Pmin", "exp": {"op": "F", "exp": )" + target + bounds +
           "}}";
  };
  const std::vector<std::string> properties = {
      JaniProperty("until", until(busy, full, "")),
      JaniProperty("until by",
                   until(busy, full, R"(, "time-bounds": {"upper": 1.5})")),
      JaniProperty("until window",
                   until(busy, full,
                         R"(, "time-bounds": {"lower": 0.7, "upper": 2.5})")),
      JaniProperty("until at",
                   until(R"({"op": "≥", "left": "n", "right": 1})",
                         R"({"op": "≥", "left": "n", "right": 3})",
                         R"(, "time-bounds": {"lower": 1.25, "upper": 1.25})")),
      JaniProperty("until after",
                   until(busy, full, R"(, "time-bounds": {"lower": 0.8})")),
      JaniProperty(
          "window",
          eventually(full, R"(, "time-bounds": {"lower": 1, "upper": 4})")),
      JaniProperty("after",
                   eventually(empty, R"(, "time-bounds": {"lower": 2})")),
      JaniProperty("cost to empty",
                   R"({"op": "Emax", "exp": "n", "accumulate": ["time"],)"
                   R"( "reach": )" +
                       empty + "}"),
  };
  std::string list;
  for (const std::string& p : properties) {
    list += (list.empty() ? "" : ",\n") + p;
  }
  return R"({"jani-version": 1, "name": "queue", "type": "ctmc",
  "properties": [)" +
         list + R"(],
  "variables": [{"name": "n", "initial-value": 2, "type": {"kind": "bounded",
    "base": "int", "lower-bound": 0, "upper-bound": 4}}],
  "automata": [{"name": "q",
    "locations": [{"name": "l"}], "initial-locations": ["l"],
    "edges": [
      {"location": "l", "rate": {"exp": 1},
       "guard": {"exp": {"op": "<", "left": "n", "right": 4}},
       "destinations": [{"location": "l", "assignments":
         [{"ref": "n", "value": {"op": "+", "left": "n", "right": 1}}]}]},
      {"location": "l", "rate": {"exp": 2},
       "guard": {"exp": {"op": ">", "left": "n", "right": 0}},
       "destinations": [{"location": "l", "assignments":
         [{"ref": "n", "value": {"op": "-", "left": "n", "right": 1}}]}]}]}],
  "system": {"elements": [{"automaton": "q"}]}}
)";
}

TEST(PropertyKindsTest, JaniAndPrismPropertiesMatchTheirReferences) {
  const std::vector<DenseRate> rates = QueueRates();
  const std::vector<double> start = {0, 0, 1, 0, 0};
  const std::vector<bool> busy =
      Where([](std::size_t n) { return n >= 1 && n <= 3; });
  const std::vector<bool> full = Where([](std::size_t n) { return n == 4; });
  const std::vector<bool> high = Where([](std::size_t n) { return n >= 3; });
  const std::vector<bool> any = Where([](std::size_t n) { return n >= 1; });
  const std::vector<bool> everywhere(kStates, true);
  const double inf = std::numeric_limits<double>::infinity();
  auto until = [&](const std::vector<bool>& a, const std::vector<bool>& b,
                   double t1, double t2) {
    return DenseUntil(kStates, rates, start, a, b, t1, t2);
  };
  // Gambler's ruin with r = 2 from 2 of 4: (1 - r^2) / (1 - r^4).
  const std::map<std::string, double> expected = {
      {"until", 3.0 / 15},
      {"until by", until(busy, full, 0, 1.5)},
      {"until window", until(busy, full, 0.7, 2.5)},
      {"until at", until(any, high, 1.25, 1.25)},
      {"until after", until(busy, full, 0.8, inf)},
      {"window", until(everywhere, full, 1, 4)},
      {"after", 1.0},
  };
  struct Format {
    const char* name;
    std::vector<std::string> args;
    double per_service;  // the JANI file's reward has no transition part
  };
  ScopedTempDir dir;
  WriteWholeFile(dir.path() + "/queue.jani", JaniModel());
  WriteWholeFile(dir.path() + "/queue.sm", kPrismModel);
  WriteWholeFile(dir.path() + "/queue.props", kPrismProperties);
  const std::vector<Format> formats = {
      {"jani", {"queue.jani"}, 0.0},
      {"prism", {"--props", "queue.props", "queue.sm"}, 1.0},
  };
  for (const Format& format : formats) {
    SCOPED_TRACE(format.name);
    std::vector<std::string> args = format.args;
    args.insert(args.end(), {"-P" + dir.path() + "/",
                             std::string("-N") + format.name, "-B0"});
    RunOk(SAN_BINARY, args, dir.path());
    const std::string props =
        ReadWholeFile(dir.path() + "/" + std::string(format.name) + ".props");
    EXPECT_EQ(props.find("unsupported"), std::string::npos) << props;
    std::map<std::string, double> values =
        SolveCsv(SOLVE_BINARY, dir.path(), format.name);
    for (const auto& [name, value] : expected) {
      SCOPED_TRACE(name);
      ASSERT_EQ(values.count("property:" + name), 1u);
      EXPECT_NEAR(values["property:" + name], value, 1e-9);
    }
    EXPECT_NEAR(values["property:cost to empty"],
                RewardUntilEmpty(format.per_service), 1e-9);
  }
}

}  // namespace
