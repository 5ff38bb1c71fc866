#include "san/ModelFormats.h"

#include "jani/JaniReader.h"
#include "peer/PropertiesFile.h"
#include "pnpro/PnproReader.h"

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

// Every known format; the first is the default. A new importer adds its
// row here.
const ModelFormat kFormats[] = {
    {"san", ".san", &LoadText},
    {"jani", ".jani", &ReadJani},
    {"pnpro", ".pnpro", &ReadPnpro, ".PNPRO"},
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

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
