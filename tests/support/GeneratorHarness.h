#ifndef GEN_TESTS_SUPPORT_GENERATORHARNESS_H_
#define GEN_TESTS_SUPPORT_GENERATORHARNESS_H_

#include <memory>
#include <string>

#include "reward/PVModel.h"
#include "tests/support/TestModel.h"

// The reward model the generator works on, wrapped around a finished test
// model, with no reward variables: its .var records are state numbers alone.
class TestPVModel : public PVModel {
 public:
  explicit TestPVModel(std::unique_ptr<BaseModelClass> child);
  PerformanceVariableNode* createPVNode(int, int) override { return nullptr; }
};

// What one generation left behind.
struct Generated {
  std::string out;  // standard output
  std::string arm;
  std::string var;
  std::string pvtype;
  std::string det;  // empty unless the model has deterministic actions
  std::string dch;  // likewise
};

struct GenerateOptions {
  short absorb = 0;
  int trace_level = 0;
  double hash_value = 0.5;
  // Folder for the files, ending in its separator; empty: a fresh temporary
  // folder, removed afterwards. The files are named m.arm, m.var, ...
  std::string directory;
};

// Runs a whole generation of `model` and returns standard output and the
// files. Fatal errors end the process, so tests of failures run this inside
// EXPECT_EXIT.
Generated Generate(std::unique_ptr<TestModel> model,
                   const GenerateOptions& options = {});

// Runs a whole generation of `model` into path + name; a failure ends the
// process as it ends gen (for EXPECT_EXIT).
void RunGenerationOrExit(PVModel& model, const std::string& path,
                         const std::string& name);

// Sends standard output to standard error, where death tests match messages
// that the generator prints on standard output. For the child of a death test.
void StdoutToStderr();

// The .arm header (type, count, rest of the placeholder line) for `states`
// states in normal and in deterministic generation.
std::string NormalHeader(int states);
std::string DeterministicHeader(int states);

#endif  // GEN_TESTS_SUPPORT_GENERATORHARNESS_H_
