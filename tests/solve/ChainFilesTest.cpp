#include "solve/ChainFiles.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/RunProcess.h"

namespace {

// A state-space file with the header that normal generation writes.
std::string Arm(const std::string& blocks, std::uint32_t n = 3) {
  const std::string count = std::to_string(n);
  return "1\n" + count + "\n" + std::string(62 - count.size(), ' ') + "\n" +
         blocks;
}

const std::string kBlocks =
    "1\n1\n7.0000000000e+00\n2\n5.0000000000e-01\n0\n"
    "2\n1\n2.0000000000e+00\n3\n1.0000000000e+00\n0\n"
    "3\n0\n";

TEST(StateSpaceReaderTest, ReadsBlocksAndKeepsSelfLoopsApart) {
  StateSpace space;
  ASSERT_TRUE(ParseStateSpace(Arm(kBlocks), "x.arm", &space).ok);
  EXPECT_EQ(space.file_type, 1);
  ASSERT_EQ(space.num_states, 3u);
  EXPECT_EQ(space.num_self_loops, 1u);
  EXPECT_EQ(space.first.ToVector(), (std::vector<std::size_t>{0, 1, 3, 3}));
  EXPECT_EQ(space.target, (std::vector<std::uint32_t>{1, 0, 2}));
  EXPECT_EQ(space.rate.ToVector(), (std::vector<double>{0.5, 2.0, 1.0}));
  EXPECT_EQ(space.self_rate, (std::vector<double>{7.0, 0.0, 0.0}));
}

TEST(StateSpaceReaderTest, RejectsDamagedFilesWithTheLine) {
  struct Case {
    const char* name;
    std::string text;
    const char* message;
  };
  const std::string det_header = "1\n3\n" + std::string(6, ' ') + "\n";
  const std::vector<Case> cases = {
      {"empty", "", "x.arm:1: the file ends before the file type"},
      {"bad type", "one\n", "x.arm:1: expected the file type"},
      {"no states", "1\n0\n", "x.arm:2: expected the number of states"},
      {"truncated in a block", Arm("1\n2\n5e-01\n"),
       "x.arm:7: the file ends inside the block of state 1"},
      {"missing block", Arm("1\n0\n2\n0\n"),
       "x.arm:8: the file ends before the block of state 3 of 3"},
      {"blocks out of order", Arm("2\n0\n"),
       "x.arm:4: expected the block of state 1, found \"2\""},
      {"target out of range", Arm("1\n4\n1.0\n0\n"),
       "x.arm:5: target state 4 of state 1 is outside 1..3"},
      {"missing rate", Arm("1\n2\n"),
       "x.arm:6: the file ends before the rate from state 1 to state 2"},
      {"rate not a number", Arm("1\n2\nfast\n0\n"),
       "x.arm:6: expected the finite rate from state 1 to state 2"},
      {"infinite rate", Arm("1\n2\ninf\n0\n"), "x.arm:6: expected the finite"},
      {"negative entry", Arm("1\n2\n-1.0000000000e+00\n0\n2\n0\n3\n0\n"),
       "x.arm:6: negative entry -1.0000000000e+00 from state 1 to state 2: "
       "the file comes from deterministic generation"},
      {"deterministic header", det_header + "1\n0\n2\n0\n3\n0\n",
       "x.arm:3: the header placeholder has the length that deterministic "
       "generation writes"},
      {"trailing content", Arm("1\n0\n2\n0\n3\n0\n4\n0\n"),
       "x.arm:10: unexpected content \"4\" after the block of the last "
       "state 3"},
      {"repeated pair", Arm("1\n2\n1.0\n2\n1.0\n0\n2\n0\n3\n0\n"),
       "x.arm:7: target state 2 of state 1 does not follow the previous "
       "target 2"},
      {"decreasing targets", Arm("1\n3\n1.0\n2\n1.0\n0\n2\n0\n3\n0\n"),
       "x.arm:7: target state 2 of state 1 does not follow the previous "
       "target 3"},
      {"no final line feed", Arm("1\n0\n2\n0\n3\n0"),
       "x.arm:9: the last line does not end with a line feed"},
      {"cut inside a rate", Arm("1\n2\n1.5"),
       "x.arm:6: the last line does not end with a line feed"},
      {"negative after the same digits",
       Arm("1\n2\n1.0000000000e+00\n3\n-1.0000000000e+00\n0\n2\n0\n3\n0\n"),
       "x.arm:8: negative entry -1.0000000000e+00 from state 1 to state 3"},
      {"damaged copy of a rate seen before",
       Arm("1\n2\n1.0000000000e+00\n3\n1.0000000000e+0O\n0\n2\n0\n3\n0\n"),
       "x.arm:8: expected the finite rate from state 1 to state 3"},
      {"count beyond the file", "1\n4294967295\n1\n0\n",
       "x.arm:2: the header claims 4294967295 states, but the file of 17 "
       "bytes can hold at most 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StateSpace space;
    const Status status = ParseStateSpace(c.text, "x.arm", &space);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(c.message), std::string::npos)
        << status.message;
  }
}

// Rate texts are looked up before they are converted: texts alike but for
// one digit, equal values written differently, blanks and long texts must
// each give what a conversion of their own gives.
TEST(StateSpaceReaderTest, RateTextsSeenBeforeGiveTheirOwnValues) {
  const std::vector<std::string> texts = {
      "1.0000000000e+00",
      "1.0000000001e+00",
      "1e0",
      "1.0000000000e+00",
      " 1.0000000000e+00",
      "8.4000000000e-01",
      "8.4000000000e-02",
      "1.0000000001e+00",
      "0.100000000000000000000000000000000000000001",
      "0.100000000000000000000000000000000000000002",
      "1.0000000001e+00"};
  std::string block = "1\n";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    block += std::to_string(i + 2) + "\n" + texts[i] + "\n";
  }
  block += "0\n";
  std::vector<double> expected;
  for (std::size_t s = 2; s <= texts.size() + 1; ++s)
    block += std::to_string(s) + "\n0\n";
  for (const std::string& text : texts) {
    expected.push_back(std::strtod(text.c_str(), nullptr));
  }
  StateSpace space;
  const auto n = static_cast<std::uint32_t>(texts.size() + 1);
  ASSERT_TRUE(ParseStateSpace(Arm(block, n), "x.arm", &space).ok);
  EXPECT_EQ(space.rate.ToVector(), expected);
  EXPECT_TRUE(space.self_rate.empty());  // no self-loop: nothing per state
}

