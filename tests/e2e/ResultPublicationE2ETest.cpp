// Whole runs of gen and genbench that are killed, raced, refused or run out
// of room while an earlier complete set of results stands in their folder.
// Whatever happens, that set is either replaced by a complete new one or
// left byte for byte as it was, and the run says which by its exit code.

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RunProcess.h"

namespace {

const char* const kSuffixes[] = {".arm", ".var", ".pvtype"};

std::string Golden(const std::string& name) {
  return ReadWholeFile(std::string(GEN_GOLDEN_DIR) + "/" + name);
}

// The files of experiment 0, as gen -B0 writes them.
std::string Experiment0(const std::string& suffix) {
  return suffix == ".pvtype" ? Golden("exp1.pvtype")
                             : Golden("run_exp0/exp1" + suffix);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && name != "lost+found") {
        names.push_back(name);
      }
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

const std::vector<std::string> kSetOnly = {"exp1.arm", "exp1.pvtype",
                                           "exp1.var"};

// A folder "out/" holding the complete results of experiment 0 as exp1.
class PreviousSet {
 public:
  PreviousSet() : out_(dir_.path() + "/out") {
    EXPECT_EQ(mkdir(out_.c_str(), 0755), 0);
    Plant();
  }
  void Plant() const {
    for (const char* suffix : kSuffixes) {
      WriteFile(out_ + "/exp1" + suffix, Experiment0(suffix));
    }
  }
  // Every file of the set is what it was, byte for byte.
  testing::AssertionResult Intact() const {
    for (const char* suffix : kSuffixes) {
      if (ReadWholeFile(out_ + "/exp1" + suffix) != Experiment0(suffix)) {
        return testing::AssertionFailure() << "exp1" << suffix << " changed";
      }
    }
    return testing::AssertionSuccess();
  }
  const std::string& dir() const { return dir_.path(); }
  const std::string& out() const { return out_; }

 private:
  ScopedTempDir dir_;
  std::string out_;
};

ProcessResult Gen(const std::vector<std::string>& args,
                  const std::string& dir) {
  return RunProcess(GEN_BINARY, args, dir);
}

// Whether a temporary result file of `leaf` in `folder` holds at least
// `bytes` bytes.
bool TemporaryHolds(const std::string& folder, const std::string& leaf,
                    off_t bytes) {
  for (const std::string& name : Entries(folder)) {
    if (name.rfind("." + leaf + ".", 0) != 0) continue;
    struct stat status {};
    if (stat((folder + "/" + name).c_str(), &status) == 0 &&
        status.st_size >= bytes) {
      return true;
    }
  }
  return false;
}

// Polls `condition` every 2 ms for at most 30 s.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// The environment that stops a run before it renames `suffix` into place.
ChildProcess::Options PauseBeforeRename(const std::string& suffix) {
  ChildProcess::Options options;
  const char* asan = std::getenv("ASAN_OPTIONS");
  // A sanitized build wants its runtime first among the loaded libraries.
  options.environment = {
      std::string("LD_PRELOAD=") + PAUSE_SHIM, "PAUSE_BEFORE_RENAME=" + suffix,
      std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
          ":verify_asan_link_order=0"};
  return options;
}

// A whole run of experiment 1 after a failed one: it replaces the set and
// leaves nothing else in the folder.
void ExpectNextRunPublishesExperiment1(const PreviousSet& set) {
  const ProcessResult next = Gen({"-Pout/", "-Nexp1", "-B1"}, set.dir());
  EXPECT_EQ(next.exit_code, 0) << next.err;
  EXPECT_EQ(Entries(set.out()), kSetOnly);
  EXPECT_EQ(ReadWholeFile(set.out() + "/exp1.arm"),
            Golden("run_exp1/exp1.arm"));
  EXPECT_EQ(ReadWholeFile(set.out() + "/exp1.var"),
            Golden("run_exp1/exp1.var"));
}

// A 256 KiB tmpfs mounted over `folder` while the object lives, where the
// test may mount one (as root, outside a restricted container).
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder)
      : folder_(folder),
        mounted_(mount("tmpfs", folder.c_str(), "tmpfs", 0, kOptions) == 0) {}
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  ~SmallFileSystem() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() const {
    return mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                 kOptions) == 0;
  }

 private:
  static constexpr const char* kOptions = "size=256k";
  std::string folder_;
  bool mounted_;
};

