#ifndef GEN_DATABASE_RESULTSDB_H_
#define GEN_DATABASE_RESULTSDB_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database/Connection.h"
#include "database/DatabaseTarget.h"
#include "database/RunDescription.h"

// The results database of a generation run: one row in `runs` with the
// run's description and counts, and its global variables in `globals`.
//
// The server given with -s chooses the engine (DatabaseTarget). A bare
// server name records nothing and contacts nothing: every write reports
// success and getRunId stays -1. Otherwise nothing is contacted until
// writeSSGExperInfo, which writes the run and every global variable handed
// in before it in one transaction; a false return leaves the reason in
// error().
class ResultsDB {
 public:
  // `port` -1 leaves the port to the URI; `entity` (the study the run
  // belongs to) may be null. The start time is taken here.
  ResultsDB(const char* server, int port, const char* entity);
  ResultsDB(const ResultsDB&) = delete;
  ResultsDB& operator=(const ResultsDB&) = delete;
  ~ResultsDB();

  // True when runs are really recorded (an SQLite file or a PostgreSQL
  // URI).
  bool Records() const { return target_.kind != DatabaseTarget::Kind::kNone; }

  // The run's program, model and experiment, and `path` + `name` of its
  // result files. Call before writeSSGExperInfo.
  void Describe(const RunDescription& description, const std::string& path,
                const std::string& name);
  void SetTransitions(std::uint64_t transitions) { transitions_ = transitions; }

  // Global variables in force, in order. Before writeSSGExperInfo they
  // wait to go with the run; after it they are written at once.
  bool writeGVValues(const std::vector<GlobalValue>& globals);
  bool writeSingleGV(const char* name, const char* type, double value);
  // Records the run (status "generated": its files are complete and
  // checked but not yet in place) with `number_of_states`;
  // `experiment_name` is the name its result files carry (-N).
  bool writeSSGExperInfo(const char* experiment_name,
                         unsigned long number_of_states);
  // Marks the recorded run "published" or "failed" with its end time.
  // Nothing to do (true) when no run was recorded.
  bool Finish(bool published);

  // The run's id in `runs`; -1 until it is recorded.
  std::int64_t getRunId() const { return run_id_; }
  // The reason of the last failed write, one line naming the database.
  const std::string& error() const { return error_; }

  const std::string& server() const { return server_; }
  int port() const { return port_; }

 private:
  bool Connect();
  bool Fail(const Status& status);
  Status InsertGlobals(std::size_t first);

  std::string server_;
  int port_ = -1;
  std::optional<std::string> entity_;
  DatabaseTarget target_;
  RunDescription description_;
  std::string path_;
  std::string name_;
  std::uint64_t transitions_ = 0;
  std::string started_at_;
  std::vector<GlobalValue> globals_;
  std::size_t globals_written_ = 0;
  std::unique_ptr<Connection> connection_;
  std::int64_t run_id_ = -1;
  std::string error_;
};

#endif  // GEN_DATABASE_RESULTSDB_H_