TEST(StateSpaceReaderTest, AcceptsAFileWithoutThePlaceholderLine) {
  StateSpace space;
  ASSERT_TRUE(
      ParseStateSpace("1\n2\n1\n2\n1.5\n0\n2\n0\n\n", "x.arm", &space).ok);
  EXPECT_EQ(space.num_transitions(), 1u);
}

TEST(StateSpaceReaderTest, RefusesMissingFilesFoldersAndPipesAtOnce) {
  ScopedTempDir dir;
  const std::string pipe = dir.path() + "/pipe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  struct Case {
    std::string path;
    const char* message;
  };
  // A named pipe with no writer must not hold the open.
  const std::vector<Case> cases = {
      {"/nonexistent/x.arm", ": cannot open: No such file or directory"},
      {dir.path(), ": not a regular file"},
      {pipe, ": not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    StateSpace space;
    const Status read = ReadStateSpace(c.path, &space);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.message, c.path + c.message);
    std::string contents;
    const Status loaded = LoadFile(c.path, &contents);
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.message, c.path + c.message);
  }
}

const char kTypes[] =
    "Version:1\nNumPV:2\n"
    "Name:up\nType:3\nNumTimes:1\nStart:0\nStop:1\n"
    "Name:down\nType:3\nNumTimes:2\nStart:0\nStop:1\nStart:1\nStop:2\n";

TEST(RewardTypesReaderTest, ReadsNamesAndTimePoints) {
  std::vector<RewardVariable> variables;
  ASSERT_TRUE(ParseRewardTypes(kTypes, "x.pvtype", &variables).ok);
  ASSERT_EQ(variables.size(), 2u);
  EXPECT_EQ(variables[0].name, "up");
  EXPECT_EQ(variables[1].name, "down");
  EXPECT_EQ(variables[1].stop_times, (std::vector<double>{1, 2}));
}

