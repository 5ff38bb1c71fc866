#include "san/SanDriver.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/Fatal.h"
#include "bridge/ModelBuilder.h"
#include "bridge/TextStudy.h"
#include "cli/Options.h"
#include "cli/ProgressClock.h"
#include "cli/Version.h"
#include "database/Sha256.h"
#include "lang/Expr.h"
#include "main/CommandLine.h"
#include "main/RunExperiment.h"
#include "output/Formats.h"
#include "peer/ImportedModel.h"
#include "peer/PropertiesFile.h"
#include "results/SameFile.h"
#include "reward/PVModel.h"
#include "san/ModelFormats.h"
#ifdef GEN_WITH_SOLVE
#include "solve/SolveRun.h"
#endif

namespace {

// What san's command line asks for.
struct SanSettings {
  bool help = false;
  bool version = false;
  bool check = false;
  bool states = false;                  // --states
  const ModelFormat* format = nullptr;  // null: by the file's extension
  // The options that formats own, applied once the format is known.
  std::vector<std::pair<const FormatOption*, std::string>> format_options;
  CommandLineSettings gen;
};

// san's options, one row each; gen's options follow them.
std::vector<Option<SanSettings>> SanOptions() {
  using S = SanSettings;
  using V = const std::string&;
  std::vector<Option<S>> table = {
      FlagOption("--help", "print this help and exit", &S::help),
      FlagOption("--version", "print the version and exit", &S::version),
      FlagOption("--check", "check the model and list what it holds; no run",
                 &S::check),
      FlagOption("--states",
                 "also write PATH NAME.states: every state's marking",
                 &S::states),
      {{"--solve", "",
        "then solve the chain; solve's options follow it (solve --help)"},
       [](S&, V) { return Status::Ok(); }},
      {{"--format", "NAME", "read the model as san, jani, pnpro or prism"},
       [](S& s, V value) {
         s.format = FormatNamed(value);
         if (s.format == nullptr) {
           return Status::Error("unknown model format \"" + value +
                                "\"; did you mean \"" +
                                NearestName(FormatNames(), value) + "\"?");
         }
         return Status::Ok();
       }},
      {{"--max-states", "N",
        "end the run with an error past N states; nothing is published"},
       [](S& s, V value) {
         int limit = 0;
         if (!ScanInt32(value, &limit) || limit < 1) {
           return Status::Error("--max-states value \"" + value +
                                "\" is not a whole number in 1..2147483647");
         }
         s.gen.run.max_states = static_cast<std::uint32_t>(limit);
         return Status::Ok();
       }},
  };
  for (const FormatOption* option : FormatOptions()) {
    table.push_back({{option->name, option->value, FormatOptionHelp(*option)},
                     [option](S& s, V value) {
                       s.format_options.emplace_back(option, value);
                       return Status::Ok();
                     }});
  }
  for (Option<S>& row : OptionsOfPart(GenerationOptions(), &S::gen)) {
    table.push_back(std::move(row));
  }
  return table;
}

void PrintUsage(const std::vector<Option<SanSettings>>& table,
                std::ostream& out) {
  out << "usage:  san [options] MODEL_FILE -Pexperimentfilepath "
         "-Nexperimentname [--solve solve's options]\n"
         "        san --check [--format NAME] MODEL_FILE\n"
         "Generates the state space of the model in MODEL_FILE (a model "
         "text,\n"
         "a JANI, PNPRO or PRISM file) as gen does for its compiled-in "
         "model.\n"
         "Values follow their option glued (-Pout/) or as the next argument "
         "(-P out/).\n";
  WriteOptionHelp(SyntaxOf(table), out);
  out << "Example:  san models/failure.san -Pout/ -Nexp1 -B0\n" << std::flush;
}

[[noreturn]] void Refuse(const std::string& message) {
  FatalError(std::cerr, "Error: " + message + "\n");
}

[[noreturn]] void FiringError(const std::string& text) {
  FatalError(std::cerr, text);
}

// A run publishes its result files under PATH NAME: one of them on the model
// file or the property file would replace what was read (a PRISM property
// file is often m.props beside m.sm, and -Nm writes m.props). Refused
// before anything is written.
void RefuseInputAsResult(const std::string& input, const std::string& what,
                         const std::string& base) {
  for (const char* extension :
       {kStateSpaceExtension, kRewardValuesExtension, kRewardTypesExtension,
        kEnablingStatesExtension, kDeterministicChainExtension,
        kPropertiesExtension, kStatesExtension, kRunRecordExtension,
        kInitialDistributionExtension}) {
    const std::string result = base + extension;
    if (SameFile(input, result)) {
      Refuse("the " + what + " " + input + " is the result file " + result +
             " of this run, which would replace it; choose another -P or -N");
    }
  }
}

std::optional<std::string> ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

// Counts of a checked model, for --check.
void PrintSummary(const ModelIr& model, std::ostream& out) {
  int case_activities = 0;
  for (const ActivityIr& activity : model.activities) {
    case_activities += activity.cases.size() >= 2
                           ? static_cast<int>(activity.cases.size())
                           : 1;
  }
  const std::size_t experiments =
      model.experiments.empty() ? 1 : model.experiments.size();
  out << "model " << model.name << '\n'
      << "places " << model.places.size() << '\n'
      << "activities " << model.activities.size() << " (" << case_activities
      << " with their cases)\n"
      << "reward variables " << model.rewards.size() << '\n'
      << "globals " << model.globals.size() << '\n'
      << "experiments " << experiments << '\n';
}

void PrintProperties(const std::vector<PropertyLine>& properties,
                     std::ostream& out) {
  if (properties.empty()) return;
  out << "properties " << properties.size() << '\n';
  for (const PropertyLine& property : properties) {
    out << "  " << property.name << ": " << property.kind;
    for (const std::string& field : property.fields) out << ' ' << field;
    out << '\n';
  }
}

// An argv of `arguments`, valid while they are.
[[maybe_unused]] std::vector<const char*> Pointers(
    const std::vector<std::string>& arguments) {
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  return pointers;
}

// solve's command line for the chain of `run`: "solve -P PATH -N NAME"
// and argv[first..last-1]. Refused when solve would refuse it, before
// anything is written, and when it names another chain.
std::vector<std::string> SolveArguments(const RunSettings& run, int first,
                                        int last, char** argv) {
  std::vector<std::string> arguments = {"solve", "-P", run.path, "-N",
                                        run.name};
  for (int i = first; i < last; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("-P", 0) == 0 || argument.rfind("-N", 0) == 0) {
      Refuse("\"" + argument +
             "\" after --solve: solve reads the chain san writes, at -P and "
             "-N before --solve");
    }
    arguments.push_back(argument);
  }
#ifdef GEN_WITH_SOLVE
  const std::vector<const char*> pointers = Pointers(arguments);
  const std::string refused =
      SolveUsageError(static_cast<int>(pointers.size()), pointers.data());
  if (!refused.empty()) Refuse("after --solve: " + refused);
#else
  Refuse("--solve: this san was built without the solver (Eigen 3 missing)");
#endif
  return arguments;
}

