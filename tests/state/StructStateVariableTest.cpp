#include "state/StructStateVariable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <vector>

#include "framework/BaseActionClass.h"
#include "state/Place.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A scalar field of any width whose image bytes are all `fill`.
class FilledField : public BaseStateVariableClass {
 public:
  FilledField(int width, unsigned char fill)
      : BaseStateVariableClass("f", ""), width_(width), fill_(fill) {}
  int StateSize() override { return width_; }
  void SetState(void* image) override {
    fill_ = *static_cast<unsigned char*>(image);
  }
  void CurrentState(void* image) override {
    std::memset(image, fill_, static_cast<std::size_t>(width_));
  }
  void share(BaseStateVariableClass*) override {}

 private:
  int width_;
  unsigned char fill_;
};

TEST(StructStateVariableTest, FieldsAdvanceByTheirTypeWidth) {
  const ArrayType types[] = {kShortElement, kDoubleElement, kCharElement};
  BaseStructStateVariable record("s", "", types, 3);
  FilledField f0(2, 0xA0), f1(8, 0xB1), f2(1, 0xC2);
  record.fields[0].variable = &f0;
  record.fields[1].variable = &f1;
  record.fields[2].variable = &f2;
  EXPECT_EQ(record.StateSize(), 11);
  Bytes image(11, 0);
  record.CurrentState(image.data());
  EXPECT_EQ(image, (Bytes{0xA0, 0xA0, 0xB1, 0xB1, 0xB1, 0xB1, 0xB1, 0xB1, 0xB1,
                          0xB1, 0xC2}));
  image[2] = 0x11;
  image[10] = 0x22;
  record.SetState(image.data());
  Bytes again(11, 0);
  record.CurrentState(again.data());
  EXPECT_EQ(again[2], 0x11);
  EXPECT_EQ(again[10], 0x22);
}

TEST(StructStateVariableTest, WidthsOfEveryCodeAndNesting) {
  struct Row {
    ArrayType type;
    int width;
  };
  const Row rows[] = {{kShortElement, 2},
                      {kIntElement, 4},
                      {kCharElement, 1},
                      {kDoubleElement, 8},
                      {kFloatElement, 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    BaseStructStateVariable record("s", "", &row.type, 1);
    EXPECT_EQ(record.StateSize(), row.width);
  }

  const ArrayType inner_types[] = {kIntElement, kIntElement};
  BaseStructStateVariable inner("in", "", inner_types, 2);
  const ArrayType outer_types[] = {kShortElement, kStructElement};
  BaseStructStateVariable outer("out", "", outer_types, 2);
  outer.fields[1].variable = &inner;
  EXPECT_EQ(outer.StateSize(), 2 + 8);
}

class PlaceRecordTest : public testing::Test {
 protected:
  PlaceRecordTest() : a_("a", 1), b_("b", 2), record_("s", "", kTypes, 2) {
    record_.fields[0].variable = &a_;
    record_.fields[1].variable = &b_;
  }

  static constexpr ArrayType kTypes[2] = {kShortElement, kShortElement};
  Place a_;
  Place b_;
  BaseStructStateVariable record_;
};

constexpr ArrayType PlaceRecordTest::kTypes[2];

TEST_F(PlaceRecordTest, PrintState) {
  std::ostringstream out;
  record_.printState(&out);
  EXPECT_EQ(out.str(), "s = {\n.a = 1\n.b = 2\n}\n");
}

TEST_F(PlaceRecordTest, ArcsListTheLeaves) {
  EXPECT_FALSE(record_.isLeafNode());
  EXPECT_EQ(record_.getNumLeafNodes(), 2);
  std::unique_ptr<List<BaseStateVariableClass>> leaves = record_.getLeafNodes();
  ASSERT_EQ(leaves->getNumItems(), 2);
  EXPECT_EQ((*leaves)[0], &a_);
  EXPECT_EQ((*leaves)[1], &b_);

  BaseActionClass action;
  record_.appendEnabledAction(&action);
  action.addEnablingSV(&record_);
  ASSERT_EQ(action.EnablingSVs.getNumItems(), 2);
  EXPECT_EQ(action.EnablingSVs[0], &a_);
  EXPECT_EQ(action.EnablingSVs[1], &b_);
  EXPECT_EQ(a_.getNumEnabledActions(), 1);
  EXPECT_EQ(record_.getNumEnabledActions(), 1);

  record_.appendAffectingAction(&action);
  action.addAffectedSV(&record_);
  EXPECT_EQ(action.AffectedSVs.getNumItems(), 2);
  EXPECT_EQ(b_.getNumAffectingActions(), 1);
  action.removeAffectedSV(&record_);
  EXPECT_EQ(action.AffectedSVs.getNumItems(), 0);
}

TEST_F(PlaceRecordTest, ShareWithJoinsFieldByField) {
  Place c("c", 8);
  Place d("d", 9);
  BaseStructStateVariable other("t", "", kTypes, 2);
  other.fields[0].variable = &c;
  other.fields[1].variable = &d;
  BaseActionClass reads_other;
  other.appendEnabledAction(&reads_other);

  record_.share(&other);
  EXPECT_EQ(a_.getMark(), 8);
  EXPECT_EQ(b_.getMark(), 9);
  a_.setMark(5);
  EXPECT_EQ(c.getMark(), 5);
  EXPECT_FALSE(other.getStored());
  EXPECT_TRUE(other.getShared());
  EXPECT_EQ(other.getEnabledActions(), record_.getEnabledActions());
  EXPECT_TRUE(record_.getEnabledActions()->contains(&reads_other));
}

TEST(StructStateVariableDeathTest, ContractViolations) {
  const ArrayType two[] = {kShortElement, kShortElement};
  Place a("a", 0), b("b", 0), c("c", 0);
  BaseStructStateVariable longer("l", "", two, 2);
  longer.fields[0].variable = &a;
  longer.fields[1].variable = &b;
  BaseStructStateVariable shorter("s", "", two, 1);
  shorter.fields[0].variable = &c;
  EXPECT_DEATH(longer.share(&shorter),
               "StructStateVariable.*`otheri!=otherStruct->fields.end\\(\\)' "
               "failed");
  EXPECT_DEATH(longer.share(&c), "`otherStruct' failed");
}

TEST(StructStateVariableTest, EmptyRecordIsALeaf) {
  BaseStructStateVariable empty("e", "");
  EXPECT_TRUE(empty.isLeafNode());
  EXPECT_EQ(empty.getNumLeafNodes(), 1);
  EXPECT_EQ(empty.getLeafNodes()->getNumItems(), 0);
  EXPECT_EQ(empty.StateSize(), 0);
}

TEST(StructStateVariableTest, ImageTemplatesCopyRawBytes) {
  short shorts[3] = {1, 2, 3};
  Bytes image(6, 0);
  writeArray(shorts, image.data(), 3);
  EXPECT_EQ(image, (Bytes{0x01, 0x00, 0x02, 0x00, 0x03, 0x00}));
  short back[3] = {0, 0, 0};
  readArray(back, image.data(), 3);
  EXPECT_EQ(back[2], 3);

  unsigned char buffer[8];
  writeMemory(2.5, buffer);
  double d = 0.0;
  readMemory2(buffer, &d);
  EXPECT_EQ(d, 2.5);
  writeMemory(true, buffer);
  bool flag = false;
  readMemory2(buffer, &flag);
  EXPECT_TRUE(flag);
}

}  // namespace
