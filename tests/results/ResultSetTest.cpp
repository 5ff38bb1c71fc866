#include "results/ResultSet.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/Contract.h"
#include "base/Fatal.h"
#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

const char kArmOpen[] = "Error: Could not open state space output file\n";
const char kVarOpen[] = "Could not open file dude\n";

std::vector<ResultFileLayout> Layouts() {
  return {
      {".arm", kArmOpen, "Error: Could not write state space output file ",
       true},
      {".pvtype", "Error: Could not write reward variable type file\n",
       "Error: Could not write reward variable type file ", false},
      {".var", kVarOpen, "Error: Could not write reward values file ", false},
  };
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Begins a set on `base`, writes "new <suffix>" into each file.
Status BeginAndWrite(ResultSet& set, const std::string& base) {
  Status status = set.Begin(base, Layouts());
  if (!status.ok) return status;
  for (std::size_t i = 0; i < set.size(); ++i) {
    set.Stream(i) << "new " << set.Name(i).substr(base.size());
  }
  return status;
}

// Child process bodies for the death tests below.
[[noreturn]] void WriteBeyondFileSizeLimit(const std::string& base) {
  std::signal(SIGXFSZ, SIG_IGN);
  ResultSet set;
  if (!BeginAndWrite(set, base).ok) std::_Exit(3);
  const rlimit limit{1000, 1000};
  setrlimit(RLIMIT_FSIZE, &limit);
  set.Stream(2) << std::string(5000, 'v') << std::flush;
  set.Stream(0) << std::string(5000, 'a') << std::flush;
  if (!set.Stream(2).fail()) std::_Exit(4);
  const Status written = set.WriteStatus();
  const Status committed = set.Commit();
  std::cerr << written.message << committed.message;
  std::_Exit(written.message == committed.message ? 1 : 5);
}

[[noreturn]] void FatalWhileWriting(const std::string& base) {
  ResultSet set;
  if (!BeginAndWrite(set, base).ok) std::_Exit(3);
  set.Stream(0) << std::flush;
  FatalError(std::cerr, "Error: the store is full\n");
}

[[noreturn]] void BrokenContractWhileWriting(const std::string& base) {
  ResultSet set;
  if (!BeginAndWrite(set, base).ok) std::_Exit(3);
  set.Stream(0) << std::flush;
  GEN_CHECK(set.size() == 0);
  std::_Exit(4);
}

class ResultSetTest : public testing::Test {
 protected:
  void PlantOldSet() {
    for (const char* suffix : {".arm", ".pvtype", ".var"}) {
      WriteFile(base_ + suffix, std::string("old ") + suffix);
    }
  }
  void ExpectOldSet() {
    for (const char* suffix : {".arm", ".pvtype", ".var"}) {
      SCOPED_TRACE(suffix);
      EXPECT_EQ(ReadWholeFile(base_ + suffix), std::string("old ") + suffix);
    }
  }

  ScopedTempDir dir_;
  std::string base_ = dir_.path() + "/exp1";
};

TEST_F(ResultSetTest, CommitPublishesTheSetAndLeavesNothingElse) {
  PlantOldSet();
  ResultSet set;
  ASSERT_TRUE(BeginAndWrite(set, base_).ok);
  set.Stream(0) << std::flush;
  // Until the commit the earlier set is what a reader finds.
  ExpectOldSet();
  const Status status = set.Commit();
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_EQ(ReadWholeFile(base_ + ".arm"), "new .arm");
  EXPECT_EQ(ReadWholeFile(base_ + ".pvtype"), "new .pvtype");
  EXPECT_EQ(ReadWholeFile(base_ + ".var"), "new .var");
  EXPECT_EQ(Entries(dir_.path()),
            (std::vector<std::string>{"exp1.arm", "exp1.pvtype", "exp1.var"}));
}

TEST_F(ResultSetTest, AbortAndDestructionKeepTheEarlierSet) {
  PlantOldSet();
  {
    ResultSet set;
    ASSERT_TRUE(BeginAndWrite(set, base_).ok);
    set.Abort();
    set.Abort();
  }
  {
    ResultSet set;
    ASSERT_TRUE(BeginAndWrite(set, base_).ok);
    for (std::size_t i = 0; i < set.size(); ++i) set.Stream(i) << std::flush;
  }
  ExpectOldSet();
  EXPECT_EQ(Entries(dir_.path()).size(), 3u);
}

TEST_F(ResultSetTest, WithdrawnFileGoesOnlyWithThePublication) {
  std::vector<ResultFileLayout> layouts = Layouts();
  ResultFileLayout props = {".props", "open\n", "write ", false};
  props.withdrawn = true;
  layouts.push_back(props);
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "committed" : "abandoned");
    PlantOldSet();
    WriteFile(base_ + ".props", "old .props");
    ResultSet set;
    ASSERT_TRUE(set.Begin(base_, layouts).ok);
    ASSERT_EQ(set.size(), 3u);
    for (std::size_t i = 0; i < set.size(); ++i) set.Stream(i) << "new";
    EXPECT_EQ(ReadWholeFile(base_ + ".props"), "old .props");
    if (!commit) {
      set.Abort();
      ExpectOldSet();
      EXPECT_EQ(ReadWholeFile(base_ + ".props"), "old .props");
      continue;
    }
    ASSERT_TRUE(set.Commit().ok);
    EXPECT_EQ(
        Entries(dir_.path()),
        (std::vector<std::string>{"exp1.arm", "exp1.pvtype", "exp1.var"}));
  }
  // With nothing to remove the set is published as usual.
  ResultSet set;
  ASSERT_TRUE(set.Begin(base_, layouts).ok);
  EXPECT_TRUE(set.Commit().ok);
}

