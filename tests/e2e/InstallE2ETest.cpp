// An install into a fresh prefix: the programs, the sweep scripts and the
// example models land where the README says, and the installed programs run
// from there.

#include <sys/stat.h>

#include <string>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         (info.st_mode & S_IXUSR) != 0;
}

TEST(InstallE2ETest, InstallsProgramsScriptsAndModelsThatRun) {
  ScopedTempDir prefix;
  const ProcessResult install =
      RunProcess(CMAKE_COMMAND,
                 {"--install", GEN_BUILD_DIR, "--prefix", prefix.path()}, ".");
  ASSERT_EQ(install.exit_code, 0) << install.err;
  const std::string bin = prefix.path() + "/bin/";
  for (const char* program :
       {"gen", "san", "solve", "genbench", "sweep.sh", "unreliability.sh"}) {
    SCOPED_TRACE(program);
    EXPECT_TRUE(IsExecutableFile(bin + program));
  }
  const std::string models = prefix.path() + "/share/gen/models/";
  for (const char* model :
       {"failure.san", "repair.san", "jani/relay.jani", "pnpro/fms.pnpro"}) {
    SCOPED_TRACE(model);
    EXPECT_FALSE(ReadWholeFile(models + model).empty());
  }

  const ProcessResult version = RunProcess(bin + "san", {"--version"}, ".");
  EXPECT_EQ(version.exit_code, 0);
  ScopedTempDir out;
  const ProcessResult san = RunProcess(
      bin + "san", {models + "repair.san", "-P", out.path() + "/", "-Nr"}, ".");
  ASSERT_EQ(san.exit_code, 0) << san.err;
  const ProcessResult solve =
      RunProcess(bin + "solve", {"-P", out.path() + "/", "-Nr"}, ".");
  EXPECT_EQ(solve.exit_code, 0) << solve.err;
  EXPECT_NE(solve.out.find("all_down"), std::string::npos) << solve.out;
}

}  // namespace
