#ifndef GEN_DATABASE_POSTGRESCONNECTION_H_
#define GEN_DATABASE_POSTGRESCONNECTION_H_

#include <memory>
#include <string>
#include <vector>

#include "database/Connection.h"

struct pg_conn;

// A results database on a PostgreSQL server, reached through libpq with
// the URI as given (host, port, user, database and options all come from
// it). Statements are sent with their values apart (PQexecParams).
class PostgresConnection : public Connection {
 public:
  // Connects to `uri`; `shown` names the server in messages. On failure
  // `connection` stays empty.
  static Status Open(const std::string& uri, const std::string& shown,
                     std::unique_ptr<Connection>* connection);
  ~PostgresConnection() override;

  Status Execute(const std::string& sql, const std::vector<SqlValue>& params,
                 std::vector<SqlRow>* rows) override;
  Status Begin() override;
  Status CreateSchema() override;

 private:
  PostgresConnection(pg_conn* connection, std::string shown);

  pg_conn* connection_;
  std::string shown_;
};

// `sql` with its `?` placeholders numbered $1, $2, ... (the statements
// written here hold no `?` inside quotes).
std::string NumberPlaceholders(const std::string& sql);

#endif  // GEN_DATABASE_POSTGRESCONNECTION_H_
