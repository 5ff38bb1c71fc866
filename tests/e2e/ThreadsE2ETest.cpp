// Whole runs of gen and genbench on several threads: standard output and
// every file byte for byte those of the run on one thread.

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

struct ThreadRun {
  ProcessResult process;
  std::vector<std::string> files;  // .arm, .var, .pvtype, .det
};

ThreadRun RunIn(const ScopedTempDir& dir, const std::string& program,
                std::vector<std::string> args, int threads) {
  args.push_back("-Pout/");
  args.push_back("-Nrun");
  args.push_back("--threads");
  args.push_back(std::to_string(threads));
  ThreadRun run;
  run.process = RunProcess("/bin/mkdir", {"-p", "out"}, dir.path());
  run.process = RunProcess(program, args, dir.path());
  run.process.out = MaskSeconds(run.process.out);
  for (const char* extension : {".arm", ".var", ".pvtype", ".det"}) {
    run.files.push_back(ReadWholeFile(dir.path() + "/out/run" + extension));
  }
  return run;
}

void ExpectSameRunOnEveryThreadCount(const std::string& program,
                                     const std::vector<std::string>& args) {
  ScopedTempDir dir;
  const ThreadRun alone = RunIn(dir, program, args, 1);
  ASSERT_EQ(alone.process.exit_code, 0) << alone.process.err;
  ASSERT_FALSE(alone.files[0].empty());
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const ThreadRun shared = RunIn(dir, program, args, threads);
    EXPECT_EQ(shared.process.exit_code, 0) << shared.process.err;
    EXPECT_EQ(shared.process.out, alone.process.out);
    EXPECT_EQ(shared.process.err, alone.process.err);
    for (std::size_t i = 0; i < alone.files.size(); ++i) {
      EXPECT_TRUE(shared.files[i] == alone.files[i]) << "file " << i;
    }
  }
}

TEST(ThreadsE2ETest, GenExperimentsAreThoseOfOneThread) {
  for (const char* experiment : {"-B0", "-B4", "-B9"}) {
    SCOPED_TRACE(experiment);
    ExpectSameRunOnEveryThreadCount(GEN_BINARY, {experiment});
  }
  ExpectSameRunOnEveryThreadCount(
      GEN_BINARY,
      {"-B3", "-Od:pperm_fault_G:0.2:d:test_execution_rate_G:5000"});
}

TEST(ThreadsE2ETest, BenchmarkModelsAreThoseOfOneThread) {
  for (const char* model : {"kanban", "fms"}) {
    for (int n = 1; n <= kLargestComparedN; ++n) {
      SCOPED_TRACE(std::string(model) + " " + std::to_string(n));
      ExpectSameRunOnEveryThreadCount(GEN_BENCH_BINARY,
                                      {model, std::to_string(n)});
    }
  }
}

TEST(ThreadsE2ETest, ThreadCountsOutsideTheRangeAreRefused) {
  ScopedTempDir dir;
  for (const char* value : {"0", "-1", "257", "two", ""}) {
    SCOPED_TRACE(value);
    const ProcessResult run = RunProcess(
        GEN_BINARY, {"-Pout/", "-Nrun", "--threads", value}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, "Error: --threads value \"" + std::string(value) +
                           "\" is not a whole number in 1..256\n");
  }
  const ProcessResult glued =
      RunProcess(GEN_BINARY, {"-Pout/", "-Nrun", "--threads=0"}, dir.path());
  EXPECT_EQ(glued.exit_code, 1);
}

}  // namespace