TEST_F(ResultSetTest, FailedPublicationNeverPublishesTheLastFile) {
  PlantOldSet();
  ResultSet set;
  ASSERT_TRUE(BeginAndWrite(set, base_).ok);
  // A folder that appears under the .var's name makes its rename fail.
  ASSERT_EQ(unlink((base_ + ".var").c_str()), 0);
  ASSERT_EQ(mkdir((base_ + ".var").c_str(), 0755), 0);
  WriteFile(base_ + ".var/keep", "x");
  const Status status = set.Commit();
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("could not put " + base_ + ".var in place"),
            std::string::npos)
      << status.message;
  EXPECT_EQ(ReadWholeFile(base_ + ".arm"), "old .arm");
  EXPECT_EQ(Entries(dir_.path()),
            (std::vector<std::string>{"exp1.arm", "exp1.pvtype", "exp1.var"}));
}

TEST_F(ResultSetTest, ASecondRunOnTheSameNameFailsAtOnce) {
  ResultSet first;
  ASSERT_TRUE(BeginAndWrite(first, base_).ok);
  {
    ResultSet second;
    const Status status = second.Begin(base_, Layouts());
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.exit_code, 1);
    EXPECT_EQ(status.message,
              "Error: another run is writing the results " + base_ +
                  " (it holds the lock " + dir_.path() +
                  "/.exp1.lock); wait for it to end or choose another path "
                  "or name\n");
  }
  // Another name in the same folder is free.
  ResultSet other;
  EXPECT_TRUE(other.Begin(dir_.path() + "/exp2", Layouts()).ok);
  other.Abort();
  ASSERT_TRUE(first.Commit().ok);
  ResultSet third;
  EXPECT_TRUE(BeginAndWrite(third, base_).ok);
  EXPECT_TRUE(third.Commit().ok);
  EXPECT_EQ(Entries(dir_.path()).size(), 3u);
}

TEST_F(ResultSetTest, LeftoversOfAKilledRunAreRemovedByTheNext) {
  PlantOldSet();
  WriteFile(dir_.path() + "/.exp1.arm.4242.0.tmp", "cut");
  WriteFile(dir_.path() + "/.exp1.var.17.3.tmp", "cut");
  WriteFile(dir_.path() + "/.exp1.lock", "");
  // Names that only look alike belong to someone else.
  const std::vector<std::string> kept = {".exp1.arm.backup", ".exp1.arm.1.tmp",
                                         ".exp10.arm.5.0.tmp",
                                         ".exp1.arm.x.0.tmp"};
  for (const std::string& name : kept) WriteFile(dir_.path() + "/" + name, "");
  ResultSet set;
  ASSERT_TRUE(BeginAndWrite(set, base_).ok);
  ASSERT_TRUE(set.Commit().ok);
  std::vector<std::string> expected = kept;
  for (const char* name : {"exp1.arm", "exp1.pvtype", "exp1.var"}) {
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Entries(dir_.path()), expected);
}

