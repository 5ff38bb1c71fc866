#include "solve/AvailableMemory.h"

#include <cstddef>
#include <vector>

#include "gtest/gtest.h"

namespace {

TEST(AvailableMemoryTest, ReadsMemAvailableInKibibytes) {
  struct Row {
    const char* name;
    const char* text;
    std::size_t bytes;
  };
  const std::vector<Row> rows = {
      {"usual layout",
       "MemTotal:       24522904 kB\nMemFree:          512000 kB\n"
       "MemAvailable:   20971520 kB\nBuffers:            1024 kB\n",
       std::size_t{20971520} * 1024},
      {"first line", "MemAvailable: 1 kB\n", 1024},
      {"last line without line feed", "MemFree: 5 kB\nMemAvailable: 7 kB",
       7168},
      {"missing", "MemTotal: 5 kB\nMemFree: 5 kB\n", 0},
      {"another unit", "MemAvailable: 7 MB\n", 0},
      {"no number", "MemAvailable:  kB\n", 0},
      {"a longer key", "XMemAvailable: 7 kB\n", 0},
      {"too large", "MemAvailable: 99999999999999999999 kB\n", 0},
      {"empty", "", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(ParseAvailableMemory(row.text), row.bytes);
  }
}

}  // namespace
