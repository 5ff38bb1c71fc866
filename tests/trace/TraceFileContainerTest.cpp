#include "trace/TraceFileContainer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "framework/BaseActionClass.h"
#include "tests/trace/TraceTestModels.h"
#include "trace/TraceFileTolvarSSG.h"

namespace {

// Records every call it receives, tagged with its own name.
class RecordingSink : public TraceFile {
 public:
  RecordingSink(const char* name, std::vector<std::string>* log)
      : name_(name), log_(log) {}

  void printHeader(PVModel* model) override {
    Record("header " + std::string(model ? model->ChildModel->Name : "null"));
  }
  void printFooter() override { Record("footer"); }
  void printInitialState(BaseModelClass* model) override {
    Record("initial " + model->Name);
  }
  void printState(PVModel* model) override {
    Record("state " + model->ChildModel->Name);
  }
  void printFireAction(BaseActionClass* a, double time) override {
    Record("fire " + a->ActionName + " " + std::to_string(time));
  }
  void printPreFireAction(BaseActionClass* a) override {
    Record("pre " + a->ActionName);
  }
  void printPostFireAction(BaseActionClass* a, BaseActionClass* b) override {
    Record("post " + a->ActionName + " " + b->ActionName);
  }
  void newBatch() override { Record("batch"); }
  void printStr(int level, const char* text) override {
    Record("str " + std::to_string(level) + " " + text);
  }

 private:
  void Record(const std::string& call) { log_->push_back(name_ + ": " + call); }

  std::string name_;
  std::vector<std::string>* log_;
};

TEST(TraceFileContainerTest, WithoutSinksIgnoresEveryCall) {
  TraceFileContainer trace;  // and no traced model either

  EXPECT_EQ(trace.printf(1, "State Number = %d", 3), 0);
  trace.printHeader();
  trace.printState();
  trace.printInitialState();
}

TEST(TraceFileContainerTest, HandsEveryCallToSinksInOrder) {
  std::vector<std::string> log;
  RecordingSink first("first", &log);
  RecordingSink second("second", &log);
  TracePVModel model;
  BaseActionClass a("a", 0, Exponential, kDefaultExecutionPolicy, 0, 0, false);
  BaseActionClass b("b", 0, Exponential, kDefaultExecutionPolicy, 0, 0, false);
  TraceFileContainer trace;
  trace.setTraceLevel(0);  // the container's own level filters nothing
  EXPECT_EQ(trace.AddTraceFile(&first), 0);
  EXPECT_EQ(trace.AddTraceFile(&second), 0);
  trace.addPVModel(&model);

  trace.printHeader();
  trace.printInitialState();
  trace.printState();
  trace.printFireAction(&a, 0.5);
  trace.printPreFireAction(&a);
  trace.printPostFireAction(&a, &b);
  EXPECT_EQ(trace.printf(4, "The rate to this state: %f", 0.25), 0);
  trace.printStr(1, "The following state is absorbing: ");
  trace.newBatch();
  trace.printFooter();

  const std::vector<std::string> calls = {
      "header san",
      "initial san",
      "state san",
      "fire a 0.500000",
      "pre a",
      "post a b",
      "str 4 The rate to this state: 0.250000",
      "str 1 The following state is absorbing: ",
      "batch",
      "footer"};
  std::vector<std::string> expected;
  for (const std::string& call : calls) {
    expected.push_back("first: " + call);
    expected.push_back("second: " + call);
  }
  EXPECT_EQ(log, expected);
}

TEST(TraceFileContainerTest, LongFormattedTextIsCut) {
  std::vector<std::string> log;
  RecordingSink sink("s", &log);
  TraceFileContainer trace;
  trace.AddTraceFile(&sink);
  const std::string long_text(1500, 'x');

  EXPECT_EQ(trace.printf(1, "Enabled: %s", long_text.c_str()), 0);

  ASSERT_EQ(log.size(), 1u);
  const std::string kept = "Enabled: " + long_text;
  EXPECT_EQ(log[0], "s: str 1 " + kept.substr(0, 999));
}

TEST(TraceFileContainerTest, ShowsTracedModelThroughGeneratorSink) {
  TracePVModel model;
  std::ostringstream out;
  TraceFileTolvarSSG sink(&out);
  sink.setTraceLevel(1);
  TraceFileContainer trace;
  trace.AddTraceFile(&sink);
  trace.addPVModel(&model);

  trace.printInitialState();
  trace.printf(1, "State Number = %d", 1);
  trace.printf(4, "Checking Action: %s", "fault");
  trace.printState();

  const std::string block = TwoPlaceBlock(*model.san);
  EXPECT_EQ(out.str(),
            "Initial Model State:\n" + block + "State Number = 1\n" + block);
}

}  // namespace
