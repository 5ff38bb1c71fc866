#include "solve/HugePages.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gtest/gtest.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The advice is a hint on the memory's backing: whatever the range (inside
// one page, unaligned at either end, empty, null), every byte already
// written stays, and room advised before it is filled is the room filled.
TEST(HugePagesTest, AdviceKeepsEveryByteAndTheRoom) {
  std::vector<std::uint8_t> bytes(3 * kHugePage + 12345);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  }
  AdviseHugePages(bytes.data(), bytes.size());
  AdviseHugePages(bytes.data() + 17, bytes.size() - 100);
  AdviseHugePages(bytes.data() + 5, kHugePage - 10);
  AdviseHugePages(bytes.data() + 100, 0);
  AdviseHugePages(nullptr, 4 * kHugePage);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(i * 7 + 3)) << "byte " << i;
  }

  const std::size_t n = 3 * kHugePage / sizeof(double) + 5;
  std::vector<double> v;
  ReserveAdvised(&v, n);
  const double* room = v.data();
  v.assign(n, 0.5);
  EXPECT_EQ(v.data(), room);
  Eigen::VectorXd fresh = FreshVector(static_cast<Eigen::Index>(n));
  ASSERT_EQ(fresh.size(), static_cast<Eigen::Index>(n));
  fresh.setConstant(1.5);
  EXPECT_EQ(fresh.sum(), 1.5 * static_cast<double>(n));
}

}  // namespace
