#include "san/ModelFormats.h"

#include <algorithm>

#include "jani/JaniReader.h"
#include "pnpro/PnproReader.h"
#include "prism/PrismReader.h"

namespace {

ImportedModel LoadText(const std::string& text, const std::string& file_name,
                       const ImportOptions&) {
  ParseResult parsed = LoadModelText(text, file_name);
  ImportedModel result;
  result.model = std::move(parsed.model);
  result.errors = std::move(parsed.errors);
  return result;
}

bool SetConstant(const std::string& value, ImportOptions& options,
                 std::string* error) {
  const std::size_t equals = value.find('=');
  if (equals == std::string::npos || equals == 0) {
    *error = "--const needs NAME=VALUE, not \"" + value + "\"";
    return false;
  }
  options.constants[value.substr(0, equals)] = value.substr(equals + 1);
  return true;
}

bool SetRewards(const std::string& value, ImportOptions& options,
                std::string*) {
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

const FormatOption kConst = {
    "--const", "--const NAME=VALUE sets an open constant (repeatable)",
    &SetConstant};
const FormatOption kRewards = {
    "--rewards", "--rewards NAME,... picks the reward variables", &SetRewards};
const FormatOption kProperties = {
    "--props", "--props FILE reads the properties of FILE", &SetProperties};
const FormatOption kPage = {"--page", "--page NAME picks the gspn page",
                            &SetPage};

// Every known format; the first is the default. A new importer adds its
// row here, with the options it owns.
const ModelFormat kFormats[] = {
    {"san",
     ".san",
     &LoadText,
     nullptr,
     {},
     false,
     "a model text sets its globals with -O"},
    {"jani", ".jani", &ReadJani, nullptr, {&kConst}, true, nullptr},
    {"pnpro",
     ".pnpro",
     &ReadPnpro,
     ".PNPRO",
     {&kConst, &kRewards, &kPage},
     true,
     nullptr},
    {"prism",
     ".prism",
     &ReadPrism,
     ".sm",
     {&kConst, &kProperties},
     true,
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

const FormatOption* FormatOptionNamed(const std::string& name) {
  for (const ModelFormat& format : kFormats) {
    for (const FormatOption* option : format.options) {
      if (name == option->name) return option;
    }
  }
  return nullptr;
}

std::string FormatOptionsUsage() {
  std::string usage;
  std::vector<const FormatOption*> listed;
  for (const ModelFormat& format : kFormats) {
    for (const FormatOption* option : format.options) {
      if (std::find(listed.begin(), listed.end(), option) != listed.end()) {
        continue;
      }
      listed.push_back(option);
      usage += "  ";
      usage += option->usage;
      usage += " (";
      bool first = true;
      for (const ModelFormat& owner : kFormats) {
        if (!owner.Takes(*option)) continue;
        usage += first ? "" : ", ";
        usage += owner.name;
        first = false;
      }
      usage += " files)\n";
    }
  }
  return usage;
}
