#include "database/Connection.h"

#include "database/PostgresConnection.h"
#include "database/SqliteConnection.h"

Status OpenConnection(const DatabaseTarget& target,
                      std::unique_ptr<Connection>* connection) {
  switch (target.kind) {
    case DatabaseTarget::Kind::kSqlite:
      return SqliteConnection::Open(target.location, connection);
    case DatabaseTarget::Kind::kPostgres:
      return PostgresConnection::Open(target.location, target.shown,
                                      connection);
    case DatabaseTarget::Kind::kNone:
      break;
  }
  return Status::Error(target.shown + " is not a database URI or file");
}
