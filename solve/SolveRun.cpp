#include "solve/SolveRun.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "solve/ChainFiles.h"
#include "solve/Stationary.h"

namespace {

constexpr const char* kUsage =
    "usage: solve -P<path> -N<name> [--csv] [--method=M] [--tolerance=T]\n"
    "             [--direct-limit=N]\n"
    "Reads <path><name>.arm, .var and .pvtype as gen writes them and prints,\n"
    "for each reward variable, its expected steady-state rate reward.\n"
    "  --csv             variable,expected_reward lines instead of a table;\n"
    "                    notes then go to standard error\n"
    "  --method=M        auto (default), direct, bicgstab or gauss-seidel\n"
    "  --tolerance=T     componentwise backward error to reach "
    "(default 1e-13)\n"
    "  --direct-limit=N  auto solves systems of more than N unknowns\n"
    "                    iteratively (default 5000)\n";

// Largest number of closed classes listed one by one in the table.
constexpr std::size_t kMaxClassesListed = 10;

struct Settings {
  std::string path;
  std::string name;
  bool have_name = false;
  bool csv = false;
  bool help = false;
  SolveOptions options;
};

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string Sci(double value) { return Format("%.10e", value); }
std::string Short(double value) { return Format("%.2e", value); }

bool ParseNumber(std::string_view text, double* value) {
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Empty on success, else the message for the user.
std::string ParseArguments(int argc, const char* const* argv,
                           Settings* settings) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value_of = [&](std::string_view prefix, std::string_view* value) {
      if (arg.substr(0, prefix.size()) != prefix) return false;
      *value = arg.substr(prefix.size());
      return true;
    };
    std::string_view value;
    if (arg == "-h" || arg == "--help") {
      settings->help = true;
    } else if (arg == "--csv") {
      settings->csv = true;
    } else if (arg == "-P" || arg == "-N") {
      if (i + 1 >= argc) return "option " + std::string(arg) + " needs a value";
      (arg == "-P" ? settings->path : settings->name) = argv[++i];
      settings->have_name = settings->have_name || arg == "-N";
    } else if (value_of("-P", &value)) {
      settings->path = std::string(value);
    } else if (value_of("-N", &value)) {
      settings->name = std::string(value);
      settings->have_name = true;
    } else if (value_of("--method=", &value)) {
      if (value == "auto") {
        settings->options.method = SolveMethod::kAuto;
      } else if (value == "direct") {
        settings->options.method = SolveMethod::kDirect;
      } else if (value == "bicgstab") {
        settings->options.method = SolveMethod::kBiCgStab;
      } else if (value == "gauss-seidel") {
        settings->options.method = SolveMethod::kGaussSeidel;
      } else {
        return "method \"" + std::string(value) +
               "\" is not one of auto, direct, bicgstab, gauss-seidel";
      }
    } else if (value_of("--tolerance=", &value)) {
      double t = 0;
      if (!ParseNumber(value, &t) || !(t > 0 && t < 1)) {
        return "tolerance \"" + std::string(value) +
               "\" is outside the open range 0..1";
      }
      settings->options.tolerance = t;
    } else if (value_of("--direct-limit=", &value)) {
      double limit = 0;
      if (!ParseNumber(value, &limit) || limit < 0 || limit > 4294967295.0 ||
          limit != std::floor(limit)) {
        return "direct limit \"" + std::string(value) +
               "\" is not a whole number in 0..4294967295";
      }
      settings->options.direct_limit = static_cast<std::size_t>(limit);
    } else {
      return "unknown argument \"" + std::string(arg) + "\"";
    }
  }
  if (!settings->help && (!settings->have_name || settings->name.empty())) {
    return "the experiment name (-N) is missing";
  }
  return {};
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// A note when some impulse reward is not 0: a steady-state expectation of
// impulse rewards needs the rates of the firings that earn them, which the
// files do not carry, so only the rate rewards are summed.
std::string ImpulseNote(const RewardValues& values) {
  for (std::size_t v = 0; v < values.names.size(); ++v) {
    const std::vector<double>& impulse = values.impulse[v];
    for (std::size_t s = 0; s < impulse.size(); ++s) {
      if (impulse[s] != 0) {
        return "impulse rewards are not all 0 (" + values.names[v] +
               " in state " + std::to_string(s + 1) + ": " +
               Format("%g", impulse[s]) +
               "); the expected values sum the rate rewards only";
      }
    }
  }
  return {};
}

std::string ChainDescription(const StationaryResult& result) {
  if (result.irreducible) return "irreducible";
  std::string text = "reducible: ";
  text += std::to_string(result.bottoms.size()) + " closed class";
  if (result.bottoms.size() != 1) text += "es";
  text += " reached from state 1, " + std::to_string(result.num_transient) +
          " transient states";
  if (result.num_unreachable > 0) {
    text += ", " + std::to_string(result.num_unreachable) +
            " states not reached from state 1";
  }
  text += "; limiting distribution from state 1";
  return text;
}

std::string ClassLine(const BottomClass& bottom) {
  return "class of state " + std::to_string(bottom.first_state + 1) + ": " +
         std::to_string(bottom.size) +
         (bottom.size == 1 ? " state" : " states") + ", probability " +
         Sci(bottom.probability);
}

void WriteTable(const std::string& base, const StateSpace& space,
                const StationaryResult& result,
                const std::vector<std::string>& names,
                const std::vector<double>& expected,
                const std::vector<std::string>& notes, std::ostream& out) {
  std::string states = std::to_string(space.num_states) + " states, " +
                       std::to_string(space.num_transitions()) + " transitions";
  if (space.num_self_loops > 0) {
    states +=
        " (" + std::to_string(space.num_self_loops) + " self-loops ignored)";
  }
  out << "model     " << base << '\n';
  out << "chain     " << states << '\n';
  out << "          " << ChainDescription(result) << '\n';
  if (!result.irreducible) {
    for (std::size_t k = 0; k < result.bottoms.size() && k < kMaxClassesListed;
         ++k) {
      out << "          " << ClassLine(result.bottoms[k]) << '\n';
    }
    if (result.bottoms.size() > kMaxClassesListed) {
      out << "          ... and " << result.bottoms.size() - kMaxClassesListed
          << " more\n";
    }
  }
  out << "method    " << SolveMethodName(result.method) << ", "
      << result.largest_system << " unknowns";
  if (result.method != SolveMethod::kDirect) {
    out << ", " << result.iterations << " iterations";
  }
  out << '\n';
  out << "residual  ||pi Q||_1 = " << Short(result.residual) << " (relative "
      << Short(result.relative_residual) << "), backward error "
      << Short(result.backward_error) << '\n';
  for (const std::string& note : notes) out << "note      " << note << '\n';

  const std::string heading = "reward variable";
  std::size_t width = heading.size();
  for (const std::string& name : names) width = std::max(width, name.size());
  width += 3;
  out << '\n'
      << heading << std::string(width - heading.size(), ' ')
      << "expected steady-state reward\n";
  for (std::size_t v = 0; v < names.size(); ++v) {
    out << names[v] << std::string(width - names[v].size(), ' ')
        << Sci(expected[v]) << '\n';
  }
}

}  // namespace

