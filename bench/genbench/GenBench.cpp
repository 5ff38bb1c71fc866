#include "bench/genbench/GenBench.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Fatal.h"
#include "bench/floor/FmsFloor.h"
#include "bench/floor/KanbanFloor.h"
#include "bench/models/Fms.h"
#include "bench/models/Kanban.h"
#include "cli/Options.h"
#include "cli/ProgressClock.h"
#include "cli/Version.h"
#include "main/CommandLine.h"
#include "main/RunExperiment.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"

namespace {

// Largest N accepted for the general generator: markings are 16-bit.
constexpr int kMaxParameter = 10000;

struct GenBenchSettings {
  bool help = false;
  bool version = false;
  bool floor = false;
  CommandLineSettings gen;
};

// genbench's options, one row each; gen's options follow them.
std::vector<Option<GenBenchSettings>> GenBenchOptions() {
  using S = GenBenchSettings;
  std::vector<Option<S>> table = {
      FlagOption("--help", "print this help and exit", &S::help),
      FlagOption("--version", "print the version and exit", &S::version),
      FlagOption("--floor", "the hand-written generator (only -P and -N apply)",
                 &S::floor),
  };
  for (Option<S>& row : OptionsOfPart(GenerationOptions(), &S::gen)) {
    table.push_back(std::move(row));
  }
  return table;
}

void PrintUsage(const std::vector<Option<GenBenchSettings>>& table,
                std::ostream& out) {
  out << "usage:  genbench MODEL N [-Pexperimentfilepath -Nexperimentname "
         "...gen options]\n"
         "        genbench --floor MODEL N [-Pexperimentfilepath "
         "-Nexperimentname]\n"
         "MODEL is kanban or fms; N is the cards per kanban cell or the "
         "parts of each FMS kind\n";
  WriteOptionHelp(SyntaxOf(table), out);
  out << std::flush;
}

[[noreturn]] void Refuse(const std::string& message) {
  FatalError(std::cerr, "Error: " + message + "\n");
}

std::optional<int> ParseParameter(const char* text) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE) return std::nullopt;
  if (value < 0 || value > kMaxParameter) return std::nullopt;
  return static_cast<int>(value);
}

[[noreturn]] void BadParameter(const char* text, int max) {
  FatalError(std::cerr, std::string("Error: N \"") + text +
                            "\" is outside 1.." + std::to_string(max) + "\n");
}

}  // namespace

int RunGenBench(int argc, char** argv) {
  const std::vector<Option<GenBenchSettings>> table = GenBenchOptions();
  if (argc < 2) {
    PrintUsage(table, std::cout);
    return CheckedStandardOutput();
  }
  GenBenchSettings settings;
  std::vector<std::string> positionals;
  const Status parsed = ParseOptions(table, argc, argv, settings, &positionals);
  if (!parsed.ok) {
    Refuse(parsed.message + " (genbench --help lists the options)");
  }
  if (settings.help) {
    PrintUsage(table, std::cout);
    return CheckedStandardOutput();
  }
  if (settings.version) {
    std::cout << "genbench " << ProgramVersion() << '\n';
    return CheckedStandardOutput();
  }
  if (positionals.size() != 2) {
    std::string given;
    for (const std::string& argument : positionals) {
      given += (given.empty() ? "\"" : " \"") + argument + "\"";
    }
    Refuse("genbench takes MODEL and N; given: " +
           (given.empty() ? std::string("nothing") : given));
  }
  const std::string& model_name = positionals[0];
  const char* parameter_text = positionals[1].c_str();
  const bool floor = settings.floor;
  const bool kanban = model_name == "kanban";
  if (!kanban && model_name != "fms") {
    Refuse("unknown model \"" + model_name + "\"; use kanban or fms");
  }
  const int max = !floor   ? kMaxParameter
                  : kanban ? kFloorMaxCards
                           : kFmsFloorMaxParts;
  const std::optional<int> parameter = ParseParameter(parameter_text);
  if (!parameter || *parameter < 1 || *parameter > max) {
    BadParameter(parameter_text, max);
  }
  const CommandLineSettings& gen = settings.gen;
  std::cout << gen.echo << std::flush;

  if (floor) {
    return (kanban ? RunKanbanFloor : RunFmsFloor)(
        *parameter, gen.run.path, gen.run.name, std::cout, std::cerr);
  }

  std::unique_ptr<PVModel> model =
      kanban ? MakeKanbanModel(*parameter) : MakeFmsModel(*parameter);
  RunSettings run_settings = gen.run;
  run_settings.record.program = "genbench";
  run_settings.progress = ProgressWanted(gen.progress, gen.quiet);
  run_settings.record.version = ProgramVersion();
  run_settings.record.experiment_name = model_name + " " + parameter_text;
  const int size = *parameter;
  const Status run = RunGeneration(*model, run_settings, [kanban, size] {
    return kanban ? MakeKanbanModel(size) : MakeFmsModel(size);
  });
  model.reset();
  if (!run.ok) FatalError(run);
  return CheckedStandardOutput();
}
