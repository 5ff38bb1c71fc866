#include "output/TransitionList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

// The writing thread merges the bytes of a recording where they lie; it must
// give the entries, bit for bit, that merging the list itself gives: targets
// in order, each sum formed in recording order (which the rows make visible:
// 1 + 2^-53 + 2^-53 is 1, 2^-53 + 2^-53 + 1 is not).
TEST(TransitionListTest, MergingRecordedBytesGivesTheListsOwnMerge) {
  struct Row {
    const char* name;
    std::vector<std::uint32_t> targets;
    std::vector<double> rates;
  };
  const double tiny = 0x1p-53;
  std::vector<Row> rows = {
      {"empty", {}, {}},
      {"one", {7}, {0.5}},
      {"order of addition", {5, 4, 5, 5}, {1.0, 3.0, tiny, tiny}},
      {"small first", {5, 5, 5}, {tiny, tiny, 1.0}},
  };
  // Past 32 records the merge sorts instead of inserting.
  Row long_row{"long", {}, {}};
  for (std::uint32_t k = 0; k < 70; ++k) {
    long_row.targets.push_back((k * 37) % 11 + 1);
    long_row.rates.push_back(k % 3 == 0 ? tiny : 1.0 + k);
  }
  rows.push_back(long_row);

  TransitionList reader;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TransitionList list;
    for (std::size_t i = 0; i < row.targets.size(); ++i) {
      list.Add(row.targets[i], row.rates[i]);
    }
    // As the chain carries them: the recording's bytes, in a byte buffer.
    const auto& recorded = list.RecordedRates();
    std::vector<char> bytes(recorded.size() * sizeof(TransitionList::Recorded) +
                            1);
    if (!recorded.empty()) {
      std::memcpy(bytes.data() + 1, recorded.data(),
                  recorded.size() * sizeof(TransitionList::Recorded));
    }
    std::size_t count = 0;
    const Transition* merged =
        reader.MergeRecorded(bytes.data() + 1, recorded.size(), count);
    const std::vector<Transition>& expected = list.Merge();
    ASSERT_EQ(count, expected.size());
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(merged[i].target, expected[i].target) << i;
      EXPECT_EQ(std::memcmp(&merged[i].rate, &expected[i].rate, sizeof(double)),
                0)
          << i << ": " << merged[i].rate << " against " << expected[i].rate;
    }
  }
}

// Lists of every length up to past the point where the merge changes
// method, with repeated targets (few of them, or many) and rates whose sum
// shows the order of addition: both merges give what an ordered map gives.
TEST(TransitionListTest, MergesOfEveryLengthMatchAnOrderedMap) {
  std::mt19937 random(99);
  const double rates[] = {1.0, 0x1p-53, 3.0, 0.1, 0x1p-53, 7.5};
  TransitionList list;
  TransitionList reader;
  for (std::size_t length = 0; length <= 40; ++length) {
    for (std::uint32_t spread : {3u, 1000u, 0xFFFFFFFFu}) {
      SCOPED_TRACE(std::to_string(length) + " rates over " +
                   std::to_string(spread) + " targets");
      list.Clear();
      std::map<std::uint32_t, double> sums;
      for (std::size_t k = 0; k < length; ++k) {
        // The largest targets too: the key's top half is the whole target.
        const std::uint32_t target = spread == 0xFFFFFFFFu
                                         ? 0xFFFFFFFFu - random() % 4
                                         : random() % spread;
        const double rate = rates[random() % 6];
        list.Add(target, rate);
        auto [entry, added] = sums.try_emplace(target, 0.0);
        entry->second += rate;
      }
      std::size_t count = 0;
      const Transition* recorded = reader.MergeRecorded(
          list.RecordedRates().data(), list.RecordedRates().size(), count);
      const std::vector<Transition>& merged = list.Merge();
      ASSERT_EQ(merged.size(), sums.size());
      ASSERT_EQ(count, sums.size());
      std::size_t i = 0;
      for (const auto& [target, sum] : sums) {
        EXPECT_EQ(merged[i].target, target);
        EXPECT_EQ(recorded[i].target, target);
        EXPECT_EQ(std::memcmp(&merged[i].rate, &sum, sizeof sum), 0) << i;
        EXPECT_EQ(std::memcmp(&recorded[i].rate, &sum, sizeof sum), 0) << i;
        ++i;
      }
    }
  }
}
