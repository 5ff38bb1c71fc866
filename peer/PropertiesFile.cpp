#include "peer/PropertiesFile.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

std::string Field(const std::string& text) {
  std::string field = text;
  for (char& c : field) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return field;
}

}  // namespace

std::string FormatPropertiesFile(const std::vector<PropertyLine>& properties) {
  std::string text = "props 1\n";
  for (const PropertyLine& property : properties) {
    text += Field(property.name) + '\t' + Field(property.kind);
    for (const std::string& field : property.fields)
      text += '\t' + Field(field);
    text += '\n';
  }
  return text;
}

Status WritePropertiesFile(const std::string& file_name,
                           const std::vector<PropertyLine>& properties) {
  std::ofstream out(file_name, std::ios::binary | std::ios::trunc);
  out << FormatPropertiesFile(properties);
  out.close();
  if (!out) {
    return Status::Error("Error: cannot write the properties file \"" +
                         file_name + "\"\n");
  }
  return Status::Ok();
}

std::string FormatTimeField(double value) {
  if (std::isinf(value)) return "inf";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}
