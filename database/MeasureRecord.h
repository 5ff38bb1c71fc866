#ifndef GEN_DATABASE_MEASURERECORD_H_
#define GEN_DATABASE_MEASURERECORD_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Status.h"

// One measure as the solver printed it.
struct MeasureRow {
  std::string measure;  // steady-state, instant, accumulated, property, ...
  std::string subject;  // the reward variable, class or property
  std::optional<double> time_start;
  std::optional<double> time_stop;
  std::optional<double> value;  // none when it could not be computed
  std::optional<double> bound;
  std::string method;
};

// Records `rows` in the database `db` (an -s value naming a database)
// against run `run_id`, or, when none is given, against the latest
// published run whose result files are `path_and_name`. All rows go in
// one transaction. On success `recorded_run` is the run's id.
Status RecordMeasures(const std::string& db, std::optional<std::int64_t> run_id,
                      const std::string& path_and_name,
                      const std::vector<MeasureRow>& rows,
                      std::int64_t* recorded_run);

#endif  // GEN_DATABASE_MEASURERECORD_H_
