#ifndef GEN_SOLVE_RUNRECORD_H_
#define GEN_SOLVE_RUNRECORD_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Status.h"

// The record a generation run publishes beside its chain (path + name +
// ".run.json"), as solve shows it: the run's header lines and, for --json,
// the whole object.
struct RunRecord {
  std::string program;
  std::string version;
  std::optional<std::string> model_file;
  std::optional<std::string> format;
  long long experiment = 0;
  std::string experiment_name;
  // Each global or constant in force and its value as the record writes it.
  std::vector<std::pair<std::string, std::string>> globals;
  std::string json;  // the object, compact
};

// Reads the record from `text`; fails, naming `file`, when it is not a JSON
// object with the members solve shows of the right types.
Status ParseRunRecord(const std::string& text, const std::string& file,
                      RunRecord* record);

// Reads the record `file`; `*record` stays empty when there is no such file.
Status ReadRunRecord(const std::string& file, std::optional<RunRecord>* record);

// The header lines of a record: "run       ..." and, when it has globals,
// "globals   name=value ...", each with its newline.
std::string RunRecordHeader(const RunRecord& record);

#endif  // GEN_SOLVE_RUNRECORD_H_
