#include "run/RunRecordFile.h"

#include <optional>
#include <string>
#include <vector>

#include "output/JsonText.h"

namespace {

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
        << ", \"value\": " << JsonNumber(global.value) << '}';
    separator = ",\n    ";
  }
  out << (values.empty() ? "]" : "\n  ]")
      << ",\n  \"states\": " << counts.states
      << ",\n  \"transitions\": " << counts.transitions
      << ",\n  \"cpu_seconds\": " << JsonNumber(counts.cpu_seconds)
      << ",\n  \"wall_seconds\": " << JsonNumber(counts.wall_seconds)
      << "\n}\n";
}
