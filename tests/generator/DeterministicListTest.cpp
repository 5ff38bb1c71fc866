#include "generator/DeterministicList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>

namespace {

std::string Write(const DeterministicList& list, OutputFileType type) {
  std::ostringstream out;
  out << std::scientific << std::setprecision(10);
  list.writeEnablingStates(out, type);
  return out.str();
}

// States 3, 3, 5 enable delay 2; state 4 enables delay 1.5.
void RecordExample(DeterministicList& list) {
  list.insertEnablingState(3, 2.0);
  list.insertEnablingState(3, 2.0);
  list.insertEnablingState(4, 1.5);
  list.insertEnablingState(5, 2.0);
}

}  // namespace

TEST(DeterministicListTest, EmptyListWritesZeroCount) {
  DeterministicList list;
  EXPECT_EQ(Write(list, kTextOutputFile), "0\n");
  EXPECT_EQ(Write(list, kBinaryOutputFile), std::string(4, '\0'));
}

TEST(DeterministicListTest, WritesSetsInOrderOfFirstAppearance) {
  DeterministicList list;
  RecordExample(list);
  EXPECT_EQ(Write(list, kTextOutputFile),
            "2\n"
            "2.0000000000e+00\n3\n3\n5\n0\n"
            "1.5000000000e+00\n4\n0\n");

  const unsigned char expected[] = {2, 0, 0, 0,                    // sets
                                    0, 0, 0, 0, 0, 0, 0x00, 0x40,  // 2.0
                                    3, 0, 0, 0, 3, 0, 0,    0,
                                    5, 0, 0, 0,                    // states
                                    0, 0,                          // end mark
                                    0, 0, 0, 0, 0, 0, 0xF8, 0x3F,  // 1.5
                                    4, 0, 0, 0,                    // state
                                    0, 0};                         // end mark
  // Any value but 0 selects binary.
  for (int type : {1, 2, -1}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(
        Write(list, static_cast<OutputFileType>(type)),
        std::string(reinterpret_cast<const char*>(expected), sizeof(expected)));
  }
}

TEST(DeterministicListTest, GrowthKeepsEveryNumberAndSet) {
  DeterministicList list;
  for (int n = 1; n <= 10; ++n) list.insertEnablingState(n, 5.0);
  list.insertEnablingState(7, 1.0);
  EXPECT_EQ(list.RateInfo(0).StateCapacity(), 10u);
  list.insertEnablingState(11, 5.0);
  EXPECT_EQ(list.RateInfo(0).StateCapacity(), 20u);
  EXPECT_EQ(list.RateInfoCapacity(), 2);

  list.insertEnablingState(8, 3.0);
  EXPECT_EQ(list.RateInfoCapacity(), 4);
  EXPECT_EQ(list.RateInfoSize(), 3);

  const RateInfoType& five = list.RateInfo(0);
  EXPECT_EQ(five.Value(), 5.0);
  ASSERT_EQ(five.StateCount(), 11u);
  for (int n = 1; n <= 11; ++n) EXPECT_EQ(five.States()[n - 1], n);
  EXPECT_EQ(list.RateInfo(1).Value(), 1.0);
  ASSERT_EQ(list.RateInfo(1).StateCount(), 1u);
  EXPECT_EQ(list.RateInfo(1).States()[0], 7);
  EXPECT_EQ(list.RateInfo(2).Value(), 3.0);
  EXPECT_EQ(list.RateInfo(3).StateCount(), 0u);

  for (int n = 12; n <= 21; ++n) list.insertEnablingState(n, 5.0);
  EXPECT_EQ(list.RateInfo(0).StateCapacity(), 40u);
  EXPECT_EQ(list.RateInfo(0).States()[20], 21);
}

TEST(DeterministicListTest, OnlyExactlyEqualValuesShareASet) {
  struct Row {
    const char* name;
    double first;
    double second;
    int sets;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      {"equal", 2.0, 2.0, 1},
      {"last bit differs", 2.0, std::nextafter(2.0, 3.0), 2},
      {"zero signs", 0.0, -0.0, 1},
      {"NaN matches nothing", nan, nan, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DeterministicList list;
    list.insertEnablingState(1, row.first);
    list.insertEnablingState(2, row.second);
    EXPECT_EQ(list.RateInfoSize(), row.sets);
  }
}

TEST(DeterministicListTest, PrintListsEverySet) {
  DeterministicList list;
  list.insertEnablingState(7, 2.5);
  list.insertEnablingState(9, 2.5);
  testing::internal::CaptureStdout();
  list.printEnablingStates();
  const std::string rule(35, '-');
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            rule +
                "\nRateInfoSize = 1\nRateInfoCapacity = 2\nValue = 2.5\n"
                "[0] 7\n[1] 9\n" +
                rule + "\n");
}
