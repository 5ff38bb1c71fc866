#include "solve/SolveRun.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/Contract.h"
#include "cli/Options.h"
#include "cli/ProgressClock.h"
#include "cli/Version.h"
#include "database/MeasureRecord.h"
#include "output/Formats.h"
#include "output/JsonText.h"
#include "output/ShortestText.h"
#include "solve/Absorption.h"
#include "solve/ChainFiles.h"
#include "solve/DeterministicChain.h"
#include "solve/InitialDistribution.h"
#include "solve/Progress.h"
#include "solve/Properties.h"
#include "solve/Regenerative.h"
#include "solve/RunRecord.h"
#include "solve/Stationary.h"
#include "solve/Transient.h"
#include "solve/TwoWayPool.h"

namespace {

constexpr const char* kUsageHead =
    "usage: solve -P<path> -N<name> [options]\n"
    "Reads <path><name>.arm, .var and .pvtype as gen writes them and prints,\n"
    "for each reward variable, its expected steady-state rate reward; with\n"
    "<path><name>.props beside them, also the value of each property.\n"
    "Values follow their option glued (-Pout/, --time=5) or as the next\n"
    "argument (-P out/, --time 5).\n";

// Largest number of closed classes listed one by one in the table.
constexpr std::size_t kMaxClassesListed = 10;

struct Settings {
  std::string path;
  std::string name;
  bool have_name = false;
  bool csv = false;
  bool json = false;
  bool help = false;
  bool version = false;
  bool transient = false;  // the .pvtype time points
  bool absorption = false;
  bool bounds = false;
  std::string db;                      // --db: results database
  std::optional<std::int64_t> run_id;  // --run: the run to record against
  bool progress = false;  // progress lines even when not on a terminal
  bool quiet = false;     // no progress lines at all
  int threads = 0;        // --threads; 0: one per core
  std::vector<double> times;
  // The record of the run that wrote the chain, when it left one.
  std::optional<RunRecord> run_record;
  SolveOptions options;
  TransientOptions transient_options;
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

// A whole number in [low, high] written in `text`, as for the options that
// count something.
bool ParseWholeNumber(std::string_view text, double low, double high,
                      double* value) {
  return ParseNumber(text, value) && *value >= low && *value <= high &&
         *value == std::floor(*value);
}

// solve's options, one row each, read by the parser and by --help.
std::vector<Option<Settings>> SolveOptionTable() {
  using S = Settings;
  using V = const std::string&;
  return {
      {{"-P", "PATH", "prefix of the chain files (a folder ends in /)"},
       [](S& s, V value) {
         s.path = value;
         return Status::Ok();
       }},
      {{"-N", "NAME", "experiment name: reads PATH NAME.arm, .var, .pvtype"},
       [](S& s, V value) {
         s.name = value;
         s.have_name = true;
         return Status::Ok();
       }},
      FlagOption("--csv", "comma-separated lines; notes go to standard error",
                 &S::csv),
      FlagOption("--json", "one JSON object with every result and its bound",
                 &S::json),
      {{"--time", "T,...",
        "rate reward at each time T and reward accumulated over [0, T]"},
       [](S& s, V text) {
         std::string_view value = text;
         while (true) {
           const std::size_t comma = value.find(',');
           const std::string_view item = value.substr(0, comma);
           double t = 0;
           if (!ParseNumber(item, &t) || !(t >= 0) || !std::isfinite(t)) {
             return Status::Error("time \"" + std::string(item) +
                                  "\" is not a finite number >= 0");
           }
           s.times.push_back(t);
           if (comma == std::string_view::npos) break;
           value.remove_prefix(comma + 1);
         }
         return Status::Ok();
       }},
      FlagOption("--transient",
                 "the same for the time points of the .pvtype file",
                 &S::transient),
      FlagOption("--absorption",
                 "closed classes: probability, time and reward until entered",
                 &S::absorption),
      FlagOption("--bounds",
                 "the steady state too beside --time or --transient (every "
                 "value has its bound)",
                 &S::bounds),
      {{"--epsilon", "E", "truncation error of the transient series (1e-18)"},
       [](S& s, V value) {
         double e = 0;
         if (!ParseNumber(value, &e) || !(e >= 1e-300 && e < 1)) {
           return Status::Error("epsilon \"" + value +
                                "\" is outside 1e-300..1 (1 excluded)");
         }
         s.transient_options.epsilon = e;
         return Status::Ok();
       }},
      {{"--method", "M",
        "auto (default: the methods below in order) or one of them"},
       [](S& s, V value) {
         if (ParseSolveMethod(value, &s.options.method)) return Status::Ok();
         std::vector<std::string> names = {"auto"};
         for (const MethodRow& row : SolveMethodTable()) {
           names.push_back(row.name);
         }
         return Status::Error("method \"" + value + "\" is not one of " +
                              SolveMethodNames(", ") + "; did you mean \"" +
                              NearestName(names, value) + "\"?");
       }},
      {{"--accuracy", "R",
        "relative bound of every long-run value, else exit 3 (1e-6)"},
       [](S& s, V value) {
         double r = 0;
         if (!ParseNumber(value, &r) || !(r > 0 && r < 1)) {
           return Status::Error("accuracy \"" + value +
                                "\" is outside the open range 0..1");
         }
         s.options.accuracy = r;
         return Status::Ok();
       }},
      {{"--tolerance", "T", "componentwise backward error to reach (1e-13)"},
       [](S& s, V value) {
         double t = 0;
         if (!ParseNumber(value, &t) || !(t > 0 && t < 1)) {
           return Status::Error("tolerance \"" + value +
                                "\" is outside the open range 0..1");
         }
         s.options.tolerance = t;
         return Status::Ok();
       }},
      {{"--direct-limit", "N",
        "largest system auto gives the sparse LU (1000)"},
       [](S& s, V value) {
         double limit = 0;
         if (!ParseWholeNumber(value, 0, 4294967295.0, &limit)) {
           return Status::Error("direct limit \"" + value +
                                "\" is not a whole number in 0..4294967295");
         }
         s.options.direct_limit = static_cast<std::size_t>(limit);
         return Status::Ok();
       }},
      {{"--db", "DB",
        "also record each measure and its bound (implies --bounds) in the "
        "results database DB"},
       [](S& s, V value) {
         if (value.empty()) return Status::Error("--db needs a database");
         s.db = value;
         s.bounds = true;  // every value is recorded with its bound
         return Status::Ok();
       }},
      {{"--run", "ID", "record against run ID instead of the chain's run"},
       [](S& s, V value) {
         double id = 0;
         if (!ParseWholeNumber(value, 1, 9.0e15, &id)) {
           return Status::Error("run \"" + value +
                                "\" is not a whole number in "
                                "1..9000000000000000");
         }
         s.run_id = static_cast<std::int64_t>(id);
         return Status::Ok();
       }},
      {{"--threads", "N",
        "threads of the BiCGSTAB iteration, 1..256 (one per core; two at "
        "most work); the results are the same for every N"},
       [](S& s, V value) {
         double threads = 0;
         if (!ParseWholeNumber(value, 1, 256, &threads)) {
           return Status::Error("--threads value \"" + value +
                                "\" is not a whole number in 1..256");
         }
         s.threads = static_cast<int>(threads);
         return Status::Ok();
       }},
      FlagOption("--progress",
                 "progress lines on standard error (the default on a "
                 "terminal)",
                 &S::progress),
      FlagOption("--quiet", "no progress lines", &S::quiet),
      FlagOption("--help", "print this help and exit", &S::help),
      FlagOption("-h", "the same as --help", &S::help),
      FlagOption("--version", "print the version and exit", &S::version),
  };
}

// Empty on success, else the message for the user.
std::string ParseArguments(int argc, const char* const* argv,
                           Settings* settings) {
  std::vector<std::string> positionals;
  const Status parsed =
      ParseOptions(SolveOptionTable(), argc, argv, *settings, &positionals);
  if (!parsed.ok) return parsed.message + " (solve --help lists the options)";
  if (settings->help || settings->version) return {};
  if (!positionals.empty()) {
    return "unexpected argument \"" + positionals[0] +
           "\" (solve --help lists the options)";
  }
  if (!settings->have_name || settings->name.empty()) {
    return "the experiment name (-N) is missing";
  }
  if (settings->csv && settings->json) {
    return "--csv and --json exclude each other";
  }
  if (settings->run_id && settings->db.empty()) {
    return "--run needs --db";
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
               "); each is earned on every transition into its state";
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
  text += " reached from " + result.start + ", " +
          std::to_string(result.num_transient) + " transient states";
  if (result.num_unreachable > 0) {
    text += ", " + std::to_string(result.num_unreachable) +
            " states not reached from " + result.start;
  }
  text += "; limiting distribution from " + result.start;
  return text;
}

std::string ClassLine(const BottomClass& bottom) {
  return "class of state " + std::to_string(bottom.first_state + 1) + ": " +
         std::to_string(bottom.size) +
         (bottom.size == 1 ? " state" : " states") + ", probability " +
         Sci(bottom.probability);
}

// `solved` is null when the long-run solution was not computed.
void WriteTable(const std::string& base, const StateSpace& space,
                const StationaryResult* solved,
                const std::vector<std::string>& notes, std::ostream& out,
                const std::optional<RunRecord>& record) {
  std::string states = std::to_string(space.num_states) + " states, " +
                       std::to_string(space.num_transitions()) + " transitions";
  if (space.num_self_loops > 0) {
    states +=
        " (" + std::to_string(space.num_self_loops) + " self-loops ignored)";
  }
  out << "model     " << base << '\n';
  if (record) out << RunRecordHeader(*record);
  out << "chain     " << states << '\n';
  if (solved == nullptr) {
    out << "          long-run solution not computed (transient measures "
           "only)\n";
    for (const std::string& note : notes) out << "note      " << note << '\n';
    return;
  }
  const StationaryResult& result = *solved;
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
  if (result.method != SolveMethod::kDirect &&
      result.method != SolveMethod::kGth) {
    out << ", " << result.iterations << " iterations";
  }
  out << '\n';
  out << "residual  ||pi Q||_1 = " << Short(result.residual) << " (relative "
      << Short(result.relative_residual) << "), backward error "
      << Short(result.backward_error) << '\n';
  for (const std::string& note : notes) out << "note      " << note << '\n';
}

// One result: a measure of a subject, with its bound.
struct Row {
  std::string measure;          // steady-state, instant, accumulated, ...
  std::string subject;          // a reward variable, a class, a property
  double start = std::nan("");  // time or interval; NaN when none
  double stop = std::nan("");
  double value = 0;
  double bound = 0;
  bool has_value = true;  // false for an unsupported property
  // False: left out of the table (kept in the CSV, JSON and database).
  bool listed = true;
  // A property's long-run or absorption value, held to the accuracy as
  // the steady-state and absorption rows are.
  bool long_run = false;
};

// Whether `name` is what the JANI and PRISM readers call the indicator of
// a property's set: the property's name with every character outside
// [A-Za-z0-9_] made '_', then `ending`, then possibly _<k> to keep it apart
// from an earlier name.
bool IsIndicatorOf(const std::string& name, const std::string& property,
                   const char* ending) {
  std::string base;
  for (char c : property) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_';
    base += plain ? c : '_';
  }
  base += ending;
  if (name.compare(0, base.size(), base) != 0) return false;
  if (name.size() == base.size()) return true;
  const std::string rest = name.substr(base.size());
  return rest.size() > 1 && rest[0] == '_' &&
         rest.find_first_not_of("0123456789", 1) == std::string::npos;
}

// Whether reward variable `v`, named `name`, only carries the subject of
// one of `properties`: the model language names such a variable after its
// property, prop_<property>, prop_<property>_while or prop_<property>_goal;
// the JANI and PRISM readers name the left set of an until
// <property>_left and the goal of an expected reward <property>_target.
bool CarriesPropertySubject(std::size_t v, const std::string& name,
                            const std::vector<Property>& properties) {
  for (const Property& property : properties) {
    const std::string own = "prop_" + property.name;
    if (name == own || name == own + "_while" || name == own + "_goal") {
      return true;
    }
    if (property.kind == PropertyKind::kUntil && property.variable == v &&
        IsIndicatorOf(name, property.name, "_left")) {
      return true;
    }
    if (property.kind == PropertyKind::kRewardReach && property.target == v &&
        IsIndicatorOf(name, property.name, "_target")) {
      return true;
    }
  }
  return false;
}

std::string TimeText(const Row& row) {
  if (std::isnan(row.start)) return "-";
  const std::string start = ShortestText(row.start);
  if (row.stop == row.start) return start;
  return start + ".." + ShortestText(row.stop);
}

std::string CsvNumber(double value) {
  if (std::isnan(value)) return "";
  return ShortestText(value);
}

void WriteRows(const std::vector<Row>& rows, std::ostream& out) {
  const std::string headings[] = {"measure", "of", "time", "value"};
  std::size_t width[3] = {headings[0].size(), headings[1].size(),
                          headings[2].size()};
  for (const Row& row : rows) {
    if (!row.listed) continue;
    width[0] = std::max(width[0], row.measure.size());
    width[1] = std::max(width[1], row.subject.size());
    width[2] = std::max(width[2], TimeText(row).size());
  }
  auto pad = [](const std::string& text, std::size_t w) {
    return text + std::string(w + 3 - text.size(), ' ');
  };
  out << '\n'
      << pad(headings[0], width[0]) << pad(headings[1], width[1])
      << pad(headings[2], width[2]) << pad("value", 16) << "\u00b1\n";
  for (const Row& row : rows) {
    if (!row.listed) continue;
    out << pad(row.measure, width[0]) << pad(row.subject, width[1])
        << pad(TimeText(row), width[2]);
    if (!row.has_value) {
      out << "not supported yet\n";
    } else {
      out << pad(Sci(row.value), 16)
          << (std::isinf(row.value) ? "-" : Short(row.bound)) << '\n';
    }
  }
}

void WriteCsvRows(const std::vector<Row>& rows, std::ostream& out) {
  out << "measure,of,time_start,time_stop,value,bound\n";
  for (const Row& row : rows) {
    out << CsvField(row.measure) << ',' << CsvField(row.subject) << ','
        << CsvNumber(row.start) << ',' << CsvNumber(row.stop) << ',';
    if (row.has_value)
      out << CsvNumber(row.value) << ',' << CsvNumber(row.bound);
    else
      out << ',';
    out << '\n';
  }
}

// `solved` is null when the long-run solution was not computed.
void WriteJson(const std::string& base, const StateSpace& space,
               const StationaryResult* solved, const std::vector<Row>& rows,
               const std::vector<std::string>& notes,
               const std::string& refused, std::ostream& out,
               const std::optional<RunRecord>& record) {
  out << "{\n  \"model\": " << JsonString(base);
  if (record) out << ",\n  \"run\": " << record->json;
  out << ",\n  \"states\": " << space.num_states
      << ",\n  \"transitions\": " << space.num_transitions();
  if (solved != nullptr) {
    out << ",\n  \"irreducible\": " << (solved->irreducible ? "true" : "false")
        << ",\n  \"method\": " << JsonString(SolveMethodName(solved->method))
        << ",\n  \"backward_error\": " << JsonNumber(solved->backward_error);
  }
  out << ",\n  \"results\": [";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    out << (i == 0 ? "\n" : ",\n")
        << "    {\"measure\": " << JsonString(row.measure)
        << ", \"of\": " << JsonString(row.subject)
        << ", \"time_start\": " << JsonNumber(row.start)
        << ", \"time_stop\": " << JsonNumber(row.stop);
    if (row.has_value) {
      out << ", \"value\": " << JsonNumber(row.value)
          << ", \"bound\": " << JsonNumber(row.bound);
    } else {
      out << ", \"supported\": false";
    }
    out << '}';
  }
  // Exit code 3's reason, for programs that read no notes.
  out << (rows.empty() ? "]" : "\n  ]") << ",\n  \"refused\": " << refused;
  out << ",\n  \"notes\": [";
  for (std::size_t i = 0; i < notes.size(); ++i) {
    out << (i == 0 ? "" : ", ") << JsonString(notes[i]);
  }
  out << "]\n}\n";
}

// The transient rows of one set of times for the variables `which`.
// Returns false with a message when the series cannot be computed.
bool AddTransientRows(const StateSpace& space, const RewardValues& values,
                      const std::vector<std::vector<double>>& earning,
                      const std::vector<std::size_t>& which,
                      const std::vector<std::pair<double, double>>& spans,
                      const TransientOptions& options, std::vector<Row>* rows,
                      std::string* message) {
  std::vector<double> times;
  for (const auto& [start, stop] : spans) {
    times.push_back(start);
    if (stop != start) times.push_back(stop);
  }
  std::vector<const std::vector<double>*> instant;
  std::vector<const std::vector<double>*> earned;
  for (std::size_t v : which) {
    instant.push_back(&values.rate[v]);
    earned.push_back(&earning[v]);
  }
  const TransientResult result =
      SolveTransient(space, times, instant, earned, options);
  if (!result.ok) {
    *message = result.message;
    return false;
  }
  std::size_t point = 0;
  for (const auto& [start, stop] : spans) {
    const TransientPoint& a = result.points[point++];
    if (stop == start) {
      for (std::size_t i = 0; i < which.size(); ++i) {
        const std::string& name = values.names[which[i]];
        rows->push_back(
            {"instant", name, start, start, a.instant[i], a.instant_bound[i]});
        rows->push_back({"accumulated", name, 0.0, start, a.accumulated[i],
                         a.accumulated_bound[i]});
      }
      continue;
    }
    const TransientPoint& b = result.points[point++];
    for (std::size_t i = 0; i < which.size(); ++i) {
      const std::string& name = values.names[which[i]];
      const double total = b.accumulated[i] - a.accumulated[i];
      const double bound = a.accumulated_bound[i] + b.accumulated_bound[i];
      rows->push_back({"accumulated", name, start, stop, total, bound});
      rows->push_back({"average", name, start, stop, total / (stop - start),
                       bound / (stop - start)});
    }
  }
  return true;
}

// Records the printed rows in --db against the run that wrote `base`.
// `long_run_method` names how the long-run distribution was solved.
Status RecordRows(const Settings& settings, const std::string& base,
                  const std::vector<Row>& rows,
                  const std::string& long_run_method) {
  auto time = [](double t) {
    return std::isnan(t) ? std::nullopt : std::optional<double>(t);
  };
  std::vector<MeasureRow> records;
  for (const Row& row : rows) {
    MeasureRow record;
    record.measure = row.measure;
    record.subject = row.subject;
    record.time_start = time(row.start);
    record.time_stop = time(row.stop);
    if (row.has_value) {
      record.value = row.value;
      record.bound = row.bound;
    }
    if (row.measure == "instant" || row.measure == "accumulated" ||
        row.measure == "average") {
      record.method = "uniformization";
    } else if (row.measure != "property") {
      record.method = long_run_method;
    }
    records.push_back(std::move(record));
  }
  std::int64_t run = 0;
  return RecordMeasures(settings.db, settings.run_id, base, records, &run);
}

// Right or refused: a long-run or absorption value whose bound exceeds the
// accuracy is printed with its bound, and the run ends with exit code 3.
struct Refusal {
  std::string note;  // empty when every value meets the accuracy
  std::string json;  // "null", or an object with the same facts
};

Refusal AccuracyRefusal(const std::vector<Row>& rows, double accuracy,
                        const std::vector<std::string>& methods_tried) {
  const Row* worst = nullptr;
  double worst_relative = 0;
  for (const Row& row : rows) {
    const bool long_run_value = row.long_run || row.measure == "steady-state" ||
                                row.measure.rfind("absorption-", 0) == 0;
    if (!long_run_value || !row.has_value || std::isinf(row.value)) continue;
    const double relative =
        row.bound == 0 ? 0 : row.bound / std::abs(row.value);
    if (!(relative <= accuracy) &&
        (worst == nullptr || !(relative <= worst_relative))) {
      worst = &row;
      worst_relative = relative;
    }
  }
  if (worst == nullptr) return {{}, "null"};
  std::string tried;
  std::string tried_json;
  for (const std::string& name : methods_tried) {
    tried += (tried.empty() ? "" : ", ") + name;
    tried_json += (tried_json.empty() ? "" : ", ") + JsonString(name);
  }
  return {"no method reached the accuracy " + Short(accuracy) + " (tried " +
              tried + "): the largest bound is " + Short(worst->bound) +
              " on " + worst->measure + " " + worst->subject + " " +
              Sci(worst->value) + ", relative " + Short(worst_relative),
          "{\"accuracy\": " + JsonNumber(accuracy) + ", \"methods_tried\": [" +
              tried_json + "], \"measure\": " + JsonString(worst->measure) +
              ", \"of\": " + JsonString(worst->subject) +
              ", \"value\": " + JsonNumber(worst->value) +
              ", \"bound\": " + JsonNumber(worst->bound) +
              ", \"relative\": " + JsonNumber(worst_relative) + "}"};
}

// A chain from deterministic generation, solved from its .dch by the
// embedded Markov renewal process: steady-state measures only, each with
// its bound.
int RunSolveDeterministic(const Settings& settings, const std::string& base,
                          std::size_t* num_states, std::ostream& out,
                          std::ostream& err) {
  if (settings.transient || settings.absorption || !settings.times.empty()) {
    err << "solve: " << base
        << ".arm: the chain has deterministic delays; only its steady state "
           "is solved (no --time, --transient or --absorption)\n";
    return 1;
  }
  DeterministicChain chain;
  std::vector<RewardVariable> variables;
  RewardValues values;
  std::vector<std::string> names;
  Status status = ReadDeterministicChain(base + ".dch", &chain);
  *num_states = chain.num_states;
  if (status.ok) status = ReadRewardTypes(base + ".pvtype", &variables);
  if (status.ok) {
    for (const RewardVariable& variable : variables) {
      names.push_back(variable.name);
    }
    status = ReadRewardValues(base + ".var", names, chain.num_states,
                              TextRewardRecords(kGenerationFileType), &values);
  }
  // Only the long run is solved: a property that needs more is refused
  // before anything is printed.
  std::vector<Property> properties;
  bool have_properties = false;
  if (status.ok) {
    status =
        ReadProperties(base + ".props", names, &properties, &have_properties);
  }
  for (const Property& property : properties) {
    if (!status.ok) break;
    if (property.kind != PropertyKind::kSteadyState &&
        property.kind != PropertyKind::kUnsupported) {
      status = Status::Error(base + ".props:" + std::to_string(property.line) +
                             ": property \"" + property.name +
                             "\": only steady-state properties are solved on "
                             "a chain with deterministic delays");
    }
  }
  // The impulses of deterministic firings name the run's reward variables.
  if (status.ok && !chain.impulse_names.empty() &&
      chain.impulse_names != values.names) {
    status = Status::Error(base +
                           ".dch: its impulses name other reward variables "
                           "than " +
                           base + ".var");
  }
  if (!status.ok) {
    err << "solve: " << status.message << '\n';
    return 1;
  }
  // Per variable: rate rewards and the impulses of exponential firings,
  // per state; the impulses of deterministic firings from their long-run
  // rates.
  std::vector<std::vector<double>> earnings(values.names.size());
  for (std::size_t v = 0; v < values.names.size(); ++v) {
    std::vector<double>& earning = earnings[v];
    earning = values.rate[v];
    for (std::size_t s = 0; s < chain.num_states; ++s) {
      for (std::size_t e = chain.first_rate[s]; e < chain.first_rate[s + 1];
           ++e) {
        earning[s] +=
            chain.rates[e].rate * values.impulse[v][chain.rates[e].target];
      }
    }
  }
  RegenerativeOptions options;
  options.solve = settings.options;
  options.earning = &earnings;
  options.impulse = &values.impulse;
  const RegenerativeResult result = SolveRegenerative(chain, options);
  if (!result.ok) {
    err << "solve: " << base << ".dch: " << result.message << '\n';
    return 1;
  }
  // The limit of a reducible chain depends on where it starts, and the
  // embedded process is solved from state 1 only.
  if (!result.embedded.irreducible &&
      access((base + ".init").c_str(), F_OK) == 0) {
    err << "solve: " << base << ".init: the chain starts in several states "
        << "and is reducible; its long run with deterministic delays is "
           "solved from state 1 only\n";
    return 1;
  }

  std::vector<Row> rows;
  for (std::size_t v = 0; v < values.names.size(); ++v) {
    const std::vector<double>& earning = earnings[v];
    double high_impulse = 0;
    for (std::size_t s = 0; s < chain.num_states; ++s) {
      high_impulse = std::max(high_impulse, std::abs(values.impulse[v][s]));
    }
    const double timed = ExpectedReward(result.pi, earning);
    // The error in pi moves the value by at most its size times half the
    // spread of the earning rate where pi may be positive.
    std::vector<double> supported;
    for (std::size_t s = 0; s < chain.num_states; ++s) {
      if (result.support[s]) supported.push_back(earning[s]);
    }
    double fired = ExpectedReward(result.firing_rate, values.impulse[v]);
    double fired_bound = result.firing_error * high_impulse;
    if (!result.impulse_rate.empty()) {
      fired += result.impulse_rate[v];
      fired_bound += result.impulse_error[v];
    }
    const double value = timed + fired;
    double bound =
        ExpectedRewardBound(result.pi_error, timed, supported) + fired_bound;
    // The embedded chain's own bound on the value, where it has one, is
    // about the same value summed in another order: the difference is
    // added.
    if (v < result.reward_error.size()) {
      bound = std::min(bound, result.reward_error[v] +
                                  std::abs(value - result.reward_value[v]));
    }
    rows.push_back({"steady-state", values.names[v], std::nan(""), std::nan(""),
                    value, bound});
    rows.back().listed =
        !CarriesPropertySubject(v, values.names[v], properties);
  }
  std::vector<std::string> notes = {
      "deterministic delays: embedded Markov renewal process over " +
      std::to_string(result.embedded_states) +
      " regeneration states (figures above are of that chain); series up "
      "to " +
      std::to_string(result.series_terms) + " terms"};
  // A steady-state property is its variable's long-run value.
  const std::size_t variable_rows = rows.size();
  for (const Property& property : properties) {
    Row row{"property", property.name};
    if (property.kind == PropertyKind::kUnsupported) {
      row.has_value = false;
      notes.push_back("not supported yet: " + property.name + ": " +
                      property.text);
    } else {
      GEN_CHECK(property.variable < variable_rows);
      row.value = rows[property.variable].value;
      row.bound = rows[property.variable].bound;
      row.long_run = true;
    }
    rows.push_back(row);
  }
  if (!result.embedded.message.empty()) {
    notes.push_back(result.embedded.message);
  }
  const Refusal refusal = AccuracyRefusal(rows, settings.options.accuracy,
                                          result.embedded.methods_tried);
  if (!refusal.note.empty()) notes.push_back(refusal.note);
  StateSpace summary;
  summary.num_states = chain.num_states;
  summary.target.resize(chain.branches.size() + chain.rates.size());
  if (settings.json) {
    if (!result.embedded.irreducible) {
      notes.insert(notes.begin(), "chain " + ChainDescription(result.embedded));
    }
    WriteJson(base, summary, &result.embedded, rows, notes, refusal.json, out,
              settings.run_record);
  } else if (settings.csv) {
    WriteCsvRows(rows, out);
    if (!result.embedded.irreducible) {
      err << "solve: note: chain " << ChainDescription(result.embedded) << '\n';
    }
    for (const std::string& note : notes) {
      err << "solve: note: " << note << '\n';
    }
  } else {
    WriteTable(base, summary, &result.embedded, notes, out,
               settings.run_record);
    WriteRows(rows, out);
  }
  out.flush();
  if (!out) {
    err << "solve: the results could not be written\n";
    return 1;
  }
  if (!refusal.note.empty()) {
    err << "solve: " << base << ".dch: " << refusal.note << '\n';
    return 3;
  }
  return 0;
}

int RunSolveWith(const Settings& settings, const std::string& base,
                 std::size_t* num_states, std::ostream& out,
                 std::ostream& err) {
  StateSpace space;
  std::vector<RewardVariable> variables;
  RewardValues values;
  std::vector<Property> properties;
  bool have_properties = false;
  std::vector<std::string> names;
  Progress* progress = settings.options.progress;
  if (progress != nullptr) progress->Phase("reading " + base + ".arm");
  ReadSharing sharing;
  sharing.pool = settings.options.pool;
  Status status = ReadStateSpace(
      base + ".arm", &space,
      progress == nullptr
          ? ReadReport()
          : [progress](std::size_t done,
                       std::size_t total) { progress->Bytes(done, total); },
      sharing);
  // Deterministic generation leaves its chain, unmerged, in the .dch. Any
  // other defect of the .arm is reported: a .dch beside it would be another
  // run's.
  if (!status.ok && access((base + ".dch").c_str(), F_OK) == 0 &&
      WrittenByDeterministicGeneration(base + ".arm")) {
    return RunSolveDeterministic(settings, base, num_states, out, err);
  }
  *num_states = space.num_states;
  if (status.ok) status = ReadRewardTypes(base + ".pvtype", &variables);
  if (status.ok) {
    for (const RewardVariable& variable : variables) {
      names.push_back(variable.name);
    }
    status = ReadRewardValues(base + ".var", names, space.num_states,
                              TextRewardRecords(space.file_type), &values);
  }
  if (status.ok) {
    status =
        ReadProperties(base + ".props", names, &properties, &have_properties);
  }
  // A model that starts in several states leaves their distribution in the
  // .init: every measure that depends on the start uses it.
  std::vector<double> initial;
  bool have_initial = false;
  if (status.ok) {
    status = ReadInitialDistribution(base + ".init", space.num_states, &initial,
                                     &have_initial);
  }
  const std::vector<double> start = have_initial
                                        ? StartVector(space.num_states, initial)
                                        : std::vector<double>();
  TransientOptions transient_options = settings.transient_options;
  if (have_initial) transient_options.initial = &start;
  if (!status.ok) {
    err << "solve: " << status.message << '\n';
    return 1;
  }

  SolveOptions options = settings.options;
  options.bounds = true;  // every value is printed with its bound
  // A run that asks for transient measures only skips the long-run solve,
  // which on large chains costs as much as the series.
  bool long_run = settings.absorption || settings.bounds ||
                  (settings.times.empty() && !settings.transient);
  for (const Property& property : properties) {
    long_run |= property.kind == PropertyKind::kSteadyState;
  }
  // Rewards earned per unit of time, impulses included.
  std::vector<std::vector<double>> earning;
  const std::string impulse_note = ImpulseNote(values);
  // Past this point only the transient measures and the properties read the
  // rewards as the file gives them: without those, each is 8 bytes per
  // state that the solve would otherwise carry.
  const bool keep_values =
      !settings.times.empty() || settings.transient || have_properties;
  for (std::size_t v = 0; v < values.names.size(); ++v) {
    earning.push_back(EarningRate(space, values.rate[v], values.impulse[v]));
    if (!keep_values) {
      std::vector<double>().swap(values.impulse[v]);
      std::vector<double>().swap(values.rate[v]);
    }
  }
  options.rewards = &earning;
  StationaryResult result;
  if (long_run) {
    result = SolveLongRun(space, options);
    // Where a reducible chain ends depends on where it starts.
    if (result.ok && !result.irreducible && have_initial) {
      result = SolveLongRunFrom(space, initial, options);
    }
    if (!result.ok) {
      err << "solve: " << base << ".arm: " << result.message << '\n';
      return 1;
    }
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
  if (!impulse_note.empty()) notes.push_back(impulse_note);
  if (have_initial) {
    notes.push_back("the chain starts in states 1.." +
                    std::to_string(initial.size()) + " as " + base +
                    ".init gives");
  }

  std::vector<double> expected;
  for (const std::vector<double>& rate : earning) {
    expected.push_back(long_run ? ExpectedReward(result.pi, rate) : 0.0);
  }

  std::vector<Row> rows;
  for (std::size_t v = 0; v < values.names.size() && long_run; ++v) {
    double bound =
        ExpectedRewardBound(result.pi_error, expected[v], earning[v]);
    if (v < result.reward_error.size()) {
      bound = std::min(bound, result.reward_error[v]);
    }
    rows.push_back({"steady-state", values.names[v], std::nan(""), std::nan(""),
                    expected[v], bound});
    // The property's own row gives its value; its carrier adds nothing.
    rows.back().listed =
        !CarriesPropertySubject(v, values.names[v], properties);
  }
  std::string message;
  if (progress != nullptr && (!settings.times.empty() || settings.transient)) {
    progress->Phase("transient measures");
  }
  if (!settings.times.empty()) {
    std::vector<std::size_t> all(values.names.size());
    for (std::size_t v = 0; v < all.size(); ++v) all[v] = v;
    std::vector<std::pair<double, double>> spans;
    for (double t : settings.times) spans.emplace_back(t, t);
    if (!AddTransientRows(space, values, earning, all, spans, transient_options,
                          &rows, &message)) {
      err << "solve: " << base << ".arm: " << message << '\n';
      return 1;
    }
  }
  if (settings.transient) {
    for (std::size_t v = 0; v < variables.size(); ++v) {
      std::vector<std::pair<double, double>> spans;
      for (std::size_t k = 0; k < variables[v].start_times.size(); ++k) {
        double start = variables[v].start_times[k];
        double stop = variables[v].stop_times[k];
        if (!(start >= 0) || !(stop >= start)) {
          err << "solve: " << base << ".pvtype: time point " << k + 1 << " of "
              << variables[v].name << " runs from " << start << " to " << stop
              << "; it needs 0 <= start <= stop\n";
          return 1;
        }
        spans.emplace_back(start, stop);
      }
      if (!spans.empty() &&
          !AddTransientRows(space, values, earning, {v}, spans,
                            transient_options, &rows, &message)) {
        err << "solve: " << base << ".arm: " << message << '\n';
        return 1;
      }
    }
  }
  if (settings.absorption) {
    std::vector<const std::vector<double>*> rates;
    for (const std::vector<double>& rate : earning) rates.push_back(&rate);
    const AbsorptionMeasures absorption = ComputeAbsorption(result, rates);
    if (!absorption.defined) {
      notes.push_back("no absorption measures: " + absorption.why_not);
    } else {
      // The sharp bounds where they were computed and are smaller.
      auto sharper = [](double bound, const std::vector<double>& sharp,
                        std::size_t i) {
        return i < sharp.size() ? std::min(bound, sharp[i]) : bound;
      };
      for (std::size_t k = 0; k < result.bottoms.size(); ++k) {
        const BottomClass& bottom = result.bottoms[k];
        rows.push_back(
            {"absorption-probability",
             "class of state " + std::to_string(bottom.first_state + 1),
             std::nan(""), std::nan(""), bottom.probability,
             sharper(result.probability_error, result.class_probability_error,
                     k)});
      }
      rows.push_back(
          {"absorption-time", "-", std::nan(""), std::nan(""), absorption.time,
           std::min(absorption.time_bound, result.absorption_time_error)});
      for (std::size_t v = 0; v < values.names.size(); ++v) {
        rows.push_back({"absorption-reward", values.names[v], std::nan(""),
                        std::nan(""), absorption.reward[v],
                        sharper(absorption.reward_bound[v],
                                result.absorption_reward_error, v)});
      }
    }
  }
  if (have_properties) {
    PropertyContext context;
    context.space = &space;
    context.values = &values;
    context.long_run = &result;
    context.solve_options = settings.options;
    context.transient_options = transient_options;
    if (have_initial) context.initial = &initial;
    std::vector<std::string> series_notes;
    const std::vector<PropertyValue> evaluated =
        EvaluateProperties(properties, context, &series_notes);
    for (std::size_t p = 0; p < properties.size(); ++p) {
      const Property& property = properties[p];
      Row row{"property", property.name};
      if (property.kind == PropertyKind::kUnsupported) {
        row.has_value = false;
        notes.push_back("not supported yet: " + property.name + ": " +
                        property.text);
        rows.push_back(row);
        continue;
      }
      const PropertyValue& value = evaluated[p];
      if (!value.ok) {
        err << "solve: " << base << ".props:" << property.line
            << ": property \"" << property.name << "\": " << value.message
            << '\n';
        return 1;
      }
      if (property.kind == PropertyKind::kReachProbability ||
          property.kind == PropertyKind::kRewardInstant) {
        row.start = row.stop = property.time;
      } else if (property.kind == PropertyKind::kRewardCumulative) {
        row.start = 0;
        row.stop = property.time;
      } else if (property.kind == PropertyKind::kUntil) {
        row.start = property.time;
        row.stop = property.time_to;
      }
      row.value = value.value;
      row.bound = value.bound;
      row.long_run = IsLongRun(property);
      if (!value.note.empty()) {
        notes.push_back(property.name + ": " + value.note);
      }
      rows.push_back(row);
    }
    notes.insert(notes.end(), series_notes.begin(), series_notes.end());
  }

  const Refusal refusal =
      AccuracyRefusal(rows, settings.options.accuracy, result.methods_tried);
  if (!refusal.note.empty()) notes.push_back(refusal.note);

  if (settings.json) {
    std::vector<std::string> all_notes;
    if (long_run && !result.irreducible) {
      all_notes.push_back("chain " + ChainDescription(result));
    }
    all_notes.insert(all_notes.end(), notes.begin(), notes.end());
    WriteJson(base, space, long_run ? &result : nullptr, rows, all_notes,
              refusal.json, out, settings.run_record);
  } else if (settings.csv) {
    WriteCsvRows(rows, out);
    if (long_run && !result.irreducible) {
      err << "solve: note: chain " << ChainDescription(result) << '\n';
    }
    for (const std::string& note : notes) {
      err << "solve: note: " << note << '\n';
    }
  } else {
    WriteTable(base, space, long_run ? &result : nullptr, notes, out,
               settings.run_record);
    WriteRows(rows, out);
  }
  out.flush();
  if (!out) {
    err << "solve: the results could not be written\n";
    return 1;
  }
  if (!settings.db.empty()) {
    const std::string method =
        long_run ? SolveMethodName(result.method) : std::string();
    const Status recorded = RecordRows(settings, base, rows, method);
    if (!recorded.ok) {
      err << "solve: the measures could not be recorded: " << recorded.message
          << '\n';
      return 1;
    }
  }
  if (!refusal.note.empty()) {
    err << "solve: " << base << ".arm: " << refusal.note << '\n';
    return 3;
  }
  return 0;
}

}  // namespace

std::string SolveUsageError(int argc, const char* const* argv) {
  Settings settings;
  return ParseArguments(argc, argv, &settings);
}

int RunSolve(int argc, const char* const* argv, std::ostream& out,
             std::ostream& err) {
  Settings settings;
  const std::string usage_error = ParseArguments(argc, argv, &settings);
  if (settings.help && usage_error.empty()) {
    out << kUsageHead;
    WriteOptionHelp(SyntaxOf(SolveOptionTable()), out);
    // The methods of --method, from the method table.
    out << "methods (auto tries them in this order where they fit):\n";
    for (const MethodRow& row : SolveMethodTable()) {
      std::string name = "  ";
      name += row.name;
      name.resize(16, ' ');
      out << name << row.summary << '\n';
    }
    out.flush();
    return out ? 0 : 1;
  }
  if (settings.version && usage_error.empty()) {
    out << "solve " << ProgramVersion() << '\n';
    out.flush();
    return out ? 0 : 1;
  }
  if (!usage_error.empty()) {
    err << "solve: " << usage_error << '\n';
    return 1;
  }
  const std::string base = settings.path + settings.name;
  std::size_t num_states = 0;
  // Progress goes to standard error on a terminal or on request.
  const Status recorded =
      ReadRunRecord(base + kRunRecordExtension, &settings.run_record);
  if (!recorded.ok) {
    err << "solve: " << recorded.message << '\n';
    return 1;
  }
  Progress progress(
      ProgressWanted(settings.progress, settings.quiet) ? &err : nullptr);
  settings.options.progress = &progress;
  // Started once; the work is cut in two halves whatever the count.
  TwoWayPool pool(settings.threads > 0
                      ? settings.threads
                      : static_cast<int>(std::thread::hardware_concurrency()));
  settings.options.pool = &pool;
  try {
    return RunSolveWith(settings, base, &num_states, out, err);
  } catch (const std::bad_alloc&) {
    // Eigen and the containers report exhaustion by throwing; nothing has
    // been written to `out` before the results are complete.
    if (num_states == 0) {
      err << "solve: out of memory while reading " << base << ".arm\n";
    } else {
      err << "solve: out of memory while solving " << num_states << " states\n";
    }
    return 1;
  }
}
