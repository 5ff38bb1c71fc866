#include "solve/RunRecord.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

// Ordered: --json shows the members in the order the record has them.
using Json = nlohmann::ordered_json;

Status Malformed(const std::string& file, const std::string& why) {
  return Status::Error(file + ": not a run record: " + why);
}

// Reads the string member `name`, which may be null when `optional`.
bool StringMember(const Json& object, const char* name, bool optional,
                  std::optional<std::string>* value) {
  const auto found = object.find(name);
  if (found == object.end()) return false;
  if (found->is_null()) return optional;
  if (!found->is_string()) return false;
  *value = found->get<std::string>();
  return true;
}

}  // namespace

Status ParseRunRecord(const std::string& text, const std::string& file,
                      RunRecord* record) {
  // No exceptions: a parse error gives a discarded value.
  const Json object = Json::parse(text, nullptr, false);
  if (object.is_discarded()) return Malformed(file, "not valid JSON");
  if (!object.is_object()) return Malformed(file, "not a JSON object");
  RunRecord read;
  std::optional<std::string> program;
  std::optional<std::string> version;
  std::optional<std::string> experiment_name;
  if (!StringMember(object, "program", false, &program) ||
      !StringMember(object, "version", false, &version) ||
      !StringMember(object, "model_file", true, &read.model_file) ||
      !StringMember(object, "format", true, &read.format) ||
      !StringMember(object, "experiment_name", false, &experiment_name)) {
    return Malformed(file,
                     "program, version, model_file, format or "
                     "experiment_name missing or not a string");
  }
  read.program = *program;
  read.version = *version;
  read.experiment_name = *experiment_name;
  const auto experiment = object.find("experiment");
  if (experiment == object.end() || !experiment->is_number_integer()) {
    return Malformed(file, "experiment missing or not a whole number");
  }
  read.experiment = experiment->get<long long>();
  const auto globals = object.find("globals");
  if (globals == object.end() || !globals->is_array()) {
    return Malformed(file, "globals missing or not an array");
  }
  for (const Json& global : *globals) {
    if (!global.is_object()) return Malformed(file, "a global is no object");
    const auto name = global.find("name");
    const auto value = global.find("value");
    if (name == global.end() || !name->is_string() || value == global.end() ||
        !(value->is_number() || value->is_string())) {
      return Malformed(file, "a global without a name or a value");
    }
    read.globals.emplace_back(
        name->get<std::string>(),
        value->is_string() ? value->get<std::string>() : value->dump());
  }
  read.json = object.dump();
  *record = std::move(read);
  return Status::Ok();
}

Status ReadRunRecord(const std::string& file,
                     std::optional<RunRecord>* record) {
  record->reset();
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return Status::Ok();
    return Status::Error(file + ": cannot be read: " + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return Status::Error(file + ": cannot be read");
  RunRecord read;
  const Status status = ParseRunRecord(text.str(), file, &read);
  if (!status.ok) return status;
  *record = std::move(read);
  return Status::Ok();
}

std::string RunRecordHeader(const RunRecord& record) {
  std::string text = "run       " + record.program + ' ' + record.version;
  if (record.model_file) {
    text += " of " + *record.model_file;
    if (record.format) text += " (" + *record.format + ')';
  }
  text += ", experiment " + std::to_string(record.experiment);
  if (!record.experiment_name.empty()) {
    text += " \"" + record.experiment_name + '"';
  }
  text += '\n';
  if (!record.globals.empty()) {
    text += "globals  ";
    for (const auto& [name, value] : record.globals) {
      text += ' ' + name + '=' + value;
    }
    text += '\n';
  }
  return text;
}
