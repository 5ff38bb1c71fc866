// Whole runs of san on several threads: standard output, standard error,
// the exit code and every file byte for byte those of the run on one
// thread, for the text, JANI and PNPRO models, a deterministic model and
// models that fail part-way.

#include <cstdio>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

const std::string kModels = GEN_MODELS_DIR;

bool WriteFile(const std::string& path, const char* text) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool written = std::fputs(text, file) >= 0;
  return std::fclose(file) == 0 && written;
}

struct SanRun {
  ProcessResult process;
  std::vector<std::string> files;  // every result file; "" when absent
};

SanRun RunSan(const ScopedTempDir& dir, const std::string& model, int threads) {
  RunProcess("/bin/mkdir", {"-p", "out"}, dir.path());
  SanRun run;
  run.process = RunProcess(
      SAN_BINARY,
      {model, "-Pout/", "-Nrun", "--threads", std::to_string(threads)},
      dir.path());
  run.process.out = MaskSeconds(run.process.out);
  for (const char* extension :
       {".arm", ".var", ".pvtype", ".det", ".dch", ".props"}) {
    run.files.push_back(ReadWholeFile(dir.path() + "/out/run" + extension));
  }
  return run;
}

void ExpectSameRunOnEveryThreadCount(const std::string& model) {
  ScopedTempDir dir;
  const SanRun alone = RunSan(dir, model, 1);
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    const SanRun shared = RunSan(dir, model, threads);
    EXPECT_EQ(shared.process.exit_code, alone.process.exit_code);
    EXPECT_EQ(shared.process.out, alone.process.out);
    EXPECT_EQ(shared.process.err, alone.process.err);
    for (std::size_t i = 0; i < alone.files.size(); ++i) {
      EXPECT_TRUE(shared.files[i] == alone.files[i]) << "file " << i;
    }
  }
}

TEST(SanThreadsTest, ModelFilesGiveTheFilesOfOneThread) {
  for (const char* model :
       {"failure.san", "repair.san", "kanban.san", "fms.san", "jani/relay.jani",
        "jani/kanban.jani", "pnpro/workshop.pnpro", "pnpro/fms.pnpro"}) {
    SCOPED_TRACE(model);
    ExpectSameRunOnEveryThreadCount(kModels + "/" + model);
  }
}

TEST(SanThreadsTest, DeterministicAndFailingModelsMatchOneThread) {
  ScopedTempDir models;
  // Deterministic delays on a grid large enough for many batches.
  const std::string deterministic = models.path() + "/timeouts.san";
  ASSERT_TRUE(WriteFile(deterministic,
                        "model timeouts;\n"
                        "place a bounds 0 .. 40;\n"
                        "place b bounds 0 .. 40;\n"
                        "activity up rate 1.5 { input gate when a < 40; "
                        "output a; }\n"
                        "activity right delay 2.0 { input gate when b < 40; "
                        "output b; }\n"
                        "activity back rate 0.5 { input a; input b; }\n"
                        "reward level = a + b;\n"));
  // The first state whose firing leaves a place's range is reached after
  // the first progress line; every later state fails too.
  const std::string overflow = models.path() + "/overflow.san";
  ASSERT_TRUE(WriteFile(overflow,
                        "model overflow;\n"
                        "place a bounds 0 .. 35;\n"
                        "place b bounds 0 .. 50;\n"
                        "activity up rate 1 { output a; }\n"
                        "activity right rate 2 { output b; }\n"
                        "reward level = a;\n"));
  // A zero-time loop: the first stable state that enters it fails with a
  // status, the run ends there.
  const std::string loop = models.path() + "/loop.san";
  ASSERT_TRUE(WriteFile(loop,
                        "model loop;\n"
                        "place a bounds 0 .. 60;\n"
                        "place b bounds 0 .. 60;\n"
                        "place p;\n"
                        "activity up rate 1 { input gate when a < 60; "
                        "output a; }\n"
                        "activity right rate 1 { input gate when b < 60; "
                        "output b; }\n"
                        "activity go rate 1 { input gate when a == 45 && "
                        "p == 0; output p; }\n"
                        "activity spin instant { input p; output p; }\n"
                        "reward level = a;\n"));
  for (const std::string& model : {deterministic, overflow, loop}) {
    SCOPED_TRACE(model);
    ExpectSameRunOnEveryThreadCount(model);
  }
  ScopedTempDir dir;
  EXPECT_NE(RunSan(dir, deterministic, 2).files[3], "");
  const SanRun failed = RunSan(dir, overflow, 2);
  EXPECT_EQ(failed.process.exit_code, 1);
  EXPECT_NE(failed.process.err.find("would set place a to 36"),
            std::string::npos)
      << failed.process.err;
  EXPECT_EQ(RunSan(dir, loop, 2).process.exit_code, 1);
}

}  // namespace
