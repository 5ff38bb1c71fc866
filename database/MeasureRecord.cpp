#include "database/MeasureRecord.h"

#include <cstdlib>
#include <memory>

#include "database/Connection.h"
#include "database/DatabaseTarget.h"
#include "database/RecordTime.h"

namespace {

SqlValue Real(const std::optional<double>& value) {
  return value ? SqlValue::Real(*value) : SqlValue::Null();
}

}  // namespace

Status RecordMeasures(const std::string& db, std::optional<std::int64_t> run_id,
                      const std::string& path_and_name,
                      const std::vector<MeasureRow>& rows,
                      std::int64_t* recorded_run) {
  const DatabaseTarget target = ParseDatabaseTarget(db);
  if (target.kind == DatabaseTarget::Kind::kNone) {
    return Status::Error("\"" + db +
                         "\" names no database: give sqlite:PATH, a file "
                         "ending in .db, .sqlite or .sqlite3, or a "
                         "postgresql:// URI");
  }
  std::unique_ptr<Connection> connection;
  Status status = OpenConnection(target, &connection);
  if (status.ok) status = connection->CreateSchema();
  if (!status.ok) return status;

  std::vector<SqlRow> found;
  if (run_id) {
    status = connection->Execute("SELECT id FROM runs WHERE id = ?",
                                 {SqlValue::Integer(*run_id)}, &found);
  } else {
    status = connection->Execute(
        "SELECT id FROM runs WHERE result_base = ? AND status = 'published' "
        "ORDER BY id DESC LIMIT 1",
        {SqlValue::Text(CanonicalResultBase(path_and_name))}, &found);
  }
  if (!status.ok) return status;
  if (found.empty() || !found[0].at(0)) {
    return Status::Error(
        run_id ? target.shown + " holds no run " + std::to_string(*run_id)
               : target.shown + " holds no published run that wrote " +
                     path_and_name + "; give its id with --run");
  }
  const std::int64_t id = std::strtoll(found[0][0]->c_str(), nullptr, 10);

  const std::string solved_at = UtcNow();
  status = connection->Begin();
  for (std::size_t i = 0; i < rows.size() && status.ok; ++i) {
    const MeasureRow& row = rows[i];
    status = connection->Execute(
        "INSERT INTO measures (run_id, position, measure, subject, "
        "time_start, time_stop, value, bound, method, solved_at) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {SqlValue::Integer(id), SqlValue::Integer(static_cast<std::int64_t>(i)),
         SqlValue::Text(row.measure), SqlValue::Text(row.subject),
         Real(row.time_start), Real(row.time_stop), Real(row.value),
         Real(row.bound),
         row.method.empty() ? SqlValue::Null() : SqlValue::Text(row.method),
         SqlValue::Text(solved_at)});
  }
  if (status.ok) status = connection->Commit();
  if (!status.ok) {
    connection->Rollback();
    return status;
  }
  *recorded_run = id;
  return Status::Ok();
}