// Runs solve on the chain just published; its output follows san's.
int Solve(const std::vector<std::string>& arguments) {
  const int published = CheckedStandardOutput();
  if (published != 0) return published;
#ifdef GEN_WITH_SOLVE
  const std::vector<const char*> pointers = Pointers(arguments);
  const int solved = RunSolve(static_cast<int>(pointers.size()),
                              pointers.data(), std::cout, std::cerr);
  std::cout.flush();
  return solved;
#else
  (void)arguments;
  return 1;
#endif
}

}  // namespace

int RunSan(int argc, char** argv) {
  const std::vector<Option<SanSettings>> table = SanOptions();
  if (argc < 2) {
    PrintUsage(table, std::cout);
    return CheckedStandardOutput();
  }
  // Everything after --solve is solve's.
  int own_argc = argc;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--solve") {
      own_argc = i;
      break;
    }
  }
  SanSettings settings;
  std::vector<std::string> positionals;
  const Status parsed =
      ParseOptions(table, own_argc, argv, settings, &positionals);
  if (!parsed.ok) Refuse(parsed.message + " (san --help lists the options)");
  if (settings.help) {
    PrintUsage(table, std::cout);
    return CheckedStandardOutput();
  }
  if (settings.version) {
    std::cout << "san " << ProgramVersion() << '\n';
    return CheckedStandardOutput();
  }
  if (positionals.empty()) Refuse("no model file given");
  if (positionals.size() > 1) {
    Refuse("one model file is read, not \"" + positionals[0] + "\" and \"" +
           positionals[1] + "\"");
  }
  const std::string& file_name = positionals[0];
  const CommandLineSettings& gen = settings.gen;
  if (!settings.check && gen.run.name.empty()) {
    Refuse("the experiment name (-N) is missing");
  }
  const bool solve = own_argc < argc;
  std::vector<std::string> solve_arguments;
  if (solve) {
    if (settings.check) Refuse("--check makes no chain for --solve to solve");
    solve_arguments = SolveArguments(gen.run, own_argc + 1, argc, argv);
  }

  const std::optional<std::string> text = ReadFile(file_name);
  if (!text) Refuse("cannot read model file \"" + file_name + "\"");
  const ModelFormat* format = settings.format;
  if (format == nullptr) format = &FormatOfFile(file_name);
  ImportOptions import_options;
  for (const auto& [owned, value] : settings.format_options) {
    if (!format->Takes(*owned)) {
      Refuse(std::string(owned->name) + " is not an option of " + format->name +
             " files" +
             (format->options_instead != nullptr
                  ? std::string("; ") + format->options_instead
                  : std::string()));
    }
    std::string error;
    if (!owned->set(value, import_options, &error)) Refuse(error);
  }
  if (!settings.check) {
    const std::string base = gen.run.path + gen.run.name;
    RefuseInputAsResult(file_name, "model file", base);
    if (!import_options.properties_file.empty()) {
      RefuseInputAsResult(import_options.properties_file, "property file",
                          base);
    }
  }
  if (!format->has_globals && gen.overrides) {
    Refuse("-O sets the globals of a model text; a " +
           std::string(format->name) +
           " model sets its open constants with --const NAME=VALUE");
  }
  ImportedModel loaded = format->load(*text, file_name, import_options);
  if (!loaded.errors.empty()) {
    FatalError(std::cerr, FormatDiagnostics(loaded.errors, &*text));
  }
  const ModelIr& model = loaded.model;
  if (settings.check) {
    // What any experiment's run would stop at, found without running.
    const std::vector<Diagnostic> value_errors = CheckStudyValues(model);
    if (!value_errors.empty()) {
      FatalError(std::cerr, FormatDiagnostics(value_errors, &*text));
    }
    PrintSummary(model, std::cout);
    PrintProperties(loaded.properties, std::cout);
    return CheckedStandardOutput();
  }

  const int experiment = gen.experiment;
  TextStudy study(model);
  const Status in_range = CheckExperimentNumber(experiment, study.GetNumExps());
  if (!in_range.ok) FatalError(in_range);
  if (gen.overrides) {
    // Every entry is checked, and then tried on the values, before a line
    // is printed.
    const Status checked = study.CheckOverrides(*gen.overrides);
    if (!checked.ok) FatalError(checked);
    study.SetGVs(experiment);
    const Status tried = study.overrideGVs(gen.overrides->c_str());
    if (!tried.ok) FatalError(tried);
  }
  std::cout << gen.echo << std::flush;

  SetFiringErrorHandler(&FiringError);
  CommandLineSettings recorded = gen;
  recorded.run.record.program = "san";
  recorded.run.record.model_file = file_name;
  recorded.run.record.model_sha256 = Sha256Hex(*text);
  recorded.run.record.model_format = format->name;
  for (const NamedConstant& constant : loaded.constants) {
    // The record's types: "constant" for a number, "bool" for 0 or 1.
    const bool is_bool = constant.value.type == ValueType::kBool;
    recorded.run.record.constants.push_back(
        {constant.name, is_bool ? "bool" : "constant", constant.value.value});
  }
  recorded.run.run_record = true;
  recorded.run.exact_rates = true;
  recorded.run.name_open_failures = true;
  recorded.run.states = settings.states;
  recorded.run.progress = ProgressWanted(gen.progress, gen.quiet);
  // The properties go beside the chain, for solve, published with it.
  if (!loaded.properties.empty()) {
    recorded.run.properties = FormatPropertiesFile(loaded.properties);
  }
  const Status run = RunExperiment(
      study, recorded,
      [&] {
        return Status::Error(FormatDiagnostics(study.build_errors(), &*text));
      },
      [&study] { return study.BuildAnother(); });
  if (!run.ok) FatalError(run);
  if (solve) return Solve(solve_arguments);
  return CheckedStandardOutput();
}
