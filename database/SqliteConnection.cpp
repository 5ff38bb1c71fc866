#include "database/SqliteConnection.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>
#include <utility>

#include "database/Schema.h"

SqliteConnection::SqliteConnection(sqlite3* db, std::string path)
    : db_(db), path_(std::move(path)) {}

SqliteConnection::~SqliteConnection() { sqlite3_close_v2(db_); }

Status SqliteConnection::Failure(const std::string& what) const {
  return Status::Error("SQLite file " + path_ + ": " + what + ": " +
                       sqlite3_errmsg(db_) + " (SQLite code " +
                       std::to_string(sqlite3_extended_errcode(db_)) + ")");
}

Status SqliteConnection::Open(const std::string& path,
                              std::unique_ptr<Connection>* connection) {
  if (path.empty()) {
    return Status::Error("SQLite: no file named after \"sqlite:\"");
  }
  sqlite3* db = nullptr;
  const int code = sqlite3_open_v2(
      path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<SqliteConnection> opened(
      new SqliteConnection(db, path));  // owns db even when the open failed
  if (code != SQLITE_OK) return opened->Failure("cannot open");
  sqlite3_busy_timeout(db, kBusyMilliseconds);
  Status status = opened->Execute("PRAGMA foreign_keys = ON", {}, nullptr);
  // Readers never block writers and writers queue on the log's lock; the
  // mode is stored in the file, so only the first run pays for it.
  // Switching a new file to the log takes an exclusive lock from a shared
  // one; when several runs do it at once, SQLite refuses all but one with
  // "database is locked" at once, without its busy handler (each would wait
  // for the other). The losers try again until the busy timeout is spent.
  std::vector<SqlRow> mode;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(kBusyMilliseconds);
  for (int attempt = 0; status.ok; ++attempt) {
    mode.clear();
    status = opened->Execute("PRAGMA journal_mode = WAL", {}, &mode);
    if (status.ok || sqlite3_errcode(db) != SQLITE_BUSY ||
        std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    status = Status::Ok();
    std::this_thread::sleep_for(std::chrono::milliseconds(1 + attempt % 20));
  }
  if (!status.ok) return status;
  *connection = std::move(opened);
  return Status::Ok();
}

Status SqliteConnection::Begin() {
  return Execute("BEGIN IMMEDIATE", {}, nullptr);
}

Status SqliteConnection::CreateSchema() {
  Status status = Begin();
  if (!status.ok) return status;
  for (const std::string& sql : SchemaStatements(false)) {
    status = Execute(sql, {}, nullptr);
    if (!status.ok) {
      Rollback();
      return status;
    }
  }
  status = Commit();
  if (!status.ok) Rollback();
  return status;
}

Status SqliteConnection::Execute(const std::string& sql,
                                 const std::vector<SqlValue>& params,
                                 std::vector<SqlRow>* rows) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw,
                         nullptr) != SQLITE_OK) {
    return Failure("cannot prepare a statement");
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(
      raw, &sqlite3_finalize);
  for (std::size_t i = 0; i < params.size(); ++i) {
    const SqlValue& value = params[i];
    const int index = static_cast<int>(i) + 1;
    int code = SQLITE_OK;
    switch (value.type) {
      case SqlValue::Type::kNull:
        code = sqlite3_bind_null(raw, index);
        break;
      case SqlValue::Type::kText:
        code = sqlite3_bind_text(raw, index, value.text.data(),
                                 static_cast<int>(value.text.size()),
                                 SQLITE_TRANSIENT);
        break;
      case SqlValue::Type::kInteger:
        code = sqlite3_bind_int64(raw, index, value.integer);
        break;
      case SqlValue::Type::kReal:
        code = sqlite3_bind_double(raw, index, value.real);
        break;
    }
    if (code != SQLITE_OK) return Failure("cannot bind a value");
  }
  while (true) {
    const int code = sqlite3_step(raw);
    if (code == SQLITE_DONE) return Status::Ok();
    if (code != SQLITE_ROW) return Failure("a statement failed");
    if (rows == nullptr) continue;
    SqlRow row;
    const int columns = sqlite3_column_count(raw);
    for (int c = 0; c < columns; ++c) {
      const unsigned char* text = sqlite3_column_text(raw, c);
      if (text == nullptr) {
        row.emplace_back();
      } else {
        row.emplace_back(std::string(reinterpret_cast<const char*>(text),
                                     sqlite3_column_bytes(raw, c)));
      }
    }
    rows->push_back(std::move(row));
  }
}
