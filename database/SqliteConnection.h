#ifndef GEN_DATABASE_SQLITECONNECTION_H_
#define GEN_DATABASE_SQLITECONNECTION_H_

#include <memory>
#include <string>
#include <vector>

#include "database/Connection.h"

struct sqlite3;

// A results database in one SQLite file. The file is created when missing
// and kept in write-ahead-log mode; a writer that finds the file locked
// waits (up to kBusyMilliseconds) instead of failing, so the runs of a
// sweep can record into one file at the same time.
class SqliteConnection : public Connection {
 public:
  static constexpr int kBusyMilliseconds = 60000;

  // Opens or creates `path`. On failure `connection` stays empty.
  static Status Open(const std::string& path,
                     std::unique_ptr<Connection>* connection);
  ~SqliteConnection() override;

  Status Execute(const std::string& sql, const std::vector<SqlValue>& params,
                 std::vector<SqlRow>* rows) override;
  Status Begin() override;
  Status CreateSchema() override;

 private:
  SqliteConnection(sqlite3* db, std::string path);
  Status Failure(const std::string& what) const;

  sqlite3* db_;
  std::string path_;
};

#endif  // GEN_DATABASE_SQLITECONNECTION_H_
