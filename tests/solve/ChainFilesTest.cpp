#include "solve/ChainFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "solve/TwoWayPool.h"
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

// solve turns to a .dch only for the header deterministic generation
// writes: 7 characters of count and spaces after the type line.
TEST(StateSpaceReaderTest, TellsTheDeterministicHeaderApart) {
  EXPECT_TRUE(HasDeterministicHeader("1\n3\n      \n1\n"));
  EXPECT_TRUE(HasDeterministicHeader("1\n123456\n \n"));
  EXPECT_FALSE(HasDeterministicHeader("1\n3\n       \n"));  // one too many
  EXPECT_FALSE(HasDeterministicHeader("1\n3\n" + std::string(61, ' ') +
                                      "\n"));  // a Markov chain's
  EXPECT_FALSE(HasDeterministicHeader("1\n3\n"));
  EXPECT_FALSE(HasDeterministicHeader("1\nx\n      \n"));
  EXPECT_FALSE(HasDeterministicHeader("1\n12345678\n\n"));
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

namespace {

// A state-space file whose blocks vary: empty blocks, self-loops, zero
// rates written two ways, long blocks, and with `many_rates` 400 distinct
// rates spread over the file, so that each half alone fits 1-byte codes and
// both together do not.
// `starts`, where given, receives the offset of each state's block, from
// state 1 at index 1.
std::string VariedArm(std::uint32_t n, bool many_rates, bool placeholder,
                      const std::string& eol,
                      std::vector<std::size_t>* starts = nullptr) {
  std::mt19937 random(11);
  std::string text = "1" + eol + std::to_string(n) + eol;
  if (placeholder) {
    text += std::string(62 - std::to_string(n).size(), ' ') + eol;
  }
  std::size_t count = 0;
  if (starts != nullptr) starts->assign(1, 0);
  for (std::uint32_t s = 1; s <= n; ++s) {
    if (starts != nullptr) starts->push_back(text.size());
    text += std::to_string(s) + eol;
    const std::uint32_t shape = random() % 8;
    for (std::uint32_t t = 1; shape != 0 && t <= n; ++t) {
      if (random() % (shape == 7 ? 2 : n / 3 + 1) != 0 && t != s) continue;
      std::string rate = "1.2500000000e+00";
      if (many_rates) {
        rate = std::to_string(1.0 + static_cast<double>(count % 400) / 64);
      } else if (random() % 9 == 0) {
        rate = random() % 2 == 0 ? "0" : "0.0000000000e+00";
      } else if (random() % 3 == 0) {
        rate = "8.4000000000e-01";
      }
      ++count;
      text += std::to_string(t) + eol + rate + eol;
    }
    text += "0" + eol;
  }
  return text;
}

// Everything the reader leaves, codes and table included.
void ExpectSameSpace(const StateSpace& got, const StateSpace& want) {
  EXPECT_EQ(got.file_type, want.file_type);
  EXPECT_EQ(got.num_states, want.num_states);
  EXPECT_EQ(got.first, want.first);
  EXPECT_EQ(got.target, want.target);
  EXPECT_EQ(got.rate.ToVector(), want.rate.ToVector());
  ASSERT_EQ(got.rate.form(), want.rate.form());
  ASSERT_EQ(got.rate.distinct(), want.rate.distinct());
  const std::size_t k = want.rate.distinct();
  EXPECT_TRUE(
      std::equal(got.rate.table(), got.rate.table() + k, want.rate.table()));
  EXPECT_EQ(got.self_rate, want.self_rate);
  EXPECT_EQ(got.num_self_loops, want.num_self_loops);
  EXPECT_EQ(got.num_zero_rates, want.num_zero_rates);
}

// Read in two parts from every possible split point, the chain is the one
// a single pass reads; most split points find a block start and use it.
TEST(StateSpaceReaderTest, TwoPartsReadWhatOnePassReads) {
  TwoWayPool pool(2);
  struct Case {
    const char* name;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"varied blocks", VariedArm(60, false, true, "\n")},
      {"400 distinct rates", VariedArm(60, true, true, "\n")},
      {"line ends with CR", VariedArm(40, false, true, "\r\n")},
      {"no placeholder line", VariedArm(40, false, false, "\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StateSpace one_pass;
    ASSERT_TRUE(ParseStateSpace(c.text, "x.arm", &one_pass).ok);
    std::size_t joins = 0;
    for (std::size_t at = 1; at < c.text.size(); ++at) {
      SCOPED_TRACE(at);
      bool joined = false;
      StateSpace two_parts;
      ASSERT_TRUE(
          ParseStateSpace(c.text, "x.arm", &two_parts, {&pool, 0, at, &joined})
              .ok);
      ExpectSameSpace(two_parts, one_pass);
      joins += joined;
    }
    EXPECT_GT(joins, c.text.size() / 2);
  }
}

// A damaged file reports, from any split point, the defect a single pass
// reports first, with its line: defects in the first part, in the second,
// in both, at the very end, and a zero rate that fakes a block start.
TEST(StateSpaceReaderTest, TwoPartsReportTheFirstDefectOfOnePass) {
  TwoWayPool pool(2);
  std::vector<std::size_t> block;
  const std::string good = VariedArm(30, false, true, "\n", &block);
  // Replaces the lines from the block of `state` up to that of `until`.
  auto splice = [&](const std::string& text, std::uint32_t state,
                    std::uint32_t until, const std::string& lines) {
    return text.substr(0, block[state]) + lines + text.substr(block[until]);
  };
  auto insert = [&](const std::string& text, std::uint32_t state,
                    const std::string& lines) {
    return splice(text, state, state, lines);
  };
  // State 5 goes to 7, 8, 9 and 10 at rate 0: "0", "8", "0", "9", "0",
  // "10", "0" looks like the end of a block and three empty blocks.
  const std::string fake_block = "5\n7\n0\n8\n0\n9\n0\n10\n0\n0\n";
  const std::string fake = splice(good, 5, 6, fake_block);
  const std::string late = splice(good, 26, 27, "26\n3\nx\n0\n");
  struct Case {
    const char* name;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"fake block start", fake},
      {"bad block early", insert(good, 4, "x\n")},
      {"bad rate late", late},
      {"both", insert(late, 4, "x\n")},
      {"blocks spliced", splice(good, 20, 22, "")},
      {"truncated", good.substr(0, good.size() - 3)},
      {"no final line feed", good.substr(0, good.size() - 1)},
      {"trailing content", good + "\n7\n"},
      {"fake start, then a defect", splice(late, 5, 6, fake_block)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StateSpace space;
    const Status one_pass = ParseStateSpace(c.text, "x.arm", &space);
    for (std::size_t at = 1; at < c.text.size(); ++at) {
      SCOPED_TRACE(at);
      const Status two_parts =
          ParseStateSpace(c.text, "x.arm", &space, {&pool, 0, at, nullptr});
      EXPECT_EQ(two_parts.ok, one_pass.ok);
      EXPECT_EQ(two_parts.message, one_pass.message);
    }
    if (std::string(c.name) == "fake block start") {
      EXPECT_TRUE(one_pass.ok) << one_pass.message;
      // From just before the fake, the reader starts the second part there
      // and drops it when the first part passes it.
      bool joined = true;
      StateSpace two_parts;
      const std::size_t before_fake = c.text.find(fake_block);
      ASSERT_TRUE(ParseStateSpace(c.text, "x.arm", &two_parts,
                                  {&pool, 0, before_fake + 2, &joined})
                      .ok);
      EXPECT_FALSE(joined);
      ExpectSameSpace(two_parts, space);
    } else {
      EXPECT_FALSE(one_pass.ok);
    }
  }
}

// From a file: both parts read blocks of their own, lines straddle them,
// the progress reports never pass the file's size, and the chain is the
// one a single pass reads.
TEST(StateSpaceReaderTest, TwoPartsReadAFileAsOnePass) {
  ScopedTempDir dir;
  const std::string path = dir.path() + "/x.arm";
  const std::string text = VariedArm(3000, false, true, "\n");
  std::ofstream(path, std::ios::binary) << text;
  StateSpace one_pass;
  ASSERT_TRUE(ReadStateSpace(path, &one_pass).ok);
  TwoWayPool pool(2);
  bool joined = false;
  std::size_t last = 0;
  StateSpace two_parts;
  const Status status =
      ReadStateSpace(path, &two_parts,
                     [&](std::size_t done, std::size_t total) {
                       EXPECT_LE(done, total);
                       last = done;
                     },
                     {&pool, 0, 0, &joined});
  ASSERT_TRUE(status.ok) << status.message;
  EXPECT_TRUE(joined);
  EXPECT_EQ(last, text.size());
  ExpectSameSpace(two_parts, one_pass);
  // One thread, or a file below the threshold: one pass.
  TwoWayPool alone(1);
  for (const ReadSharing& sharing :
       {ReadSharing{&alone, 0, 0, &joined},
        ReadSharing{&pool, text.size() + 1, 0, &joined}}) {
    ASSERT_TRUE(ReadStateSpace(path, &two_parts, {}, sharing).ok);
    EXPECT_FALSE(joined);
  }
}

}  // namespace
