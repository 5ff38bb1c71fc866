#include "tests/support/ThrowawayPostgres.h"

#include <fcntl.h>
#include <glob.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "database/Connection.h"
#include "database/DatabaseTarget.h"
#include "tests/support/RunProcess.h"

namespace {

// The folder of initdb: $GEN_PG_BIN, the newest Debian cluster version,
// or the search path.
std::string FindBin() {
  if (const char* bin = std::getenv("GEN_PG_BIN")) return bin;
  glob_t found{};
  std::string bin;
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 &&
      found.gl_pathc > 0) {
    // glob sorts; the last is the newest (single-digit versions aside, one
    // is installed).
    bin = found.gl_pathv[found.gl_pathc - 1];
    bin.erase(bin.rfind('/'));
  }
  globfree(&found);
  return bin;
}

constexpr const char* kPort = "5432";  // names the socket file only

}  // namespace

ThrowawayPostgres::ThrowawayPostgres() {
  bin_ = FindBin();
  const std::string initdb = bin_.empty() ? "initdb" : bin_ + "/initdb";
  if (!bin_.empty() && access(initdb.c_str(), X_OK) != 0) {
    why_ = "no PostgreSQL server programs (" + initdb +
           "; install the Debian package postgresql)";
    return;
  }
  if (bin_.empty()) {
    why_ =
        "no PostgreSQL server programs (install the Debian package "
        "postgresql, or name their folder in GEN_PG_BIN)";
    return;
  }
  std::string pattern = "/tmp/gen-pg-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    why_ = "cannot make a temporary folder";
    return;
  }
  folder_ = pattern;
  if (geteuid() == 0) {
    const passwd* user = getpwnam("postgres");
    if (user == nullptr) {
      why_ =
          "running as root and there is no user \"postgres\" to run the "
          "server as";
      return;
    }
    if (chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
      why_ = "cannot hand " + folder_ + " to the user postgres";
      return;
    }
  }
  if (!CopyTemplate()) {
    if (Run(initdb, "-D " + folder_ +
                        "/data -A trust -U postgres -E UTF8 --locale=C "
                        "--no-sync") != 0) {
      why_ = "initdb failed: " + ReadWholeFile(folder_ + "/log");
      return;
    }
    SaveTemplate();
  }
  if (Run(bin_ + "/pg_ctl",
          "-D " + folder_ + "/data -l " + folder_ + "/server.log -w -o \"-k " +
              folder_ + " -p " + kPort +
              " -c listen_addresses= -c fsync=off\" start") != 0) {
    why_ = "pg_ctl could not start the server: " +
           ReadWholeFile(folder_ + "/server.log");
    return;
  }
  running_ = true;
}

ThrowawayPostgres::~ThrowawayPostgres() {
  if (running_) {
    (void)Run(bin_ + "/pg_ctl", "-D " + folder_ + "/data -m immediate -w stop");
  }
  if (!folder_.empty()) {
    (void)std::system(("rm -rf '" + folder_ + "'").c_str());
  }
}

// initdb takes seconds and every test process starts a server of its own:
// the first one's fresh cluster is kept in the build folder, and the others
// start from a copy. A half-written template is never seen: it is copied
// under a temporary name and renamed into place.
bool ThrowawayPostgres::CopyTemplate() {
  const std::string source = TemplateFolder();
  if (source.empty() || access((source + "/PG_VERSION").c_str(), R_OK) != 0) {
    return false;
  }
  if (std::system(("cp -a '" + source + "' '" + folder_ + "/data'").c_str()) !=
      0) {
    (void)std::system(("rm -rf '" + folder_ + "/data'").c_str());
    return false;
  }
  return geteuid() != 0 ||
         std::system(("chown -R postgres: '" + folder_ + "/data'").c_str()) ==
             0;
}

void ThrowawayPostgres::SaveTemplate() {
  const std::string target = TemplateFolder();
  if (target.empty()) return;
  const std::string partial = target + "." + std::to_string(getpid());
  (void)std::system(("cp -a '" + folder_ + "/data' '" + partial +
                     "' 2>/dev/null && mv -T '" + partial + "' '" + target +
                     "' 2>/dev/null; rm -rf '" + partial + "'")
                        .c_str());
}

std::string ThrowawayPostgres::TemplateFolder() const {
#ifdef GEN_PG_TEMPLATE_DIR
  return GEN_PG_TEMPLATE_DIR;
#else
  return {};
#endif
}

int ThrowawayPostgres::Run(const std::string& program,
                           const std::string& arguments) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (geteuid() == 0) {
      const passwd* user = getpwnam("postgres");
      if (user == nullptr || setgid(user->pw_gid) != 0 ||
          setuid(user->pw_uid) != 0) {
        _exit(126);
      }
    }
    // The server's user may not be able to enter the tests' folder.
    if (chdir(folder_.c_str()) != 0) _exit(126);
    const int log =
        open((folder_ + "/log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log >= 0) {
      dup2(log, 1);
      dup2(log, 2);
    }
    setenv("LC_ALL", "C", 1);
    const std::string command = "exec '" + program + "' " + arguments;
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string ThrowawayPostgres::NewDatabase(const std::string& name) {
  if (!running_) return {};
  const std::string base = "postgresql:///";
  const std::string options =
      "?host=" + folder_ + "&port=" + kPort + "&user=postgres";
  std::unique_ptr<Connection> admin;
  Status status =
      OpenConnection(ParseDatabaseTarget(base + "postgres" + options), &admin);
  if (status.ok) status = admin->Execute("DROP DATABASE IF EXISTS " + name);
  if (status.ok) status = admin->Execute("CREATE DATABASE " + name);
  if (!status.ok) {
    why_ = status.message;
    return {};
  }
  return base + name + options;
}

ThrowawayPostgres& SharedPostgres() {
  static ThrowawayPostgres server;
  return server;
}
