#ifndef GEN_TESTS_SUPPORT_THROWAWAYPOSTGRES_H_
#define GEN_TESTS_SUPPORT_THROWAWAYPOSTGRES_H_

#include <string>

// A PostgreSQL server of the tests' own: initdb and pg_ctl in a fresh
// temporary folder, listening only on a Unix socket in that folder, with
// trust authentication. Run as the invoking user, or, for root (whom the
// server refuses), as the system user "postgres". The server is stopped and
// the folder removed when the object goes.
class ThrowawayPostgres {
 public:
  ThrowawayPostgres();
  ThrowawayPostgres(const ThrowawayPostgres&) = delete;
  ThrowawayPostgres& operator=(const ThrowawayPostgres&) = delete;
  ~ThrowawayPostgres();

  bool running() const { return running_; }
  // Why no server runs; empty when one does.
  const std::string& why() const { return why_; }
  // The URI of a fresh, empty database `name` on the server; empty (and
  // why() set) when it could not be created.
  std::string NewDatabase(const std::string& name);

 private:
  int Run(const std::string& program, const std::string& arguments);
  bool CopyTemplate();
  void SaveTemplate();
  std::string TemplateFolder() const;

  std::string folder_;
  std::string bin_;
  std::string why_;
  bool running_ = false;
};

// The server shared by every test of the process, started on first use.
ThrowawayPostgres& SharedPostgres();

#endif  // GEN_TESTS_SUPPORT_THROWAWAYPOSTGRES_H_
