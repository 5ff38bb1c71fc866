#include "database/ResultsDB.h"

#include <cstdlib>
#include <utility>

#include "database/RecordTime.h"

ResultsDB::ResultsDB(const char* server, int port, const char* entity)
    : server_(server != nullptr ? server : ""),
      target_(ParseDatabaseTarget(server_)),
      started_at_(UtcNow()) {
  if (port != -1) port_ = port;
  if (entity != nullptr) entity_ = entity;
}

ResultsDB::~ResultsDB() = default;

void ResultsDB::Describe(const RunDescription& description,
                         const std::string& path, const std::string& name) {
  description_ = description;
  path_ = path;
  name_ = name;
}

bool ResultsDB::Fail(const Status& status) {
  error_ = status.message;
  // A connection that failed mid-transaction is not reused.
  if (connection_) connection_->Rollback();
  return false;
}

bool ResultsDB::Connect() {
  if (connection_) return true;
  std::unique_ptr<Connection> connection;
  Status status = OpenConnection(target_, &connection);
  if (status.ok) status = connection->CreateSchema();
  if (!status.ok) {
    error_ = status.message;
    return false;
  }
  connection_ = std::move(connection);
  return true;
}

Status ResultsDB::InsertGlobals(std::size_t first) {
  for (std::size_t i = first; i < globals_.size(); ++i) {
    const GlobalValue& global = globals_[i];
    const Status status = connection_->Execute(
        "INSERT INTO globals (run_id, position, name, type, value) "
        "VALUES (?, ?, ?, ?, ?)",
        {SqlValue::Integer(run_id_),
         SqlValue::Integer(static_cast<std::int64_t>(i)),
         SqlValue::Text(global.name), SqlValue::Text(global.type),
         SqlValue::Real(global.value)});
    if (!status.ok) return status;
  }
  globals_written_ = globals_.size();
  return Status::Ok();
}

bool ResultsDB::writeGVValues(const std::vector<GlobalValue>& globals) {
  for (const GlobalValue& global : globals) {
    if (!writeSingleGV(global.name.c_str(), global.type.c_str(),
                       global.value)) {
      return false;
    }
  }
  return true;
}

bool ResultsDB::writeSingleGV(const char* name, const char* type,
                              double value) {
  if (!Records()) return true;
  globals_.push_back({name, type, value});
  if (run_id_ < 0) return true;
  const Status status = InsertGlobals(globals_written_);
  return status.ok || Fail(status);
}

bool ResultsDB::writeSSGExperInfo(const char* experiment_name,
                                  unsigned long number_of_states) {
  if (!Records()) return true;
  if (!Connect()) return false;
  Status status = connection_->Begin();
  if (!status.ok) return Fail(status);
  std::vector<SqlRow> id;
  status = connection_->Execute(
      "INSERT INTO runs (entity, program, version, model_file, model_sha256, "
      "experiment, experiment_name, result_path, result_name, result_base, "
      "states, transitions, started_at, status) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 'generated') "
      "RETURNING id",
      {SqlValue::Text(entity_), SqlValue::Text(description_.program),
       SqlValue::Text(description_.version),
       SqlValue::Text(description_.model_file),
       SqlValue::Text(description_.model_sha256),
       SqlValue::Integer(description_.experiment),
       SqlValue::Text(description_.experiment_name), SqlValue::Text(path_),
       SqlValue::Text(experiment_name != nullptr ? std::string(experiment_name)
                                                 : name_),
       SqlValue::Text(CanonicalResultBase(path_ + name_)),
       SqlValue::Integer(static_cast<std::int64_t>(number_of_states)),
       SqlValue::Integer(static_cast<std::int64_t>(transitions_)),
       SqlValue::Text(started_at_)},
      &id);
  if (!status.ok) return Fail(status);
  if (id.size() != 1 || !id[0].at(0)) {
    return Fail(Status::Error("no id came back for the new run"));
  }
  run_id_ = std::strtoll(id[0][0]->c_str(), nullptr, 10);
  status = InsertGlobals(0);
  if (status.ok) status = connection_->Commit();
  if (!status.ok) {
    run_id_ = -1;
    return Fail(status);
  }
  return true;
}

bool ResultsDB::Finish(bool published) {
  if (run_id_ < 0 || !connection_) return true;
  const Status status = connection_->Execute(
      "UPDATE runs SET status = ?, finished_at = ? WHERE id = ?",
      {SqlValue::Text(std::string(published ? "published" : "failed")),
       SqlValue::Text(UtcNow()), SqlValue::Integer(run_id_)});
  return status.ok || Fail(status);
}
