#ifndef GEN_RUN_RUNRECORDFILE_H_
#define GEN_RUN_RUNRECORDFILE_H_

#include <cstdint>
#include <ostream>

#include "database/RunDescription.h"

// What a finished run found and how long it took.
struct RunCounts {
  std::uint32_t states = 0;
  std::uint64_t transitions = 0;
  double cpu_seconds = 0;   // user + system, as the summary line prints it
  double wall_seconds = 0;  // from the start of the run to its summary
};

// Writes the run's record (the .run.json file) as one JSON object, one
// member a line: program, version, model_file, model_sha256, format (null
// when the run had none), experiment, experiment_name, globals (an array of
// {name, type, value} in the study's order, then the constants), states,
// transitions,
// cpu_seconds, wall_seconds. Numbers are the shortest text that reads
// back to the same double.
void WriteRunRecord(const RunDescription& description, const RunCounts& counts,
                    std::ostream& out);

#endif  // GEN_RUN_RUNRECORDFILE_H_
