#include "peer/PropertiesFile.h"

#include <cmath>
#include <cstdio>

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

std::vector<PropertyLine> PropertyLines(
    const std::vector<PropertyIr>& properties) {
  std::vector<PropertyLine> lines;
  for (const PropertyIr& property : properties) {
    PropertyLine line;
    line.name = property.name;
    line.fields.push_back(property.variable);
    bool timed = true;
    switch (property.kind) {
      case PropertyKindIr::kSteady:
        line.kind = "steady-state";
        timed = false;
        break;
      case PropertyKindIr::kReach:
        line.kind = "reach-probability";
        break;
      case PropertyKindIr::kReachTime:
        line.kind = "reach-time";
        timed = false;
        break;
      case PropertyKindIr::kInstant:
        line.kind = "reward-instant";
        break;
      case PropertyKindIr::kCumulative:
        line.kind = "reward-cumulative";
        break;
    }
    if (timed) {
      line.fields.push_back(property.unbounded
                                ? std::string("inf")
                                : FormatTimeField(property.time));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string FormatTimeField(double value) {
  if (std::isinf(value)) return "inf";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}
