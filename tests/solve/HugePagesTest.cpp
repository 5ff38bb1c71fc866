#include "solve/HugePages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gtest/gtest.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The advice is a hint on the memory's backing: whatever the range (inside
// one page, straddling pages, unaligned at either end, empty, null), every
// byte already written stays as it was.
TEST(HugePagesTest, AdviceKeepsWhatIsWritten) {
  std::vector<std::uint8_t> bytes(3 * kHugePage + 12345);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  struct Row {
    const char* name;
    std::size_t offset;
    std::size_t length;
  };
  const std::vector<Row> rows = {
      {"whole buffer", 0, bytes.size()},
      {"unaligned at both ends", 17, bytes.size() - 100},
      {"below one huge page", 5, kHugePage - 10},
      {"empty", 100, 0},
      {"last byte", bytes.size() - 1, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    AdviseHugePages(bytes.data() + row.offset, row.length);
  }
  AdviseHugePages(nullptr, kHugePage * 4);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(i * 7 + 3)) << "byte " << i;
  }
}

// The callers advise room before they fill it: the fill must land in the
// advised room, not in a new allocation, and hold what was written.
TEST(HugePagesTest, AdvisedRoomIsTheOneFilled) {
  const std::size_t n = kHugePage / sizeof(double) * 3 + 5;
  std::vector<double> v;
  ReserveAdvised(&v, n);
  const double* room = v.data();
  v.assign(n, 0.5);
  EXPECT_EQ(v.data(), room);
  v[n - 1] = 2;
  EXPECT_EQ(v[0] + v[n / 2] + v[n - 1], 3.0);

  Eigen::VectorXd fresh = FreshVector(static_cast<Eigen::Index>(n));
  ASSERT_EQ(fresh.size(), static_cast<Eigen::Index>(n));
  const double* fresh_room = fresh.data();
  fresh.setConstant(1.5);
  Eigen::VectorXd copy = FreshVector(fresh.size());
  const double* copy_room = copy.data();
  copy = fresh;  // same size: Eigen keeps the room
  EXPECT_EQ(copy.data(), copy_room);
  EXPECT_EQ(fresh.data(), fresh_room);
  EXPECT_EQ(copy.sum(), 1.5 * static_cast<double>(n));
  EXPECT_EQ(FreshVector(0).size(), 0);
}

}  // namespace
