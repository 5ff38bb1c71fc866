#ifndef GEN_RUN_RUNSETTINGS_H_
#define GEN_RUN_RUNSETTINGS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "database/RunDescription.h"

// How one generation run is to be made: where its files go and how it is
// traced. Filled from the command line (main/) or by a program or test.
struct RunSettings {
  // Output files are path + name + ".arm" etc., joined with no separator.
  std::string path;
  std::string name;
  bool report_absorbing = false;  // -a
  double hash_value = 0.5;        // -h: the store's load factor, 0.1..0.9
  // --threads: threads that explore; 0 means one per core of the machine.
  // Trace levels above 0 and -a explore on one thread.
  int threads = 0;
  int file_type = 1;    // -F: accepted; generation writes type 1
  int trace_level = 0;  // -l: 0 to 4
  std::optional<std::string> trace_file;  // -t; none: standard output
  // -s: the results database (an SQLite file or a PostgreSQL URI; any
  // other name records nothing) and -e: the study the run belongs to.
  std::optional<std::string> db_server;
  std::optional<std::string> db_entity;
  // What the results database records about the run besides its counts.
  RunDescription record;
  // The whole text of the properties file (path + name + ".props")
  // published with the chain; without one, a properties file an earlier
  // run left under this path and name is removed with the publication.
  std::optional<std::string> properties;
  // --max-states: numbering a state past this ends the run with an error
  // and publishes nothing; 1..4294967294.
  std::optional<std::uint32_t> max_states;
  // Progress lines on standard error while exploring (san and genbench:
  // --progress, or standard error on a terminal, unless --quiet).
  bool progress = false;
  // Writes the marking of every state as path + name + ".states" (san
  // --states). A run that writes none removes one an earlier run left
  // there, with the publication: it would describe another chain.
  bool states = false;
  // Publishes `record` with its counts and times as path + name +
  // ".run.json" (san); without it, removes one an earlier run left there.
  bool run_record = false;
  // Writes every rate of the .arm in as many digits as read back to it
  // exactly (san): the bytes of "%.10e" wherever its eleven digits already
  // do. gen and genbench keep "%.10e" throughout.
  bool exact_rates = false;
  // Ends the texts of files that cannot be opened with the file's name
  // (san). gen keeps its fixed texts, which controlling processes match.
  bool name_open_failures = false;
};

#endif  // GEN_RUN_RUNSETTINGS_H_
