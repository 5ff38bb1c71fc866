#include "san/ModelFormats.h"

namespace {

// Every known format; the first is the default. A new importer adds its
// row here.
const ModelFormat kFormats[] = {
    {"san", ".san", &LoadModelText},
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

const ModelFormat* FormatNamed(const std::string& name) {
  for (const ModelFormat& format : kFormats) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

const ModelFormat& FormatOfFile(const std::string& file_name) {
  for (const ModelFormat& format : kFormats) {
    if (EndsWith(file_name, format.extension)) return format;
  }
  return kFormats[0];
}
