#include "run/RunRecordFile.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "output/JsonText.h"

namespace {

// The shortest text that reads back to `value` (0.1, not
// 0.10000000000000001); JsonNumber's forms for the values JSON lacks.
std::string ShortestNumber(double value) {
  if (!std::isfinite(value)) return JsonNumber(value);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string OptionalString(const std::optional<std::string>& text) {
  return text ? JsonString(*text) : std::string("null");
}

}  // namespace

void WriteRunRecord(const RunDescription& description, const RunCounts& counts,
                    std::ostream& out) {
  // Member names are read by solve and by scripts; never rename them.
  out << "{\n  \"program\": " << JsonString(description.program)
      << ",\n  \"version\": " << JsonString(description.version)
      << ",\n  \"model_file\": " << OptionalString(description.model_file)
      << ",\n  \"model_sha256\": " << OptionalString(description.model_sha256)
      << ",\n  \"format\": " << OptionalString(description.model_format)
      << ",\n  \"experiment\": " << description.experiment
      << ",\n  \"experiment_name\": " << JsonString(description.experiment_name)
      << ",\n  \"globals\": [";
  const char* separator = "\n    ";
  std::vector<GlobalValue> values = description.globals;
  values.insert(values.end(), description.constants.begin(),
                description.constants.end());
  for (const GlobalValue& global : values) {
    out << separator << "{\"name\": " << JsonString(global.name)
        << ", \"type\": " << JsonString(global.type)
        << ", \"value\": " << ShortestNumber(global.value) << '}';
    separator = ",\n    ";
  }
  out << (values.empty() ? "]" : "\n  ]")
      << ",\n  \"states\": " << counts.states
      << ",\n  \"transitions\": " << counts.transitions
      << ",\n  \"cpu_seconds\": " << ShortestNumber(counts.cpu_seconds)
      << ",\n  \"wall_seconds\": " << ShortestNumber(counts.wall_seconds)
      << "\n}\n";
}
