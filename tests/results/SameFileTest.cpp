#include "results/SameFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

TEST(SameFileTest, NamesLeadingToOneFile) {
  ScopedTempDir dir;
  const std::string d = dir.path();
  std::ofstream(d + "/a") << "a";
  std::ofstream(d + "/b") << "b";
  ASSERT_EQ(link((d + "/a").c_str(), (d + "/hard").c_str()), 0);
  ASSERT_EQ(symlink("a", (d + "/soft").c_str()), 0);
  ASSERT_EQ(mkdir((d + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub", (d + "/folder-link").c_str()), 0);
  ASSERT_EQ(symlink("sub/later", (d + "/dangling").c_str()), 0);
  struct Row {
    std::string first, second;
    bool same;
  };
  const Row rows[] = {
      {d + "/a", d + "/a", true},
      {d + "/a", d + "/hard", true},
      {d + "/soft", d + "/a", true},
      {d + "/a", d + "/sub/../a", true},
      {d + "/a", d + "/b", false},
      // Files yet to be created: the same place, however it is written.
      {d + "/sub/later", d + "/folder-link/later", true},
      {d + "/sub/later", d + "/./sub//later", true},
      {d + "/dangling", d + "/sub/later", true},
      {d + "/sub/later", d + "/sub/other", false},
      {d + "/a", d + "/sub/a", false},
      {d + "/none/x", d + "/none/x", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.first + " vs " + row.second);
    EXPECT_EQ(SameFile(row.first, row.second), row.same);
    EXPECT_EQ(SameFile(row.second, row.first), row.same);
  }
}

}  // namespace
