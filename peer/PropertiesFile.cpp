#include "peer/PropertiesFile.h"

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
