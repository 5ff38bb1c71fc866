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
    const std::string time = property.unbounded
                                 ? std::string("inf")
                                 : FormatTimeField(property.time);
    switch (property.kind) {
      case PropertyKindIr::kSteady:
        line.kind = "steady-state";
        line.fields = {property.variable};
        break;
      case PropertyKindIr::kReach:
        if (property.interval) {
          // Reaching within [t1, t2] is the until whose condition is true.
          line.kind = "until";
          line.fields = {"-", property.variable,
                         FormatTimeField(property.start), time};
        } else {
          line.kind = "reach-probability";
          line.fields = {property.variable, time};
        }
        break;
      case PropertyKindIr::kReachTime:
        line.kind = "reach-time";
        line.fields = {property.variable};
        break;
      case PropertyKindIr::kInstant:
        line.kind = "reward-instant";
        line.fields = {property.variable, time};
        break;
      case PropertyKindIr::kCumulative:
        line.kind = "reward-cumulative";
        line.fields = {property.variable, time};
        break;
      case PropertyKindIr::kUntil:
        line.kind = "until";
        line.fields = {
            property.condition_variable.empty() ? std::string("-")
                                                : property.condition_variable,
            property.variable, FormatTimeField(property.start), time};
        break;
      case PropertyKindIr::kReachReward:
        line.kind = "reward-reach";
        line.fields = {property.variable, property.condition_variable};
        break;
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