TEST(ResultPublicationE2ETest, KilledDuringExplorationLeavesThePreviousSet) {
  struct Row {
    int signal;
    // What stays beside the set until the next run: a SIGKILL leaves the
    // temporaries and the lock file, a SIGTERM removes them.
    bool leftovers;
  };
  for (const Row& row : {Row{SIGKILL, true}, Row{SIGTERM, false}}) {
    SCOPED_TRACE(strsignal(row.signal));
    PreviousSet set;
    ChildProcess run(GEN_BENCH_BINARY, {"kanban", "4", "-Pout/", "-Nexp1"},
                     set.dir(), {});
    ASSERT_TRUE(Eventually(
        [&] { return TemporaryHolds(set.out(), "exp1.arm", 1 << 20); }));
    run.Signal(row.signal);
    EXPECT_EQ(run.Wait().exit_code, 128 + row.signal);
    EXPECT_TRUE(set.Intact());
    const std::vector<std::string> entries = Entries(set.out());
    if (row.leftovers) {
      EXPECT_GT(entries.size(), kSetOnly.size());
    } else {
      EXPECT_EQ(entries, kSetOnly);
    }
    // The next run of the name takes over and cleans up.
    ExpectNextRunPublishesExperiment1(set);
  }
}

TEST(ResultPublicationE2ETest, KilledBeforeOrWhilePublishing) {
  struct Row {
    const char* point;  // the rename the run is stopped before
    bool var_published;
  };
  // The .pvtype is renamed first, the .arm last.
  for (const Row& row : {Row{".pvtype", false}, Row{".arm", true}}) {
    SCOPED_TRACE(row.point);
    PreviousSet set;
    ChildProcess run(GEN_BINARY, {"-Pout/", "-Nexp1", "-B1"}, set.dir(),
                     PauseBeforeRename(row.point));
    ASSERT_TRUE(run.WaitUntilStopped());
    // The .arm, the mark of a complete set, is still the earlier one.
    EXPECT_EQ(ReadWholeFile(set.out() + "/exp1.arm"), Experiment0(".arm"));
    EXPECT_EQ(
        ReadWholeFile(set.out() + "/exp1.var"),
        row.var_published ? Golden("run_exp1/exp1.var") : Experiment0(".var"));
    run.Signal(SIGKILL);
    EXPECT_EQ(run.Wait().exit_code, 128 + SIGKILL);
    if (!row.var_published) {
      EXPECT_TRUE(set.Intact());
    }
    ExpectNextRunPublishesExperiment1(set);
  }
}

TEST(ResultPublicationE2ETest, ASecondRunOnTheSameNameIsRefused) {
  PreviousSet set;
  // Both runs trace into one file: the refused one must leave it alone.
  ChildProcess first(GEN_BENCH_BINARY,
                     {"kanban", "3", "-Pout/", "-Nexp1", "-l1", "-ttrace.txt"},
                     set.dir(), {});
  // Its first temporary exists once it holds the lock; it is held still
  // there, so that the second run meets it whatever the machine's speed.
  ASSERT_TRUE(
      Eventually([&] { return TemporaryHolds(set.out(), "exp1.arm", 0); }));
  first.Signal(SIGSTOP);
  const ProcessResult second = RunProcess(
      GEN_BENCH_BINARY,
      {"kanban", "2", "-Pout/", "-Nexp1", "-l1", "-ttrace.txt"}, set.dir());
  first.Signal(SIGCONT);
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_EQ(second.err,
            "Error: another run is writing the results out/exp1 (it holds the "
            "lock out/.exp1.lock); wait for it to end or choose another path "
            "or name\n");
  const ProcessResult done = first.Wait();
  ASSERT_EQ(done.exit_code, 0) << done.err;
  // The first run's files alone, whole: no mix of the two models.
  const std::string arm = ReadWholeFile(set.out() + "/exp1.arm");
  EXPECT_EQ(arm.substr(0, 8), "1\n58400\n");
  EXPECT_EQ(arm.find('\0'), std::string::npos);
  // Lines holding 0 alone end the blocks: one per state.
  std::size_t blocks = 0;
  for (std::size_t at = arm.find("\n0\n"); at != std::string::npos;
       at = arm.find("\n0\n", at + 2)) {
    ++blocks;
  }
  EXPECT_EQ(blocks, 58400u);
  EXPECT_EQ(Entries(set.out()), kSetOnly);
  const std::string trace = ReadWholeFile(set.dir() + "/trace.txt");
  EXPECT_EQ(trace.rfind("State Number = 1\n", 0), 0u) << trace.substr(0, 80);
  EXPECT_NE(trace.find("Generated: 58400 states"), std::string::npos);
  EXPECT_EQ(trace.find('\0'), std::string::npos);
}

