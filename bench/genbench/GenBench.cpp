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
#include "main/CommandLine.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"

namespace {

// Largest N accepted for the general generator: markings are 16-bit.
constexpr int kMaxParameter = 10000;

void PrintUsage(std::ostream& out) {
  out << "usage:  genbench MODEL N [-Pexperimentfilepath -Nexperimentname "
         "...gen options]\n"
         "        genbench --floor MODEL N [-Pexperimentfilepath "
         "-Nexperimentname]\n"
         "MODEL is kanban or fms; N is the cards per kanban cell or the "
         "parts of each FMS kind\n"
      << std::flush;
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
  if (argc < 3) {
    PrintUsage(std::cout);
    return argc == 1 ? 0 : 1;
  }
  const bool floor = std::string(argv[1]) == "--floor";
  const int first = floor ? 2 : 1;
  if (argc < first + 2) {
    PrintUsage(std::cerr);
    return 1;
  }
  const std::string model_name = argv[first];
  const char* parameter_text = argv[first + 1];
  const bool kanban = model_name == "kanban";
  if (!kanban && model_name != "fms") {
    FatalError(std::cerr, "Error: unknown model \"" + model_name +
                              "\"; use kanban or fms\n");
  }
  const int max = !floor   ? kMaxParameter
                  : kanban ? kFloorMaxCards
                           : kFmsFloorMaxParts;
  const std::optional<int> parameter = ParseParameter(parameter_text);
  if (!parameter || *parameter < 1 || *parameter > max) {
    BadParameter(parameter_text, max);
  }

  // The rest are gen's options, read by gen's own parser.
  std::vector<char*> options = {argv[0]};
  for (int i = first + 2; i < argc; ++i) options.push_back(argv[i]);
  CommandLineSettings settings;
  const CommandLineStatus status =
      commandline(static_cast<int>(options.size()), options.data(), settings);
  if (!status.ok) FatalError(std::cerr, status.message);

  if (floor) {
    return (kanban ? RunKanbanFloor : RunFmsFloor)(
        *parameter, settings.run.path, settings.run.name, std::cout, std::cerr);
  }

  std::unique_ptr<PVModel> model =
      kanban ? MakeKanbanModel(*parameter) : MakeFmsModel(*parameter);
  const int size = *parameter;
  const Status run = RunGeneration(*model, settings.run, [kanban, size] {
    return kanban ? MakeKanbanModel(size) : MakeFmsModel(size);
  });
  model.reset();
  if (!run.ok) FatalError(run);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "Error: standard output could not be written\n" << std::flush;
    return 1;
  }
  return 0;
}
