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

TEST(QueueTest, FirstStateUsesSlotOne) {
  Queue queue(kImageSize);
  Image image(1);
  queue.Enqueue(image.bytes, 1);
  EXPECT_EQ(queue.Rear(), 1u);
  EXPECT_EQ(queue.Front(), 1u);
  // The queue copies: the caller's buffer is free again at once.
  std::memset(image.bytes, 0, kImageSize);

  const state_struct* record = queue.Dequeue();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->number, 1u);
  EXPECT_EQ(std::memcmp(record->image.get(), Image(1).bytes, kImageSize), 0);
  EXPECT_EQ(queue.Front(), 2u);
}

// Runs enqueue and dequeue phases against a reference queue and then drains
// both, checking first-in first-out order with images through every growth.
TEST(QueueTest, KeepsOrderThroughGrowth) {
  struct Row {
    const char* name;
    std::vector<int> phases;  // > 0: enqueue that many; < 0: dequeue
    std::uint32_t capacity;   // after the phases
  };
  const Row rows[] = {
      {"fills exactly", {5000}, 5000},
      {"grows on 5001", {5001}, 10000},
      {"front past rear", {5000, -3000, 3000, 1}, 10000},
      {"front at last slot", {5000, -4999, 4999, 1}, 10000},
      {"rear in slot 0", {5000, -1, 1, 1}, 10000},
      {"second growth wrapped", {10001, -7000, 7000, 1}, 15000},
      {"linear growth", {20001}, 25000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Queue queue(kImageSize);
    std::deque<std::uint32_t> expected;
    std::uint32_t next = 1;
    for (int phase : row.phases) {
      for (int i = 0; i < phase; ++i) {
        queue.Enqueue(Image(next).bytes, next);
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
      ASSERT_EQ(
          std::memcmp(record->image.get(), Image(number).bytes, kImageSize), 0)
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

  // An emptied queue starts again at slot 1.
  queue.Enqueue(Image(3).bytes, 3);
  EXPECT_EQ(queue.Rear(), 1u);
  EXPECT_EQ(queue.Dequeue()->number, 3u);
}
