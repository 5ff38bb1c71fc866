#ifndef GEN_TESTS_SUPPORT_DATABASEENGINES_H_
#define GEN_TESTS_SUPPORT_DATABASEENGINES_H_

#include <string>
#include <vector>

#include "database/Connection.h"

// The two engines the database tests run against.
enum class Engine { kSqlite, kPostgres };

const char* EngineName(Engine engine);

// A fresh, empty database for one test: an SQLite file in `folder`, or a
// new database `name` on the tests' own PostgreSQL server. Empty, with the
// reason in `why`, when none can be had.
std::string FreshDatabase(Engine engine, const std::string& folder,
                          const std::string& name, std::string* why);

// The rows of `sql` on `database`; a failure fails the calling test.
std::vector<SqlRow> Query(const std::string& database, const std::string& sql,
                          const std::vector<SqlValue>& params = {});

// The single value of a one-row, one-column query, "NULL" for a null.
std::string QueryValue(const std::string& database, const std::string& sql);

#endif  // GEN_TESTS_SUPPORT_DATABASEENGINES_H_
