#include "output/ChainWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/SlowSink.h"

namespace {

// A block (transitions) or a reward record (values), in hand-in order.
struct Record {
  std::uint32_t number;
  std::vector<Transition> transitions;
  std::vector<double> values;
};

// Small blocks, empty blocks, records of two variables, and in the middle
// one block larger than `big_bytes`.
std::vector<Record> Records(std::size_t count, std::size_t big_bytes) {
  std::mt19937 random(7);
  std::vector<Record> records(count);
  for (std::size_t k = 0; k < count; ++k) {
    Record& r = records[k];
    r.number = static_cast<std::uint32_t>(k + 1);
    const bool big = k == count / 2;
    if (random() % 3 == 0 && !big) {
      for (int v = 0; v < 4; ++v) r.values.push_back(random() % 3 / 7.0);
      continue;
    }
    const std::size_t n =
        big ? big_bytes / sizeof(Transition) + 1 : random() % 12;
    for (std::size_t t = 0; t < n; ++t) {
      r.transitions.push_back({std::uint32_t(random()), random() / 1e5});
    }
  }
  return records;
}

// Writes `records` through the writers, directly or (with `chain_bytes`)
// through a chain; `limit` fails the .arm sink (or the .var sink, when
// negative) after that many bytes.
struct Written {
  std::string arm, var;
  bool closed_ok = true;
  std::size_t noticed_at = 0;  // records handed in when Failed() first held
};
Written Write(const std::vector<Record>& records, bool text,
              ChainWriter::Mode mode, std::size_t chain_bytes = 0,
              long limit = 0) {
  SlowSink arm_sink(limit > 0 ? limit : SIZE_MAX);
  SlowSink var_sink(limit < 0 ? -limit : SIZE_MAX);
  std::ostream arm_stream(&arm_sink), var_stream(&var_sink);
  Written w;
  {
    StateSpaceFile arm(arm_stream);
    RewardValuesFile var(var_stream, {"a", "b"}, text);
    std::optional<ChainWriter> chain;
    if (chain_bytes > 0) chain.emplace(arm, var, mode, chain_bytes, 3);
    for (std::size_t k = 0; k < records.size(); ++k) {
      const Record& r = records[k];
      if (!chain) {
        if (r.values.empty()) arm.WriteState(r.number, r.transitions);
        if (!r.values.empty()) var.Write(r.number, r.values.data());
        continue;
      }
      if (r.values.empty()) chain->WriteState(r.number, r.transitions);
      if (!r.values.empty()) chain->WriteRewards(r.number, r.values.data());
      if (w.noticed_at == 0 && chain->Failed()) w.noticed_at = k + 1;
    }
    if (chain) {
      w.closed_ok = chain->Close();
      EXPECT_EQ(chain->Close(), w.closed_ok);
    }
  }
  arm_stream.flush();
  var_stream.flush();
  w.arm = arm_sink.text();
  w.var = var_sink.text();
  return w;
}

TEST(ChainWriterTest, SlowSinkGetsTheDirectBytesInOrder) {
  const auto threaded = ChainWriter::Mode::kThreaded;
  const auto synchronous = ChainWriter::Mode::kSynchronous;
  const struct {
    ChainWriter::Mode mode;
    bool text;
    std::size_t chunk_bytes, records;
  } rows[] = {{threaded, true, 512, 20000},    {threaded, false, 4096, 20000},
              {threaded, true, 1 << 18, 3},    {threaded, true, 1 << 18, 0},
              {synchronous, true, 512, 20000}, {synchronous, false, 300, 5000}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.chunk_bytes) + " bytes, " +
                 std::to_string(row.records) + " records, mode " +
                 std::to_string(int(row.mode)) + (row.text ? " text" : ""));
    const std::vector<Record> records = Records(row.records, row.chunk_bytes);
    const Written direct = Write(records, row.text, row.mode);
    const Written chained = Write(records, row.text, row.mode, row.chunk_bytes);
    EXPECT_TRUE(chained.closed_ok);
    EXPECT_TRUE(chained.arm == direct.arm);
    EXPECT_TRUE(chained.var == direct.var);
  }
}