TEST_F(ResultSetTest, LinksAreFollowedAndSurvive) {
  ScopedTempDir elsewhere;
  const std::string real = elsewhere.path() + "/real.arm";
  WriteFile(real, "old");
  ASSERT_EQ(symlink(real.c_str(), (base_ + ".arm").c_str()), 0);
  // A relative link whose file does not exist yet: the file is created.
  ASSERT_EQ(mkdir((dir_.path() + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(symlink("sub/values", (base_ + ".var").c_str()), 0);

  ResultSet set;
  ASSERT_TRUE(BeginAndWrite(set, base_).ok);
  ASSERT_TRUE(set.Commit().ok);
  struct stat status {};
  ASSERT_EQ(lstat((base_ + ".arm").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(ReadWholeFile(real), "new .arm");
  EXPECT_EQ(Entries(elsewhere.path()), std::vector<std::string>{"real.arm"});
  ASSERT_EQ(lstat((base_ + ".var").c_str(), &status), 0);
  EXPECT_TRUE(S_ISLNK(status.st_mode));
  EXPECT_EQ(ReadWholeFile(dir_.path() + "/sub/values"), "new .var");
  EXPECT_EQ(Entries(dir_.path() + "/sub"), std::vector<std::string>{"values"});
}

TEST_F(ResultSetTest, ReplacedFileKeepsItsPermissions) {
  WriteFile(base_ + ".arm", "old");
  ASSERT_EQ(chmod((base_ + ".arm").c_str(), 0640), 0);
  ResultSet set;
  ASSERT_TRUE(BeginAndWrite(set, base_).ok);
  ASSERT_TRUE(set.Commit().ok);
  struct stat status {};
  ASSERT_EQ(stat((base_ + ".arm").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// What already stands at a result's name and is not a file to replace.
TEST_F(ResultSetTest, UnsuitableNamesAreRefusedAndLeftAlone) {
  const std::string var = base_ + ".var";
  struct Row {
    const char* what;
    std::string (*plant)(const std::string& var);  // returns "" to skip
    std::string message;  // expected text, or the start of it
  };
  const std::string kFifo =
      "Error: result file " + var + " is a FIFO, not a regular file";
  const Row rows[] = {
      {"FIFO",
       [](const std::string& path) {
         return mkfifo(path.c_str(), 0644) == 0 ? path : "";
       },
       kFifo},
      {"link to a FIFO",
       [](const std::string& path) {
         const std::string fifo = path + "-fifo";
         if (mkfifo(fifo.c_str(), 0644) != 0) return std::string();
         return symlink(fifo.c_str(), path.c_str()) == 0 ? path : "";
       },
       "Error: result file " + var + " (a link to " + var + "-fifo) is a FIFO"},
      {"link to a device",
       [](const std::string& path) {
         return symlink("/dev/null", path.c_str()) == 0 ? path : "";
       },
       "Error: result file " + var +
           " (a link to /dev/null) is a character device"},
      {"socket",
       [](const std::string& path) {
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         if (path.size() >= sizeof address.sun_path) return std::string();
         path.copy(address.sun_path, path.size());
         const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address),
                                 sizeof address) == 0;
         close(fd);
         return bound ? path : "";
       },
       "Error: result file " + var + " is a socket"},
      {"folder",
       [](const std::string& path) {
         return mkdir(path.c_str(), 0755) == 0 ? path : "";
       },
       kVarOpen},
      {"file the user may not write",
       [](const std::string& path) {
         if (geteuid() == 0) return std::string();  // root writes anything
         WriteFile(path, "old");
         return chmod(path.c_str(), 0444) == 0 ? path : "";
       },
       kVarOpen},
      {"link loop",
       [](const std::string& path) {
         return symlink(LeafOf(path).c_str(), path.c_str()) == 0 ? path : "";
       },
       kVarOpen},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScopedTempDir dir;
    const std::string base = dir.path() + "/exp1";
    WriteFile(base + ".arm", "old");
    const std::string planted = row.plant(base + ".var");
    if (planted.empty()) continue;
    struct stat before {};
    ASSERT_EQ(lstat(planted.c_str(), &before), 0);
    const std::vector<std::string> entries = Entries(dir.path());

    ResultSet set;
    const Status status = set.Begin(base, Layouts());
    EXPECT_FALSE(status.ok);
    std::string expected = row.message;
    for (std::string::size_type at;
         (at = expected.find(var)) != std::string::npos;) {
      expected.replace(at, var.size(), base + ".var");
    }
    EXPECT_EQ(status.message.substr(0, expected.size()), expected)
        << status.message;
    struct stat after {};
    ASSERT_EQ(lstat(planted.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtime, before.st_mtime);
    EXPECT_EQ(ReadWholeFile(base + ".arm"), "old");
    EXPECT_EQ(Entries(dir.path()), entries);
  }
}

TEST_F(ResultSetTest, OpenFailuresComeInTheGivenOrder) {
  // A missing folder: no lock can be made, and the first file's text says
  // so, as opening it would have.
  ResultSet missing;
  Status status = missing.Begin(dir_.path() + "/none/exp1", Layouts());
  EXPECT_EQ(status.message, kArmOpen);
  // A name too long for the file system.
  ResultSet too_long;
  status = too_long.Begin(dir_.path() + "/" + std::string(300, 'n'), Layouts());
  EXPECT_EQ(status.message, kArmOpen);
  // Two bad files: the first in the given order is reported.
  ASSERT_EQ(mkfifo((base_ + ".var").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((base_ + ".arm").c_str(), 0755), 0);
  ResultSet set;
  status = set.Begin(base_, Layouts());
  EXPECT_EQ(status.message, kArmOpen);
  EXPECT_EQ(Entries(dir_.path()),
            (std::vector<std::string>{"exp1.arm", "exp1.var"}));
}

TEST_F(ResultSetTest, SharedFolderLinksOfOtherUsersAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant another's link";
  const std::string shared = dir_.path() + "/shared";
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string secret = dir_.path() + "/secret";
  WriteFile(secret, "root only");
  const std::string base = shared + "/exp1";
  ASSERT_EQ(symlink(secret.c_str(), (base + ".arm").c_str()), 0);
  ASSERT_EQ(lchown((base + ".arm").c_str(), 65534, 65534), 0);

  ResultSet set;
  Status status = set.Begin(base, Layouts());
  EXPECT_EQ(status.message,
            "Error: " + base + ".arm is a symbolic link in the shared folder " +
                shared +
                ", owned by neither you nor the folder's owner; result files "
                "are not written through it\n");
  EXPECT_EQ(ReadWholeFile(secret), "root only");
  EXPECT_EQ(Entries(shared), std::vector<std::string>{"exp1.arm"});

  // The folder's owner's links are followed, as the kernel would.
  ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
  status = BeginAndWrite(set, base);
  ASSERT_TRUE(status.ok) << status.message;
  ASSERT_TRUE(set.Commit().ok);
  EXPECT_EQ(ReadWholeFile(secret), "new .arm");
}

TEST_F(ResultSetTest, FirstFailedWriteNamesTheFileAndTheReason) {
  PlantOldSet();
  // A file-size limit makes writes fail with EFBIG once SIGXFSZ is ignored;
  // the limit would hold for the rest of the tests, so a child runs it.
  EXPECT_EXIT(
      WriteBeyondFileSizeLimit(base_), testing::ExitedWithCode(1),
      "^Error: Could not write reward values file .*/exp1.var: File too "
      "large\n");
  ExpectOldSet();
  EXPECT_EQ(Entries(dir_.path()).size(), 3u);
}

// Fatal errors end the process without unwinding; they still remove the
// temporaries and the lock.
TEST_F(ResultSetTest, FatalExitsRemoveTheLeftovers) {
  PlantOldSet();
  EXPECT_EXIT(FatalWhileWriting(base_), testing::ExitedWithCode(1),
              "the store is full");
  EXPECT_DEATH(BrokenContractWhileWriting(base_), "set.size\\(\\) == 0");
  ExpectOldSet();
  EXPECT_EQ(Entries(dir_.path()),
            (std::vector<std::string>{"exp1.arm", "exp1.pvtype", "exp1.var"}));
}

}  // namespace