int RunSolve(int argc, const char* const* argv, std::ostream& out,
             std::ostream& err) {
  Settings settings;
  const std::string usage_error = ParseArguments(argc, argv, &settings);
  if (settings.help) {
    out << kUsage;
    out.flush();
    return out ? 0 : 1;
  }
  if (!usage_error.empty()) {
    err << "solve: " << usage_error << '\n' << kUsage;
    return 1;
  }

  const std::string base = settings.path + settings.name;
  StateSpace space;
  std::vector<RewardVariable> variables;
  RewardValues values;
  ReadStatus status = ReadStateSpace(base + ".arm", &space);
  if (status.ok) status = ReadRewardTypes(base + ".pvtype", &variables);
  if (status.ok) {
    std::vector<std::string> names;
    for (const RewardVariable& variable : variables) {
      names.push_back(variable.name);
    }
    status = ReadRewardValues(base + ".var", names, space.num_states,
                              TextRewardRecords(space.file_type), &values);
  }
  if (!status.ok) {
    err << "solve: " << status.message << '\n';
    return 1;
  }

  const StationaryResult result = SolveLongRun(space, settings.options);
  if (!result.ok) {
    err << "solve: " << base << ".arm: " << result.message << '\n';
    return 1;
  }

  std::vector<std::string> notes;
  if (!result.message.empty()) notes.push_back(result.message);
  // A residual this far above rounding level means the linear solve did not
  // deliver what its own check promised.
  constexpr double kSuspectResidual = 1e-9;
  if (result.relative_residual > kSuspectResidual) {
    notes.push_back(
        "the relative residual is high; the results may be "
        "inaccurate");
  }
  if (result.absorption_defect > kSuspectResidual) {
    notes.push_back("the flows out of state 1 balance only to " +
                    Short(result.absorption_defect) +
                    "; the class probabilities may be inaccurate");
  }
  const std::string impulse_note = ImpulseNote(values);
  if (!impulse_note.empty()) notes.push_back(impulse_note);

  std::vector<double> expected;
  for (const std::vector<double>& rate : values.rate) {
    expected.push_back(ExpectedReward(result.pi, rate));
  }

  if (settings.csv) {
    out << "variable,expected_reward\n";
    for (std::size_t v = 0; v < values.names.size(); ++v) {
      out << CsvField(values.names[v]) << ',' << Format("%.17g", expected[v])
          << '\n';
    }
    if (!result.irreducible) {
      err << "solve: note: chain " << ChainDescription(result) << '\n';
    }
    for (const std::string& note : notes) {
      err << "solve: note: " << note << '\n';
    }
  } else {
    WriteTable(base, space, result, values.names, expected, notes, out);
  }
  out.flush();
  if (!out) {
    err << "solve: the results could not be written\n";
    return 1;
  }
  return 0;
}
