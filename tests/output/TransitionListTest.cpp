#include "output/TransitionList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
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
