#include "generator/queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kImageSize = 6;

// Image of state n: its number in the first four bytes, then a check pair.
struct Image {
  char bytes[kImageSize];
  explicit Image(std::uint32_t n) {
    std::memcpy(bytes, &n, sizeof(n));
    bytes[4] = static_cast<char>(n * 7);
    bytes[5] = static_cast<char>(~n);
  }
};

}  // namespace

// Runs enqueue and dequeue phases against a reference queue and then drains
// both, checking first-in first-out order with images through every growth,
// wrapped or not.
TEST(QueueTest, KeepsOrderThroughGrowth) {
  struct Row {
    const char* name;
    std::vector<int> phases;  // > 0: enqueue that many; < 0: dequeue
    std::size_t capacity;     // after the phases
  };
  const Row rows[] = {
      {"fills exactly", {256}, 256},
      {"grows on 257", {257}, 512},
      {"front past rear", {256, -100, 100, 1}, 512},
      {"front at last slot", {256, -255, 255, 1}, 512},
      {"rear in slot 0", {256, -1, 1, 1}, 512},
      {"second growth wrapped", {513, -300, 300, 100}, 1024},
      // Twelve doublings: a 16-bit step counter would long have wrapped in
      // steps of a few thousand.
      {"geometric growth", {1000000, -999990, 1048576}, 2097152},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Queue queue(kImageSize);
    std::deque<std::uint32_t> expected;
    std::uint32_t next = 1;
    for (int phase : row.phases) {
      for (int i = 0; i < phase; ++i) {
        Image image(next);
        queue.Enqueue(image.bytes, next);
        // The queue copies: the caller's buffer is free again at once.
        std::memset(image.bytes, 0, kImageSize);
        expected.push_back(next++);
      }
      for (int i = 0; i < -phase; ++i) {
        const state_struct* record = queue.Dequeue();
        ASSERT_NE(record, nullptr);
        ASSERT_EQ(record->number, expected.front());
        expected.pop_front();
      }
    }
    EXPECT_EQ(queue.Capacity(), row.capacity);
    EXPECT_EQ(queue.Count(), expected.size());
    for (std::uint32_t number : expected) {
      const state_struct* record = queue.Dequeue();
      ASSERT_NE(record, nullptr);
      ASSERT_EQ(record->number, number);
      ASSERT_EQ(std::memcmp(record->image, Image(number).bytes, kImageSize), 0)
          << number;
    }
    EXPECT_EQ(queue.Dequeue(), nullptr);
  }
}

TEST(QueueTest, EmptyQueueReturnsNullSilently) {
  Queue queue(kImageSize);
  queue.Enqueue(Image(1).bytes, 1);
  queue.Enqueue(Image(2).bytes, 2);
  queue.Make_Empty();
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(queue.Dequeue(), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  queue.Enqueue(Image(3).bytes, 3);
  const state_struct* record = queue.Dequeue();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->number, 3u);
  EXPECT_EQ(queue.PeakCount(), 2u);
}
