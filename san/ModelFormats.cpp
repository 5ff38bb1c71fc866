#include "san/ModelFormats.h"

#include <algorithm>

#include "jani/JaniReader.h"
#include "peer/PropertiesFile.h"
#include "pnpro/PnproReader.h"
#include "prism/PrismReader.h"

namespace {

ImportedModel LoadText(const std::string& text, const std::string& file_name,
                       const ImportOptions&) {
  ParseResult parsed = LoadModelText(text, file_name);
  ImportedModel result;
  result.model = std::move(parsed.model);
  result.errors = std::move(parsed.errors);
  if (result.errors.empty()) {
    result.properties = PropertyLines(result.model.properties);
  }
  return result;
}

bool SetConstant(const std::string& value, ImportOptions& options,
                 std::string* error) {
  const std::size_t equals = value.find('=');
  if (equals == std::string::npos || equals == 0) {
    *error = "--const needs NAME=VALUE, not \"" + value + "\"";
    return false;
  }
  // A name given twice with two values is refused rather than one of them
  // silently taking effect.
  const std::string name = value.substr(0, equals);
  const std::string given = value.substr(equals + 1);
  const auto [known, inserted] = options.constants.emplace(name, given);
  if (!inserted && known->second != given) {
    *error = "--const " + name + " is given twice, as " + known->second +
             " and as " + given;
    return false;
  }
  return true;
}

bool SetRewards(const std::string& value, ImportOptions& options,
                std::string* error) {
  // Left empty, the list would read as not given and keep every variable.
  if (value.empty()) {
    *error = "--rewards needs at least one name";
    return false;
  }
  options.rewards = value;
  return true;
}

bool SetProperties(const std::string& value, ImportOptions& options,
                   std::string*) {
  options.properties_file = value;
  return true;
}

bool SetPage(const std::string& value, ImportOptions& options, std::string*) {
  options.page = value;
  return true;
}

const FormatOption kConst = {"--const", "NAME=VALUE", "sets an open constant",
                             &SetConstant};
const FormatOption kRewards = {"--rewards", "NAME,...",
                               "the reward variables to keep", &SetRewards};
const FormatOption kProperties = {
    "--props", "FILE", "the property file read with the model", &SetProperties};
const FormatOption kPage = {"--page", "NAME", "the gspn page to read",
                            &SetPage};

// Every known format; the first is the default. A new importer adds its
// row here, with the options it owns.
const ModelFormat kFormats[] = {
    // name, extension, reader, second extension, options, has globals,
    // said of other formats' options
    {"san",
     ".san",
     &LoadText,
     nullptr,
     {},
     true,
     "a model text sets its globals with -O"},
    {"jani", ".jani", &ReadJani, nullptr, {&kConst}, false, nullptr},
    {"pnpro",
     ".pnpro",
     &ReadPnpro,
     ".PNPRO",
     {&kConst, &kRewards, &kPage},
     false,
     nullptr},
    {"prism",
     ".prism",
     &ReadPrism,
     ".sm",
     {&kConst, &kProperties},
     false,
     nullptr},
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool ModelFormat::Takes(const FormatOption& option) const {
  return std::find(options.begin(), options.end(), &option) != options.end();
}

std::vector<std::string> FormatNames() {
  std::vector<std::string> names;
  for (const ModelFormat& format : kFormats) names.push_back(format.name);
  return names;
}

const ModelFormat* FormatNamed(const std::string& name) {
  for (const ModelFormat& format : kFormats) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

const ModelFormat& FormatOfFile(const std::string& file_name) {
  for (const ModelFormat& format : kFormats) {
    if (EndsWith(file_name, format.extension) ||
        (format.other_extension != nullptr &&
         EndsWith(file_name, format.other_extension))) {
      return format;
    }
  }
  return kFormats[0];
}

std::vector<const FormatOption*> FormatOptions() {
  std::vector<const FormatOption*> options;
  for (const ModelFormat& format : kFormats) {
    for (const FormatOption* option : format.options) {
      if (std::find(options.begin(), options.end(), option) == options.end()) {
        options.push_back(option);
      }
    }
  }
  return options;
}

std::string FormatOptionHelp(const FormatOption& option) {
  std::string help = option.help;
  help += " (";
  bool first = true;
  for (const ModelFormat& owner : kFormats) {
    if (!owner.Takes(option)) continue;
    help += first ? "" : ", ";
    help += owner.name;
    first = false;
  }
  return help + " files)";
}
