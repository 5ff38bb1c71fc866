#include "san/SanDriver.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/Fatal.h"
#include "bridge/ModelBuilder.h"
#include "bridge/TextStudy.h"
#include "main/CommandLine.h"
#include "peer/PropertiesFile.h"
#include "reward/PVModel.h"
#include "run/RunGeneration.h"
#include "san/ModelFormats.h"

namespace {

void PrintUsage(std::ostream& out) {
  out << "usage:  san [--format NAME] MODEL_FILE -Pexperimentfilepath "
         "-Nexperimentname [gen's options]\n"
         "        san --check [--format NAME] MODEL_FILE\n"
         "JANI and PNPRO files: --const NAME=VALUE sets an open constant;\n"
         "PNPRO files: --rewards NAME,... picks the reward variables and\n"
         "--page NAME the gspn page\n"
         "Example:  san models/failure.san -Pout/ -Nexp1 -B0\n"
      << std::flush;
}

int CheckedStandardOutput() {
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "Error: standard output could not be written\n" << std::flush;
    return 1;
  }
  return 0;
}

[[noreturn]] void FiringError(const std::string& text) {
  FatalError(std::cerr, text);
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

}  // namespace

int RunSan(int argc, char** argv) {
  bool check = false;
  const ModelFormat* format = nullptr;
  ImportOptions import_options;
  int next = 1;
  while (next < argc && std::string(argv[next]).rfind("--", 0) == 0) {
    const std::string option = argv[next++];
    if (option == "--check") {
      check = true;
    } else if (option == "--format" && next < argc) {
      format = FormatNamed(argv[next]);
      if (format == nullptr) {
        FatalError(std::cerr, std::string("Error: unknown model format \"") +
                                  argv[next] + "\"\n");
      }
      ++next;
    } else if (option == "--const" && next < argc) {
      const std::string setting = argv[next++];
      const std::size_t equals = setting.find('=');
      if (equals == std::string::npos || equals == 0) {
        FatalError(std::cerr, "Error: --const needs NAME=VALUE, not \"" +
                                  setting + "\"\n");
      }
      import_options.constants[setting.substr(0, equals)] =
          setting.substr(equals + 1);
    } else if (option == "--rewards" && next < argc) {
      import_options.rewards = argv[next++];
    } else if (option == "--page" && next < argc) {
      import_options.page = argv[next++];
    } else {
      PrintUsage(std::cerr);
      return 1;
    }
  }
  if (next >= argc) {
    PrintUsage(check || format != nullptr ? std::cerr : std::cout);
    return check || format != nullptr ? 1 : CheckedStandardOutput();
  }
  const std::string file_name = argv[next++];
  // gen's arguments follow; gen shows its usage when fewer than three are
  // given, and so does san.
  std::vector<char*> options = {argv[0]};
  for (int i = next; i < argc; ++i) options.push_back(argv[i]);
  if (!check && options.size() < 4) {
    PrintUsage(std::cout);
    return CheckedStandardOutput();
  }

  const std::optional<std::string> text = ReadFile(file_name);
  if (!text) {
    FatalError(std::cerr,
               "Error: cannot read model file \"" + file_name + "\"\n");
  }
  if (format == nullptr) format = &FormatOfFile(file_name);
  const bool imported = std::string(format->name) != "san";
  if (!imported &&
      (!import_options.constants.empty() || !import_options.rewards.empty() ||
       !import_options.page.empty())) {
    FatalError(std::cerr,
               "Error: --const, --rewards and --page are for JANI and PNPRO "
               "files; a model text sets its globals with -O\n");
  }
  ImportedModel loaded = format->load(*text, file_name, import_options);
  if (!loaded.errors.empty()) {
    FatalError(std::cerr, FormatDiagnostics(loaded.errors, &*text));
  }
  const ModelIr& model = loaded.model;
  if (check) {
    PrintSummary(model, std::cout);
    PrintProperties(loaded.properties, std::cout);
    return CheckedStandardOutput();
  }

  CommandLineSettings settings;
  const CommandLineStatus status =
      commandline(static_cast<int>(options.size()), options.data(), settings);
  if (!status.ok) FatalError(std::cerr, status.message);
  const int experiment = settings.experiment;

  TextStudy study(model);
  if (experiment < 0 || experiment >= study.GetNumExps()) {
    FatalError(std::cerr, "Error: experiment " + std::to_string(experiment) +
                              " is outside 0.." +
                              std::to_string(study.GetNumExps() - 1) + "\n");
  }
  study.SetGVs(experiment);
  study.PrintGlobalValues(experiment);
  if (settings.overrides) {
    const Status overridden = study.overrideGVs(settings.overrides->c_str());
    if (!overridden.ok) FatalError(overridden);
    if (!study.override_error().empty()) {
      FatalError(std::cerr, study.override_error());
    }
    std::cout << "Overriding global variables in ssg\n" << std::flush;
  }
  // The properties go beside the chain, for solve, published with it.
  if (!loaded.properties.empty()) {
    settings.run.properties = FormatPropertiesFile(loaded.properties);
  }
  SetFiringErrorHandler(&FiringError);
  PVModel* pv_model = study.GetPVModel(false);
  if (pv_model == nullptr) {
    FatalError(std::cerr, FormatDiagnostics(study.build_errors(), &*text));
  }
  // The study owns the model; it is destroyed only after the run.
  const Status run = RunGeneration(*pv_model, settings.run);
  study.CurrentPVModel.reset();
  if (!run.ok) FatalError(run);
  return CheckedStandardOutput();
}
