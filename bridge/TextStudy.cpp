#include "bridge/TextStudy.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "base/Contract.h"
#include "bridge/ModelBuilder.h"

TextStudy::TextStudy(const ModelIr& model)
    : model_(model), values_(DefaultGlobals(model)) {
  NumGVs = static_cast<int>(model.globals.size());
  NumExps = model.experiments.empty()
                ? 1
                : static_cast<int>(model.experiments.size());
  for (const GlobalIr& global : model.globals) {
    GVNames.push_back(global.name);
    GVTypes.push_back(global.type == ValueType::kInt ? "int" : "double");
  }
}

PVModel* TextStudy::GetPVModel(bool /*expandTimePoints*/) {
  CurrentPVModel.reset();
  BuildResult built = BuildModel(model_, values_);
  build_errors_ = std::move(built.errors);
  CurrentPVModel = std::move(built.model);
  return CurrentPVModel.get();
}

void TextStudy::SetGVs(int experiment) {
  GEN_CHECK(experiment >= 0 && experiment < NumExps);
  values_ = DefaultGlobals(model_);
  if (model_.experiments.empty()) return;
  const ExperimentIr& chosen =
      model_.experiments[static_cast<std::size_t>(experiment)];
  for (const ExperimentIr::Setting& setting : chosen.settings) {
    const int g = Find(setting.global.c_str());
    GEN_CHECK(g >= 0);  // CheckModel refuses unknown names
    values_[static_cast<std::size_t>(g)] = setting.value;
  }
}

void TextStudy::PrintGlobalValues(int experiment) {
  if (NumGVs == 0) {
    std::cout << "There are no global variables.\n" << std::flush;
    return;
  }
  SetGVs(experiment);
  std::cout << "The Global Variable values for experiment "
            << GetExpName(experiment) << " are:\n"
            << std::flush;
  for (int i = 0; i < NumGVs; ++i) {
    std::cout << GVNames[static_cast<std::size_t>(i)] << '\t'
              << GVTypes[static_cast<std::size_t>(i)] << '\t'
              << values_[static_cast<std::size_t>(i)] << '\n'
              << std::flush;
  }
}

int TextStudy::Find(const char* name) const {
  return FindByName(model_.globals, name);
}

void* TextStudy::GetGVValue(const char* name) {
  const int g = Find(name);
  if (g < 0) {
    std::cerr << "!! " << model_.study_name << "::GetGVValue: Global Variable "
              << name << " does not exist.\n"
              << std::flush;
    return nullptr;
  }
  return &values_[static_cast<std::size_t>(g)];
}

Status TextStudy::OverrideGVValue(const std::string& name, double v) {
  const int g = Find(name.c_str());
  if (g < 0) {
    std::cerr << "!! " << model_.study_name
              << "::OverrideGVValue: Global Variable " << name
              << " does not exist.\n"
              << std::flush;
    return Status::Ok();
  }
  const auto i = static_cast<std::size_t>(g);
  if (model_.globals[i].type == ValueType::kInt &&
      !(v == std::floor(v) && std::fabs(v) <= 2147483647.0)) {
    // Rounding would run a different model than the one asked for.
    std::ostringstream text;
    text << "Error: override of int variable " << name << ": value " << v
         << " is not a whole number in -2147483647..2147483647\n";
    return Status::Error(text.str());
  }
  values_[i] = v;
  return Status::Ok();
}
