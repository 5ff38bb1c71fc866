#include "tests/support/GeneratorHarness.h"

#include <iostream>
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

Generated Generate(std::unique_ptr<TestModel> model,
                   const GenerateOptions& options) {
  ScopedTempDir dir;
  TestPVModel pv_model(std::move(model));
  const std::string path =
      options.directory.empty() ? dir.path() + "/" : options.directory;
  Generated result;
  testing::internal::CaptureStdout();
  RunSettings settings;
  settings.path = path;
  settings.name = "m";
  settings.report_absorbing = options.absorb != 0;
  settings.hash_value = options.hash_value;
  settings.trace_level = options.trace_level;
  const Status status = RunGeneration(pv_model, settings);
  if (!status.ok) FatalError(status);
  result.out = testing::internal::GetCapturedStdout();
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