TEST(ChainWriterTest, FailedSinkStopsTheChainWithoutBlocking) {
  const std::vector<Record> records = Records(20000, 1024);
  const Written direct = Write(records, true, ChainWriter::Mode::kThreaded);
  for (auto mode :
       {ChainWriter::Mode::kThreaded, ChainWriter::Mode::kSynchronous}) {
    for (long limit : {5000L, -5000L}) {
      SCOPED_TRACE("mode " + std::to_string(int(mode)) + ", limit " +
                   std::to_string(limit));
      // Noticed within the chunks in flight; everything handed in after
      // it is dropped without waiting for the stopped thread.
      const Written w = Write(records, true, mode, 1024, limit);
      EXPECT_FALSE(w.closed_ok);
      EXPECT_NE(w.noticed_at, 0u);
      EXPECT_LT(w.noticed_at, 2000u);
      // Both files hold the start of the direct ones, in order.
      EXPECT_TRUE(direct.arm.compare(0, w.arm.size(), w.arm) == 0);
      EXPECT_TRUE(direct.var.compare(0, w.var.size(), w.var) == 0);
      EXPECT_LE((limit > 0 ? w.arm : w.var).size(), 5000u);
    }
  }
}

// Rates handed in as recorded come out summed per target, in target order,
// as a block written directly with the sums worked out here.
TEST(ChainWriterTest, RecordedRatesAreSummedPerTarget) {
  // Short lists are merged by insertion, long ones (more than 32 rates) by
  // a sort; 40 rates k + 1 into target t = k % 7 + 1 sum to
  // m t + 7 m (m - 1) / 2 (the rates t + 7 j for j = 0..m - 1).
  std::vector<Record> expected;
  std::vector<TransitionList> lists(3);
  lists[0].Add(3, 0.5);
  lists[0].Add(1, 0.25);
  lists[0].Add(3, 1.5);
  lists[0].Add(2, 2.0);
  lists[0].Add(1, 0.125);
  expected.push_back({1, {{1, 0.375}, {2, 2.0}, {3, 2.0}}, {}});
  expected.push_back({2, {}, {}});  // lists[1] stays empty
  for (std::uint32_t k = 0; k < 40; ++k) lists[2].Add(k % 7 + 1, k + 1.0);
  Record long_list{3, {}, {}};
  for (std::uint32_t t = 1; t <= 7; ++t) {
    const std::uint32_t m = t <= 5 ? 6 : 5;  // k = t - 1 + 7 j < 40
    long_list.transitions.push_back({t, 7.0 * m * (m - 1) / 2 + m * t});
  }
  expected.push_back(long_list);
  const Written direct = Write(expected, true, ChainWriter::Mode::kThreaded);
  for (auto mode :
       {ChainWriter::Mode::kThreaded, ChainWriter::Mode::kSynchronous}) {
    SCOPED_TRACE("mode " + std::to_string(int(mode)));
    SlowSink arm_sink(SIZE_MAX), var_sink(SIZE_MAX);
    std::ostream arm_stream(&arm_sink), var_stream(&var_sink);
    {
      StateSpaceFile arm(arm_stream);
      RewardValuesFile var(var_stream, {"a", "b"}, true);
      ChainWriter chain(arm, var, mode, 512, 3);
      for (std::uint32_t k = 0; k < lists.size(); ++k) {
        ASSERT_TRUE(lists[k].SumsSurelyFinite());
        chain.WriteRecordedState(k + 1, lists[k]);
      }
      EXPECT_TRUE(chain.Close());
    }
    arm_stream.flush();
    EXPECT_EQ(arm_sink.text(), direct.arm);
  }
}

TEST(ChainWriterTest, OnlySumsThatCannotOverflowAreLeftToTheWriter) {
  const double max = std::numeric_limits<double>::max();
  const struct {
    std::vector<double> rates;
    bool surely_finite;
  } rows[] = {{{}, true},
              {{1e307, -1e307}, true},
              // finite, but its magnitude is not: summed and checked early
              {{1e308, -1e308}, false},
              {{max / 4, max / 4}, true},
              {{max / 2, max / 2}, false},
              {{1e308, 1e308}, false},
              {{1.0, std::numeric_limits<double>::quiet_NaN()}, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.rates));
    TransitionList list;
    for (double rate : row.rates) list.Add(1, rate);
    EXPECT_EQ(list.SumsSurelyFinite(), row.surely_finite);
    list.Clear();
    EXPECT_TRUE(list.SumsSurelyFinite());
  }
}

}  // namespace
