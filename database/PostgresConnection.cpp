#include "database/PostgresConnection.h"

#include <libpq-fe.h>

#include <cmath>
#include <cstdio>
#include <utility>

#include "database/Schema.h"

namespace {

// libpq's messages run over several lines; a report is one line.
std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  for (std::size_t at = text.find('\n'); at != std::string::npos;
       at = text.find('\n', at)) {
    text.replace(at, 1, "; ");
  }
  return text;
}

std::string AsText(const SqlValue& value) {
  if (value.type == SqlValue::Type::kInteger) {
    return std::to_string(value.integer);
  }
  if (value.type == SqlValue::Type::kReal) {
    if (std::isnan(value.real)) return "NaN";
    if (std::isinf(value.real)) {
      return value.real > 0 ? "Infinity" : "-Infinity";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value.real);
    return text;
  }
  return value.text;
}

// Serialises the creation of the tables among concurrent first runs:
// CREATE TABLE IF NOT EXISTS alone can fail when two sessions race.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7216431)";

}  // namespace

std::string NumberPlaceholders(const std::string& sql) {
  std::string numbered;
  int next = 1;
  for (char c : sql) {
    if (c == '?') {
      numbered += '$' + std::to_string(next++);
    } else {
      numbered += c;
    }
  }
  return numbered;
}

PostgresConnection::PostgresConnection(pg_conn* connection, std::string shown)
    : connection_(connection), shown_(std::move(shown)) {}

PostgresConnection::~PostgresConnection() { PQfinish(connection_); }

Status PostgresConnection::Open(const std::string& uri,
                                const std::string& shown,
                                std::unique_ptr<Connection>* connection) {
  std::unique_ptr<PostgresConnection> opened(
      new PostgresConnection(PQconnectdb(uri.c_str()), shown));
  if (opened->connection_ == nullptr) {
    return Status::Error("PostgreSQL server " + shown + ": out of memory");
  }
  if (PQstatus(opened->connection_) != CONNECTION_OK) {
    return Status::Error("PostgreSQL server " + shown + ": cannot connect: " +
                         OneLine(PQerrorMessage(opened->connection_)));
  }
  // The server's notices (a ROLLBACK with nothing to undo) would reach
  // standard error past the one line a failure is allowed.
  PQsetNoticeProcessor(
      opened->connection_, [](void*, const char*) {}, nullptr);
  Status status =
      opened->Execute("SET client_min_messages = warning", {}, nullptr);
  if (!status.ok) return status;
  *connection = std::move(opened);
  return Status::Ok();
}

Status PostgresConnection::Begin() { return Execute("BEGIN", {}, nullptr); }

Status PostgresConnection::CreateSchema() {
  Status status = Begin();
  if (status.ok) status = Execute(kSchemaLock, {}, nullptr);
  for (const std::string& sql : SchemaStatements(true)) {
    if (!status.ok) break;
    status = Execute(sql, {}, nullptr);
  }
  if (status.ok) status = Commit();
  if (!status.ok) Rollback();
  return status;
}

Status PostgresConnection::Execute(const std::string& sql,
                                   const std::vector<SqlValue>& params,
                                   std::vector<SqlRow>* rows) {
  std::vector<std::string> texts;
  texts.reserve(params.size());
  for (const SqlValue& value : params) texts.push_back(AsText(value));
  std::vector<const char*> values;
  for (std::size_t i = 0; i < params.size(); ++i) {
    values.push_back(
        params[i].type == SqlValue::Type::kNull ? nullptr : texts[i].c_str());
  }
  std::unique_ptr<PGresult, void (*)(PGresult*)> result(
      PQexecParams(connection_, NumberPlaceholders(sql).c_str(),
                   static_cast<int>(values.size()), nullptr, values.data(),
                   nullptr, nullptr, 0),
      &PQclear);
  const ExecStatusType code =
      result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (code != PGRES_COMMAND_OK && code != PGRES_TUPLES_OK) {
    std::string reason = OneLine(PQerrorMessage(connection_));
    const char* state =
        result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    if (state != nullptr) reason += std::string(" (SQL state ") + state + ")";
    if (PQstatus(connection_) != CONNECTION_OK) reason += " (connection lost)";
    return Status::Error("PostgreSQL server " + shown_ + ": " + reason);
  }
  if (rows == nullptr) return Status::Ok();
  const int count = PQntuples(result.get());
  const int columns = PQnfields(result.get());
  for (int r = 0; r < count; ++r) {
    SqlRow row;
    for (int c = 0; c < columns; ++c) {
      if (PQgetisnull(result.get(), r, c)) {
        row.emplace_back();
      } else {
        row.emplace_back(std::string(PQgetvalue(result.get(), r, c),
                                     PQgetlength(result.get(), r, c)));
      }
    }
    rows->push_back(std::move(row));
  }
  return Status::Ok();
}
