#ifndef GEN_DATABASE_CONNECTION_H_
#define GEN_DATABASE_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Status.h"
#include "database/DatabaseTarget.h"

// One value bound to a statement's placeholder. Values are always bound,
// never spliced into the text, so names with quotes, semicolons or
// newlines are stored as given.
struct SqlValue {
  enum class Type { kNull, kText, kInteger, kReal };
  Type type = Type::kNull;
  std::string text;
  std::int64_t integer = 0;
  double real = 0;

  static SqlValue Null() { return {}; }
  static SqlValue Text(std::string value) {
    SqlValue v;
    v.type = Type::kText;
    v.text = std::move(value);
    return v;
  }
  static SqlValue Text(const std::optional<std::string>& value) {
    return value ? Text(*value) : Null();
  }
  static SqlValue Integer(std::int64_t value) {
    SqlValue v;
    v.type = Type::kInteger;
    v.integer = value;
    return v;
  }
  static SqlValue Real(double value) {
    SqlValue v;
    v.type = Type::kReal;
    v.real = value;
    return v;
  }
};

// A result row: each column as text; a NULL is absent.
using SqlRow = std::vector<std::optional<std::string>>;

// An open connection to a results database. The statements are written with
// `?` placeholders, numbered in order. A failure's status carries one line
// (no newline) naming the reason: the file, the server, the SQL state.
class Connection {
 public:
  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  virtual ~Connection() = default;

  // Runs one statement; its rows are appended to `rows` when given.
  virtual Status Execute(const std::string& sql,
                         const std::vector<SqlValue>& params = {},
                         std::vector<SqlRow>* rows = nullptr) = 0;
  // Starts a transaction that holds the right to write from its start, so
  // that concurrent writers queue instead of failing half-way.
  virtual Status Begin() = 0;
  Status Commit() { return Execute("COMMIT"); }
  // Undoes an open transaction; errors are ignored (the connection may be
  // gone).
  void Rollback() { (void)Execute("ROLLBACK"); }
  // Creates the tables that are missing. Safe against other writers doing
  // the same at the same time.
  virtual Status CreateSchema() = 0;
};

// Opens the database `target` names (not kNone). On failure `connection`
// stays empty and the status says why.
Status OpenConnection(const DatabaseTarget& target,
                      std::unique_ptr<Connection>* connection);

#endif  // GEN_DATABASE_CONNECTION_H_
