#include "tests/support/GeneratorHarness.h"

#include <iostream>
#include <sstream>
#include <utility>

#include "base/Fatal.h"
#include "gtest/gtest.h"
#include "run/RunGeneration.h"
#include "tests/support/RunProcess.h"

TestPVModel::TestPVModel(std::unique_ptr<BaseModelClass> child) {
  ChildModel = std::move(child);
  DefineName("TestPVModel");
  CreatePVList(0, false);
  Initialize();
}

namespace {

// Sends std::cout to a string while it lives. Unlike Google Test's capture,
// which keeps a file in /tmp until the capture ends, it leaves nothing
// behind when a run ends the process (a death test's child). Standard
// output sent to standard error (StdoutToStderr) is left there.
class CoutCapture {
 public:
  CoutCapture()
      : saved_(std::cout.rdbuf() == std::cerr.rdbuf()
                   ? nullptr
                   : std::cout.rdbuf(text_.rdbuf())) {}
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  ~CoutCapture() {
    if (saved_ != nullptr) std::cout.rdbuf(saved_);
  }

  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
  std::streambuf* saved_;
};

}  // namespace

Generated Generate(std::unique_ptr<TestModel> model,
                   const GenerateOptions& options) {
  ScopedTempDir dir;
  TestPVModel pv_model(std::move(model));
  const std::string path =
      options.directory.empty() ? dir.path() + "/" : options.directory;
  Generated result;
  CoutCapture capture;
  RunSettings settings;
  settings.path = path;
  settings.name = "m";
  settings.report_absorbing = options.absorb != 0;
  settings.hash_value = options.hash_value;
  settings.trace_level = options.trace_level;
  const Status status = RunGeneration(pv_model, settings);
  if (!status.ok) FatalError(status);
  result.out = capture.Text();
  result.arm = ReadWholeFile(path + "m.arm");
  result.var = ReadWholeFile(path + "m.var");
  result.pvtype = ReadWholeFile(path + "m.pvtype");
  result.det = ReadWholeFile(path + "m.det");
  result.dch = ReadWholeFile(path + "m.dch");
  return result;
}

void RunGenerationOrExit(PVModel& model, const std::string& path,
                         const std::string& name) {
  RunSettings settings;
  settings.path = path;
  settings.name = name;
  const Status status = RunGeneration(model, settings);
  if (!status.ok) FatalError(status);
}

void StdoutToStderr() { std::cout.rdbuf(std::cerr.rdbuf()); }

std::string NormalHeader(int states) {
  const std::string count = std::to_string(states);
  return "1\n" + count + "\n" + std::string(62 - count.size(), ' ') + "\n";
}

std::string DeterministicHeader(int states) {
  const std::string count = std::to_string(states);
  const std::string rest =
      count.size() < 8 ? std::string(7 - count.size(), ' ') + "\n" : "";
  return "1\n" + count + "\n" + rest;
}