TEST(ResultPublicationE2ETest, NamesThatCannotTakeAResultAreRefused) {
  for (const char* suffix : kSuffixes) {
    const std::string name = std::string("out/exp1") + suffix;
    struct Row {
      const char* what;
      int exit_code;
      std::string err;
    };
    const Row rows[] = {
        {"FIFO", 1,
         "Error: result file " + name +
             " is a FIFO, not a regular file; it was left alone\n"},
        {"link to a device", 1,
         "Error: result file " + name +
             " (a link to /dev/full) is a character device, not a regular "
             "file; it was left alone\n"},
        {"link to a file elsewhere", 0, ""},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(name + ": " + row.what);
      PreviousSet set;
      const std::string path = set.dir() + "/" + name;
      const std::string elsewhere = set.dir() + "/kept" + suffix;
      ASSERT_EQ(unlink(path.c_str()), 0);
      if (row.what[0] == 'F') {
        ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      } else if (row.exit_code == 1) {
        ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
      } else {
        WriteFile(elsewhere, "old");
        ASSERT_EQ(symlink(elsewhere.c_str(), path.c_str()), 0);
      }
      // A FIFO that were opened would block the run: the wait would end it.
      const ProcessResult result = Gen({"-Pout/", "-Nexp1", "-B0"}, set.dir());
      EXPECT_EQ(result.exit_code, row.exit_code) << result.err;
      EXPECT_EQ(result.err, row.err);
      struct stat status {};
      ASSERT_EQ(lstat(path.c_str(), &status), 0);
      if (row.what[0] == 'F') {
        EXPECT_TRUE(S_ISFIFO(status.st_mode));
      } else {
        EXPECT_TRUE(S_ISLNK(status.st_mode));
      }
      if (row.exit_code == 0) {
        EXPECT_EQ(ReadWholeFile(elsewhere), Experiment0(suffix));
        EXPECT_EQ(
            Entries(set.dir()),
            (std::vector<std::string>{std::string("kept") + suffix, "out"}));
      }
      for (const char* other : kSuffixes) {
        if (other == suffix) continue;
        EXPECT_EQ(ReadWholeFile(set.out() + "/exp1" + other),
                  Experiment0(other));
      }
      EXPECT_EQ(Entries(set.out()), kSetOnly);
    }
  }
}

TEST(ResultPublicationE2ETest, PlantedLinksInASharedFolderAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to plant another's link";
  for (const char* suffix : kSuffixes) {
    SCOPED_TRACE(suffix);
    PreviousSet set;
    ASSERT_EQ(chmod(set.out().c_str(), 01777), 0);
    const std::string secret = set.dir() + "/root-only";
    WriteFile(secret, "secret");
    ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
    const std::string link = set.out() + "/exp1" + suffix;
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(secret.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), 65534, 65534), 0);

    const ProcessResult result = Gen({"-Pout/", "-Nexp1", "-B0"}, set.dir());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, std::string("Error: out/exp1") + suffix +
                              " is a symbolic link in the shared folder out, "
                              "owned by neither you nor the folder's owner; "
                              "result files are not written through it\n");
    EXPECT_EQ(ReadWholeFile(secret), "secret");
    EXPECT_EQ(Entries(set.out()), kSetOnly);
  }
}

TEST(ResultPublicationE2ETest, FullFileSystemStopsAtTheFirstFailedWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  PreviousSet set;
  SmallFileSystem file_system(set.out());
  if (!file_system.mounted()) GTEST_SKIP() << "mounting is not permitted here";
  set.Plant();

  const ProcessResult result = RunProcess(
      GEN_BENCH_BINARY, {"kanban", "3", "-Pout/", "-Nexp1"}, set.dir());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_TRUE(std::regex_match(
      result.err,
      std::regex("Error: Could not write (state space output|reward values) "
                 "file out/exp1\\.(arm|var): No space left on device\n")))
      << result.err;
  // Stopped at once: a whole run reports 58 thousands and its total.
  EXPECT_EQ(result.out.find("Generated:"), std::string::npos);
  EXPECT_LT(std::count(result.out.begin(), result.out.end(), '$'), 2 * 10);
  EXPECT_TRUE(set.Intact());
  EXPECT_EQ(Entries(set.out()), kSetOnly);
}

// Files the user may not write are refused as opening them would be, with
// the first file's open-failure text, and left as they are.
TEST(ResultPublicationE2ETest, ReadOnlyFileSystemIsAnOpenFailure) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
  PreviousSet set;
  SmallFileSystem file_system(set.out());
  if (!file_system.mounted()) GTEST_SKIP() << "mounting is not permitted here";
  set.Plant();
  ASSERT_EQ(mount("tmpfs", set.out().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY,
                  "size=256k"),
            0);
  const ProcessResult result = Gen({"-Pout/", "-Nexp1", "-B1"}, set.dir());
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "Error: Could not open state space output file\n");
  EXPECT_TRUE(set.Intact());
  EXPECT_EQ(Entries(set.out()), kSetOnly);
}

