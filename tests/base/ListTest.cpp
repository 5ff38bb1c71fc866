#include "base/List.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "framework/BaseActionClass.h"

namespace {

using ActionList = List<BaseActionClass>;

class ListTest : public testing::Test {
 protected:
  BaseActionClass* A() { return &actions_[0]; }
  BaseActionClass* B() { return &actions_[1]; }
  BaseActionClass* C() { return &actions_[2]; }
  BaseActionClass* At(int i) { return &actions_[i]; }

  static std::vector<BaseActionClass*> Items(const ActionList& list) {
    std::vector<BaseActionClass*> items;
    for (int i = 0; i < list.getNumItems(); ++i) items.push_back(list[i]);
    return items;
  }

  BaseActionClass actions_[50];
};

TEST_F(ListTest, AppendDoublesWhenFullEvenForADuplicate) {
  ActionList list;
  EXPECT_EQ(list.getArraySize(), 10);
  for (int i = 0; i < 10; ++i) list.append(At(i));
  EXPECT_EQ(list.getArraySize(), 10);
  list.append(At(0));  // full: grows although nothing is added
  EXPECT_EQ(list.getArraySize(), 20);
  EXPECT_EQ(list.getNumItems(), 10);
  for (int i = 10; i < 21; ++i) list.append(At(i));
  EXPECT_EQ(list.getArraySize(), 40);
  EXPECT_EQ(list.getNumItems(), 21);
  for (int i = 0; i < 21; ++i) EXPECT_EQ(list[i], At(i));
}

TEST_F(ListTest, AppendArraySkipsHeldPointers) {
  ActionList list(1);
  BaseActionClass* batch[] = {A(), B(), A(), C(), B()};
  list.append(batch, 5);
  EXPECT_EQ(Items(list), (std::vector<BaseActionClass*>{A(), B(), C()}));
  EXPECT_EQ(list.getArraySize(), 4);
  list.append(batch, 0);
  EXPECT_EQ(list.getNumItems(), 3);
}

TEST_F(ListTest, AppendListGrowsOnceToTwiceTheCombinedCount) {
  ActionList target;
  ActionList other;
  for (int i = 0; i < 5; ++i) target.append(At(i));
  for (int i = 0; i < 7; ++i) other.append(At(i));  // 5 already held
  target.append(&other);
  EXPECT_EQ(target.getArraySize(), 24);
  EXPECT_EQ(target.getNumItems(), 7);
  EXPECT_EQ(target[6], At(6));
}

TEST_F(ListTest, RemoveMovesLastItemIntoTheGap) {
  ActionList list;
  list.append(A());
  list.append(B());
  list.append(C());
  list.remove(At(9));
  EXPECT_EQ(Items(list), (std::vector<BaseActionClass*>{A(), B(), C()}));
  list.remove(A());
  EXPECT_EQ(Items(list), (std::vector<BaseActionClass*>{C(), B()}));
}

TEST_F(ListTest, ReplaceItem) {
  BaseActionClass* x = At(10);
  BaseActionClass* z = At(11);
  struct Row {
    const char* name;
    BaseActionClass* old_item;
    BaseActionClass* new_item;
    std::vector<BaseActionClass*> expected;
  };
  const Row rows[] = {
      {"new item takes the old slot", A(), x, {x, B(), C()}},
      {"held new item: old removed", A(), C(), {C(), B()}},
      {"absent old item: unchanged", z, x, {A(), B(), C()}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ActionList list;
    list.append(A());
    list.append(B());
    list.append(C());
    list.replaceItem(row.old_item, row.new_item);
    EXPECT_EQ(Items(list), row.expected);
  }
}

TEST_F(ListTest, RemoveSetOfItemsKeepsOrderAndRemovesOncePerEntry) {
  ActionList list;
  for (int i = 0; i < 6; ++i) list.append(At(i));
  ActionList other;
  other.append(At(4));
  other.append(At(1));
  other.append(At(30));  // not held
  list.removeSetOfItems(other);
  EXPECT_EQ(Items(list),
            (std::vector<BaseActionClass*>{At(0), At(2), At(3), At(5)}));
  EXPECT_EQ(other.getNumItems(), 3);

  ActionList none;
  none.append(At(40));
  list.removeSetOfItems(none);
  EXPECT_EQ(list.getNumItems(), 4);
}

TEST_F(ListTest, ClearKeepsSlotsAndIncreaseKeepsItems) {
  ActionList list;
  for (int i = 0; i < 11; ++i) list.append(At(i));
  BaseActionClass** slots = list.getList();
  list.clearList();
  list.append(B());
  EXPECT_EQ(list.getList(), slots);
  EXPECT_EQ(list.getArraySize(), 20);
  list.increaseArraySize(25);
  EXPECT_EQ(list.getArraySize(), 25);
  EXPECT_EQ(Items(list), (std::vector<BaseActionClass*>{B()}));
  EXPECT_TRUE(list.contains(B()));
  EXPECT_FALSE(list.contains(A()));
}

TEST_F(ListTest, InsertItemRefusesDuplicates) {
  ActionList list(2);
  list.insertItem(A());
  list.insertItem(A());
  list.insertItem(B());
  EXPECT_EQ(Items(list), (std::vector<BaseActionClass*>{A(), B()}));
  EXPECT_EQ(list.getArraySize(), 2);
}

TEST_F(ListTest, PrintList) {
  ActionList list;
  testing::internal::CaptureStdout();
  list.printList();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "No items in the list\n");

  list.append(A());
  testing::internal::CaptureStdout();
  list.printList();
  std::ostringstream expected;
  expected << "[0] " << static_cast<const void*>(A()) << '\n';
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected.str());
}

}  // namespace
