#ifndef GEN_DATABASE_DATABASETARGET_H_
#define GEN_DATABASE_DATABASETARGET_H_

#include <string>

// Where a run is recorded, as read from the value of -s (gen, san) or
// --db (solve).
struct DatabaseTarget {
  enum class Kind {
    kNone,      // a bare server name: nothing is contacted
    kSqlite,    // "sqlite:PATH", or a path ending in .db, .sqlite, .sqlite3
    kPostgres,  // a postgresql:// or postgres:// URI, handed to libpq
  };
  Kind kind = Kind::kNone;
  // The SQLite file, or the whole PostgreSQL URI.
  std::string location;
  // The target as messages name it: a password in a URI is replaced by
  // "***".
  std::string shown;
};

DatabaseTarget ParseDatabaseTarget(const std::string& value);

#endif  // GEN_DATABASE_DATABASETARGET_H_