TEST(ResultPublicationE2ETest, FileSizeLimitIsAFailedWrite) {
  struct Row {
    const char* program;
    std::vector<std::string> args;
    long limit;
  };
  const Row rows[] = {
      {GEN_BINARY, {"-Pout/", "-Nexp1", "-B1"}, 1000},
      {GEN_BENCH_BINARY, {"kanban", "3", "-Pout/", "-Nexp1"}, 100000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.program);
    PreviousSet set;
    ChildProcess::Options options;
    options.file_size_limit = row.limit;
    ChildProcess run(row.program, row.args, set.dir(), options);
    const ProcessResult result = run.Wait();
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(std::regex_match(
        result.err,
        std::regex("Error: Could not write [a-z ]+ file out/exp1\\.[a-z]+: "
                   "File too large\n")))
        << result.err;
    EXPECT_TRUE(set.Intact());
    EXPECT_EQ(Entries(set.out()), kSetOnly);
  }
}

TEST(ResultPublicationE2ETest, ClosedPipeOnStandardOutputIsAnError) {
  struct Row {
    const char* program;
    std::vector<std::string> args;
  };
  const Row rows[] = {
      {GEN_BINARY, {"-Pout/", "-Nexp1", "-B1"}},
      {GEN_BENCH_BINARY, {"kanban", "2", "-Pout/", "-Nexp1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.program);
    PreviousSet set;
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    close(pipe_ends[0]);
    ChildProcess::Options options;
    options.stdout_fd = pipe_ends[1];
    ChildProcess run(row.program, row.args, set.dir(), options);
    close(pipe_ends[1]);
    const ProcessResult result = run.Wait();
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "Error: standard output could not be written\n");
    // A run whose controlling process could not follow it publishes
    // nothing.
    EXPECT_TRUE(set.Intact());
    EXPECT_EQ(Entries(set.out()), kSetOnly);
  }
}

TEST(ResultPublicationE2ETest, UnwritableTraceIsReportedOnce) {
  PreviousSet set;
  const ProcessResult result =
      Gen({"-Pout/", "-Nexp1", "-B1", "-l1", "-t/dev/full"}, set.dir());
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err,
            "Warning: could not write trace file /dev/full: No space left on "
            "device; the rest of the trace is lost\n");
  EXPECT_EQ(ReadWholeFile(set.out() + "/exp1.arm"),
            Golden("run_exp1/exp1.arm"));
  EXPECT_EQ(ReadWholeFile(set.out() + "/exp1.var"),
            Golden("run_exp1/exp1.var"));
}

TEST(ResultPublicationE2ETest, TraceIntoAResultFileIsRefused) {
  struct Row {
    std::string trace;
    std::string result;  // the result file it names
    const char* name = "exp1";
  };
  const Row rows[] = {
      {"out/exp1.arm", "out/exp1.arm"},
      {"out/./exp1.var", "out/exp1.var"},
      {"link", "out/exp1.pvtype"},
      {"hard", "out/exp1.arm"},
      // A result file that does not exist yet.
      {"out/../out/fresh.var", "out/fresh.var", "fresh"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.trace);
    PreviousSet set;
    ASSERT_EQ(symlink("out/exp1.pvtype", (set.dir() + "/link").c_str()), 0);
    ASSERT_EQ(
        link((set.out() + "/exp1.arm").c_str(), (set.dir() + "/hard").c_str()),
        0);
    const ProcessResult result = Gen({"-Pout/", std::string("-N") + row.name,
                                      "-B1", "-l1", "-t" + row.trace},
                                     set.dir());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.err, "Error: the trace file " + row.trace +
                              " is the result file " + row.result +
                              "; choose another trace file\n");
    EXPECT_TRUE(set.Intact());
    EXPECT_EQ(Entries(set.out()), kSetOnly);
  }
}

TEST(ResultPublicationE2ETest, RefusedOverridesLeaveThePreviousSet) {
  for (const char* text : {"d:test_execution_rate_G::d:pperm_fault_G:0.2",
                           "d:pperm_fault_G:1e-400"}) {
    SCOPED_TRACE(text);
    PreviousSet set;
    const ProcessResult result =
        Gen({"-Pout/", "-Nexp1", "-B1", std::string("-O") + text}, set.dir());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.err.find("Error: override entry 1 ("), std::string::npos)
        << result.err;
    EXPECT_TRUE(set.Intact());
    EXPECT_EQ(Entries(set.out()), kSetOnly);
  }
}

}  // namespace