TEST(RewardTypesReaderTest, RejectsDamagedFilesWithTheLine) {
  const std::string full = kTypes;
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"Version:2\n", "x.pvtype:1: bad value \"2\" after Version:"},
      {"Version:1\nNumPV:x\n", "x.pvtype:2: bad value \"x\" after NumPV:"},
      {"Version:1\nNumPV:1\nName:a\nTyp:3\n",
       "x.pvtype:4: expected Type:, found \"Typ:3\""},
      {"Version:1\nNumPV:1\nName:a\nType:7\n",
       "x.pvtype:4: bad value \"7\" after Type: (3: steady state)"},
      {full.substr(0, full.size() - 7),
       "x.pvtype:14: the file ends before the line Stop:"},
      {full + "Name:extra\n", "x.pvtype:15: unexpected content \"Name:extra\""},
      {full.substr(0, full.size() - 1),
       "x.pvtype:14: the last line does not end with a line feed"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(message);
    std::vector<RewardVariable> variables;
    const Status status = ParseRewardTypes(text, "x.pvtype", &variables);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(message), std::string::npos)
        << status.message;
  }
}

const std::vector<std::string> kNames = {"up", "down"};

void AppendU32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void AppendDouble(std::string* out, double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  for (int i = 0; i < 8; ++i) {
    out->push_back(static_cast<char>(bits >> (8 * i)));
  }
}

// Binary records for states given in `order`; state s has impulse 0 and
// rate rewards s and 10 s.
std::string BinaryValues(const std::vector<std::uint32_t>& order) {
  std::string bytes = "up\ndown\n";
  for (std::uint32_t s : order) {
    AppendU32(&bytes, s);
    AppendDouble(&bytes, 0);
    AppendDouble(&bytes, s);
    AppendDouble(&bytes, 0);
    AppendDouble(&bytes, 10.0 * s);
  }
  return bytes;
}

TEST(RewardValuesReaderTest, TextAndBinaryRecordsGiveTheSameValues) {
  const std::string text =
      "up\ndown\n"
      "1\n0\n1\n0\n10\n"
      "2\n0\n2\n0\n20\n";
  RewardValues from_text;
  RewardValues from_binary;
  ASSERT_TRUE(ParseRewardValues(text, "x.var", kNames, 2, true, &from_text).ok);
  // Binary records in a different order land on the same states.
  ASSERT_TRUE(ParseRewardValues(BinaryValues({2, 1}), "x.var", kNames, 2, false,
                                &from_binary)
                  .ok);
  for (const RewardValues* values : {&from_text, &from_binary}) {
    EXPECT_EQ(values->rate[0], (std::vector<double>{1, 2}));
    EXPECT_EQ(values->rate[1], (std::vector<double>{10, 20}));
    EXPECT_EQ(values->impulse[1], (std::vector<double>{0, 0}));
  }
}

TEST(RewardValuesReaderTest, RejectsDamagedFiles) {
  struct Case {
    const char* name;
    std::string bytes;
    bool text;
    const char* message;
  };
  const std::string binary = BinaryValues({1, 2});
  const std::vector<Case> cases = {
      {"other names", "up\nsideways\n", true,
       "x.var:2: names \"sideways\" where the type file names \"down\""},
      {"truncated text", "up\ndown\n1\n0\n1\n0\n10\n2\n0\n", true,
       "x.var:10: the file ends inside the record of state 2"},
      {"missing record", "up\ndown\n1\n0\n1\n0\n10\n", true,
       "x.var:8: the file ends after 1 of 2 state records"},
      {"duplicate record", "up\ndown\n1\n0\n1\n0\n10\n1\n0\n1\n0\n10\n", true,
       "x.var:8: a second record for state 1"},
      {"state out of range", "up\ndown\n3\n", true,
       "x.var:3: state number 3 is outside 1..2"},
      {"bad reward", "up\ndown\n1\n0\nhigh\n", true,
       "x.var:5: expected the rate reward of up in state 1"},
      {"truncated binary", binary.substr(0, binary.size() - 1), false,
       "x.var: byte 44: the file ends inside binary record 2 of 2"},
      {"extra binary bytes", binary + "x", false,
       "x.var: byte 80: 1 bytes follow the last of 2 binary records"},
      {"binary state out of range", BinaryValues({1, 9}), false,
       "x.var: byte 44: state number 9 is outside 1..2"},
      {"cut inside a number", "up\ndown\n1\n0\n1\n0\n10\n2\n0\n2\n0\n2", true,
       "x.var:12: the last line does not end with a line feed"},
      {"header without line feed", "up\ndown", true,
       "x.var:2: the last line does not end with a line feed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RewardValues values;
    const Status status =
        ParseRewardValues(c.bytes, "x.var", kNames, 2, c.text, &values);
    EXPECT_FALSE(status.ok);
    EXPECT_NE(status.message.find(c.message), std::string::npos)
        << status.message;
  }
}

}  // namespace
