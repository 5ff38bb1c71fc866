#include "tests/support/DatabaseEngines.h"

#include <memory>

#include "database/DatabaseTarget.h"
#include "gtest/gtest.h"
#include "tests/support/ThrowawayPostgres.h"

const char* EngineName(Engine engine) {
  return engine == Engine::kSqlite ? "sqlite" : "postgres";
}

std::string FreshDatabase(Engine engine, const std::string& folder,
                          const std::string& name, std::string* why) {
  if (engine == Engine::kSqlite) return "sqlite:" + folder + "/" + name + ".db";
  ThrowawayPostgres& server = SharedPostgres();
  const std::string uri = server.NewDatabase(name);
  if (uri.empty()) *why = server.why();
  return uri;
}

std::vector<SqlRow> Query(const std::string& database, const std::string& sql,
                          const std::vector<SqlValue>& params) {
  std::unique_ptr<Connection> connection;
  Status status = OpenConnection(ParseDatabaseTarget(database), &connection);
  std::vector<SqlRow> rows;
  if (status.ok) status = connection->Execute(sql, params, &rows);
  EXPECT_TRUE(status.ok) << status.message;
  return rows;
}

std::string QueryValue(const std::string& database, const std::string& sql) {
  const std::vector<SqlRow> rows = Query(database, sql);
  if (rows.size() != 1 || rows[0].size() != 1) {
    ADD_FAILURE() << sql << ": " << rows.size() << " rows";
    return {};
  }
  return rows[0][0] ? *rows[0][0] : "NULL";
}
