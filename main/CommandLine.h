#ifndef GEN_MAIN_COMMANDLINE_H_
#define GEN_MAIN_COMMANDLINE_H_

#include <optional>
#include <string>

// Run settings. Set only by commandline(), read by the run driver; they keep
// their values until the process ends (or ResetRunSettings()).
extern std::string gExperimentPath;  // -P; output files go under it
extern std::string gExperimentName;  // -N; stem of every file name
extern int ExpNum;                   // -B; 0-based experiment
extern std::optional<std::string> OverrideString;  // -O; global overrides
extern short flagAbsorb;                           // -a; 1 asks for absorbing
extern double hash_value;                          // -h; store tuning, 0.1..0.9
extern int TempTraceLevel;                         // -l; generator trace level
extern std::optional<std::string> db_host;         // -s; results database host
extern std::optional<std::string> db_entity;  // -e; results database entity
// Debug level of the deterministic exploration; no option sets it.
extern int GlobalDebugLevel;

// Valid range of the -h hash value, inclusive.
inline constexpr double kMinHashValue = 0.1;
inline constexpr double kMaxHashValue = 0.9;

// Outcome of the argument scan. When `ok` is false, `message` holds the error
// line for standard error (newline included) and the run must end with 1.
struct [[nodiscard]] CommandLineStatus {
  bool ok = true;
  std::string message;
};

// Reads argv[1..argc-1] into the run settings, the output file type
// (`file_type`) and the trace file name (`trace_file_name`). Options are
// "-Xvalue" or "-X value"; the last repetition wins. Unknown options are
// reported on standard output and skipped. Stops at the first value that is
// invalid (a -B/-F/-l value that is not a whole 32-bit decimal number, a -h
// value outside 0.1..0.9) and reports it in the returned status.
CommandLineStatus commandline(int argc, char** argv, int& file_type,
                              std::optional<std::string>& trace_file_name);

// Puts every run setting back to its start value; for tests.
void ResetRunSettings();

#endif  // GEN_MAIN_COMMANDLINE_H_
