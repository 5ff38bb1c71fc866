#include "trace/TraceFileTolvarSSG.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "framework/BaseActionClass.h"
#include "tests/trace/TraceTestModels.h"

namespace {

const std::string kHeader =
    "**************************************\n"
    "\t\tTRACE\n"
    "**************************************\n";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(TraceFileTolvarSSGTest, LevelDecidesWhatIsPrinted) {
  struct Row {
    int level;
    bool firing;    // level 1 and up
    bool enabling;  // level 2 and up
    bool level4;
  };
  const Row rows[] = {{0, false, false, false},
                      {1, true, false, false},
                      {2, true, true, false},
                      {4, true, true, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE("level " + std::to_string(row.level));
    TestModel model("san");
    AddTwoPlaces(model);
    BaseActionClass& action = model.activity(0);
    std::ostringstream out;
    TraceFileTolvarSSG sink(&out);
    sink.setTraceLevel(row.level);

    sink.printHeader(nullptr);
    sink.printFireAction(&action, 2.5);
    sink.printPreFireAction(&action);
    sink.printStr(1, "one");
    sink.printStr(4, "four");
    sink.printStr(5, "five");
    EXPECT_EQ(sink.printf(0, "direct %d", 1), 0);
    sink.newBatch();
    sink.printPostFireAction(&action, nullptr);
    sink.printState(&model);

    std::string expected = kHeader;
    if (row.firing) expected += "Firing Action: fault\n";
    if (row.enabling) {
      expected += "Enabling state before action firing:\n  A = 3\n";
    }
    if (row.firing) expected += "one\n";
    if (row.level4) expected += "four\n";
    expected += "##### NEW BATCH #####\n";
    expected += "State after firing action: fault\n";
    expected += TwoPlaceBlock(model);
    EXPECT_EQ(out.str(), expected);
  }
}

TEST(TraceFileTolvarSSGTest, ModelBlockFollowsChildrenInOrder) {
  ComposedModel model;
  model.left().place(0).setMark(5);
  std::ostringstream out;
  TraceFileTolvarSSG sink(&out);

  sink.printInitialState(&model);

  EXPECT_EQ(out.str(), "Initial Model State:\n  Model: (" +
                           std::to_string(model.ModelId) + ")top\n    X = 1\n" +
                           "  Model: (" + std::to_string(model.left().ModelId) +
                           ")left\n    A = 5\n    B = -2\n" +
                           TwoPlaceBlock(model.right()));
}

// A group-like action whose trace shows the enabling state of its member.
class ShowsMember : public BaseActionClass {
 public:
  explicit ShowsMember(BaseActionClass* member) : member_(member) {}
  BaseActionClass* getPrintedAction() override { return member_; }

 private:
  BaseActionClass* member_;
};

TEST(TraceFileTolvarSSGTest, EnablingStateComesFromPrintedAction) {
  TestModel model("san");
  Place& a = model.AddPlace("A", 3);
  Place& b = model.AddPlace("B", -2);
  Place& r = model.AddReadOnlyPlace("R", 7);
  model.AddInstantaneous("member").Reads({&b, &a});
  model.Finish();
  ShowsMember group(&model.activity(0));
  group.addEnablingSV(&r);
  std::ostringstream out;
  TraceFileTolvarSSG sink(&out);
  sink.setTraceLevel(2);

  sink.printPreFireAction(&group);

  EXPECT_EQ(out.str(),
            "Enabling state before action firing:\n  B = -2\n  A = 3\n");
}

TEST(TraceFileTolvarSSGTest, FileSinkFlushesEveryLine) {
  const std::string path = testing::TempDir() + "trace_sink_test.txt";
  {
    std::ofstream old(path);
    old << "left over from an earlier run\n";
  }
  TraceFileTolvarSSG sink(path.c_str());
  EXPECT_EQ(sink.getTraceLevel(), 0);

  sink.printHeader(nullptr);
  EXPECT_EQ(ReadFile(path), kHeader);  // read while the sink is still open
  sink.printStr(0, "State Number = 1");
  EXPECT_EQ(ReadFile(path), kHeader + "State Number = 1\n");
}

TEST(TraceFileTolvarSSGTest, UncreatableFileWarnsAndRunGoesOn) {
  const std::string path = testing::TempDir() + "no_such_folder/trace.txt";
  testing::internal::CaptureStderr();
  TraceFileTolvarSSG sink(path.c_str());
  const std::string warning = testing::internal::GetCapturedStderr();

  EXPECT_EQ(warning, "Warning: could not create trace file " + path +
                         "; trace output is lost\n");
  testing::internal::CaptureStderr();
  sink.printHeader(nullptr);
  sink.printStr(0, "lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // said once
}

// A trace that stops being written warns once, with the system's reason;
// the run goes on (the results do not depend on the trace).
TEST(TraceFileTolvarSSGTest, FailedWriteWarnsOnceAndRunGoesOn) {
  testing::internal::CaptureStderr();
  {
    TraceFileTolvarSSG sink("/dev/full");
    sink.setTraceLevel(4);
    sink.printHeader(nullptr);
    for (int i = 0; i < 100; ++i) sink.printStr(1, "State Number = 1");
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: could not write trace file /dev/full: No space left on "
            "device; the rest of the trace is lost\n");

  // A stream the sink does not own is its owner's to check.
  std::ostringstream borrowed;
  borrowed.setstate(std::ios::badbit);
  testing::internal::CaptureStderr();
  TraceFileTolvarSSG sink(&borrowed);
  sink.printStr(0, "lost");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
