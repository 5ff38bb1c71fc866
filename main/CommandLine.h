#ifndef GEN_MAIN_COMMANDLINE_H_
#define GEN_MAIN_COMMANDLINE_H_

#include <optional>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "run/RunSettings.h"

// What the command line asks for: the run's settings, the experiment and
// the global-variable overrides.
struct CommandLineSettings {
  RunSettings run;
  int experiment = 0;                    // -B; 0-based
  std::optional<std::string> overrides;  // -O
  // --progress and --quiet: progress lines always, or never; without
  // either, when standard error is a terminal.
  bool progress = false;
  bool quiet = false;
  // The lines gen prints as it reads -P, -O and -l, in the order of the
  // arguments, held back by GenerationOptions until the whole command line
  // has been accepted.
  std::string echo;
};

// Valid range of the -h hash value, inclusive.
inline constexpr double kMinHashValue = 0.1;
inline constexpr double kMaxHashValue = 0.9;

// Most threads --threads takes.
inline constexpr int kMaxThreads = 256;

// Reads argv[1..argc-1] into `settings`, starting from the values it has.
// Options are "-Xvalue" or "-X value", and "--threads N" or "--threads=N";
// the last repetition wins. Unknown options are reported on standard output
// and skipped. Stops at the first value that is invalid (a -B/-F/-l value
// that is not a whole 32-bit decimal number, a -h value outside 0.1..0.9, a
// --threads value outside 1..kMaxThreads) and reports it in the returned
// status: the error line for standard error, newline included; the run ends
// with 1.
Status commandline(int argc, char** argv, CommandLineSettings& settings);

// gen's options as rows of a strict command line, for the programs that
// take them beside their own (san, genbench): values that do not scan or lie
// outside their range are refused, and the lines gen prints while reading go
// to `echo`.
std::vector<Option<CommandLineSettings>> GenerationOptions();

#endif  // GEN_MAIN_COMMANDLINE_H_
