#include "output/ChainWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SlowSink.h"

namespace {

// A block or a reward record, in the order an explorer would hand it in.
struct Record {
  bool block;
  std::uint32_t number;
  std::vector<Transition> transitions;
  std::vector<double> values;
};

// Records of `variables` reward variables: mostly small blocks and
// records, some empty blocks, and one block larger than `big_bytes`.
std::vector<Record> Records(std::size_t count, std::size_t variables,
                            std::size_t big_bytes) {
  std::mt19937 random(7);
  std::vector<Record> records;
  for (std::size_t k = 0; k < count; ++k) {
    Record record{random() % 3 != 0, static_cast<std::uint32_t>(k + 1), {}, {}};
    std::size_t transitions = random() % 12;
    if (k == count / 2) transitions = big_bytes / sizeof(Transition) + 1;
    if (record.block) {
      for (std::size_t t = 0; t < transitions; ++t) {
        record.transitions.push_back(
            {static_cast<std::uint32_t>(random()), random() / 1e5});
      }
    } else {
      for (std::size_t v = 0; v < 2 * variables; ++v) {
        record.values.push_back(random() % 5 == 0 ? 0.0 : random() / 3e3);
      }
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::vector<std::string> Names(std::size_t variables) {
  std::vector<std::string> names;
  for (std::size_t v = 0; v < variables; ++v) {
    names.push_back("v" + std::to_string(v));
  }
  return names;
}

struct Files {
  std::string arm;
  std::string var;
};

// The files as the writers produce them without a chain.
Files Direct(const std::vector<Record>& records, std::size_t variables,
             bool text) {
  std::ostringstream arm_text;
  std::ostringstream var_text;
  {
    StateSpaceFile arm(arm_text);
    RewardValuesFile var(var_text, Names(variables), text);
    for (const Record& r : records) {
      if (r.block) {
        arm.WriteState(r.number, r.transitions);
      } else {
        var.Write(r.number, r.values.data());
      }
    }
  }
  return {arm_text.str(), var_text.str()};
}

void Hand(ChainWriter& chain, const Record& r) {
  if (r.block) {
    chain.WriteState(r.number, r.transitions);
  } else {
    chain.WriteRewards(r.number, r.values.data());
  }
}

const char* ModeName(ChainWriter::Mode mode) {
  return mode == ChainWriter::Mode::kThreaded ? "threaded" : "synchronous";
}

TEST(ChainWriterTest, SlowSinkGetsTheDirectBytesInOrder) {
  struct Row {
    ChainWriter::Mode mode;
    bool text;
    std::size_t variables;
    std::size_t chunk_bytes;
    std::size_t chunks;
    std::size_t records;
  };
  const Row rows[] = {
      {ChainWriter::Mode::kThreaded, true, 2, 512, 2, 20000},
      {ChainWriter::Mode::kThreaded, false, 3, 4096, 6, 20000},
      {ChainWriter::Mode::kThreaded, true, 0, 300, 3, 5000},
      {ChainWriter::Mode::kThreaded, true, 1, ChainWriter::kChunkBytes,
       ChainWriter::kChunks, 3},
      {ChainWriter::Mode::kSynchronous, true, 2, 512, 2, 20000},
      {ChainWriter::Mode::kSynchronous, false, 1, 4096, 6, 5000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(ModeName(row.mode)) +
                 (row.text ? " text" : " binary") + ", chunks of " +
                 std::to_string(row.chunk_bytes) + ", " +
                 std::to_string(row.records) + " records");
    const std::vector<Record> records =
        Records(row.records, row.variables, row.chunk_bytes);
    const Files expected = Direct(records, row.variables, row.text);
    SlowSink arm_sink;
    SlowSink var_sink;
    std::ostream arm_stream(&arm_sink);
    std::ostream var_stream(&var_sink);
    {
      StateSpaceFile arm(arm_stream);
      RewardValuesFile var(var_stream, Names(row.variables), row.text);
      ChainWriter chain(arm, var, row.mode, row.chunk_bytes, row.chunks);
      for (const Record& r : records) Hand(chain, r);
      EXPECT_TRUE(chain.Close());
      EXPECT_TRUE(chain.Close());
      EXPECT_FALSE(chain.Failed());
    }
    arm_stream.flush();
    var_stream.flush();
    EXPECT_TRUE(arm_sink.text() == expected.arm);
    EXPECT_TRUE(var_sink.text() == expected.var);
  }
}

TEST(ChainWriterTest, FailedSinkStopsTheChainWithoutBlocking) {
  constexpr std::size_t kChunkBytes = 1024;
  constexpr std::size_t kChunks = 3;
  constexpr std::size_t kLimit = 20000;
  struct Row {
    ChainWriter::Mode mode;
    bool arm_fails;
  };
  const Row rows[] = {
      {ChainWriter::Mode::kThreaded, true},
      {ChainWriter::Mode::kThreaded, false},
      {ChainWriter::Mode::kSynchronous, true},
      {ChainWriter::Mode::kSynchronous, false},
  };
  const std::vector<Record> records = Records(200000, 2, kChunkBytes);
  const Files expected = Direct(records, 2, true);
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(ModeName(row.mode)) +
                 (row.arm_fails ? ", .arm fails" : ", .var fails"));
    SlowSink arm_sink(row.arm_fails ? kLimit : SIZE_MAX);
    SlowSink var_sink(row.arm_fails ? SIZE_MAX : kLimit);
    std::ostream arm_stream(&arm_sink);
    std::ostream var_stream(&var_sink);
    StateSpaceFile arm(arm_stream);
    RewardValuesFile var(var_stream, Names(2), true);
    ChainWriter chain(arm, var, row.mode, kChunkBytes, kChunks);
    // The failure is noted within the chunks in flight after the limit,
    // and nothing handed in after it blocks: the whole list goes through.
    std::size_t handed = 0;
    std::size_t noticed_at = 0;
    for (const Record& r : records) {
      Hand(chain, r);
      ++handed;
      if (noticed_at == 0 && chain.Failed()) noticed_at = handed;
    }
    EXPECT_NE(noticed_at, 0u);
    EXPECT_LT(noticed_at, records.size() / 4);
    EXPECT_FALSE(chain.Close());
    EXPECT_TRUE(chain.Failed());
    // What reached the sink is the start of the direct file, in order.
    const std::string& good = row.arm_fails ? expected.var : expected.arm;
    const std::string& partial =
        row.arm_fails ? arm_sink.text() : var_sink.text();
    const std::string& full = row.arm_fails ? expected.arm : expected.var;
    EXPECT_LE(partial.size(), kLimit);
    EXPECT_TRUE(full.compare(0, partial.size(), partial) == 0);
    // The other file stopped with the chain, also in order.
    const std::string& other =
        row.arm_fails ? var_sink.text() : arm_sink.text();
    EXPECT_LT(other.size(), good.size());
    EXPECT_TRUE(good.compare(0, other.size(), other) == 0);
  }
}

}  // namespace
