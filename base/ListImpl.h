#ifndef GEN_BASE_LISTIMPL_H_
#define GEN_BASE_LISTIMPL_H_

// Member definitions of List<T>; included at the end of base/List.h.

#include <iostream>
#include <new>
#include <vector>

#include "base/StandardErrors.h"

namespace list_detail {

// Slot arrays are allocated without throwing so that a failed growth can
// print its own report before the standard one.
template <typename T>
std::unique_ptr<T* []> NewSlots(int n) {
  return std::unique_ptr<T*[]>(new (std::nothrow)
                                   T*[static_cast<std::size_t>(n)]());
}

[[noreturn]] inline void GrowthFailed() {
  // Every growing operation reports under the same name.
  std::cerr << "!! Crtical error in "
            << "List<C>::append(List*)"
            << " do to insufficient memory...exiting" << '\n'
            << std::flush;
  MemoryAllocationError();
}

}  // namespace list_detail

template <typename T>
List<T>::List() : List(10) {}

template <typename T>
List<T>::List(int n)
    : items(list_detail::NewSlots<T>(n)), numItems(0), arraySize(n) {
  if (!items) {
    arraySize = 0;
    MemoryAllocationError();
  }
}

template <typename T>
List<T>::List(const List& other)
    : items(list_detail::NewSlots<T>(other.arraySize)),
      numItems(other.numItems),
      arraySize(other.arraySize) {
  if (!items) {
    arraySize = 0;
    numItems = 0;
    MemoryAllocationError();
  }
  for (int i = 0; i < numItems; ++i) items[i] = other.items[i];
}

template <typename T>
List<T>::~List() = default;

template <typename T>
void List<T>::Grow(int new_size) {
  std::unique_ptr<T*[]> grown = list_detail::NewSlots<T>(new_size);
  if (!grown) list_detail::GrowthFailed();
  for (int i = 0; i < numItems; ++i) grown[i] = items[i];
  items = std::move(grown);
  arraySize = new_size;
}

template <typename T>
bool List<T>::Holds(T* item) const {
  for (int i = 0; i < numItems; ++i) {
    if (items[i] == item) return true;
  }
  return false;
}

template <typename T>
void List<T>::append(T* item) {
  // Growth comes before the duplicate test: a full list doubles even when
  // nothing is added.
  if (arraySize <= numItems) Grow(2 * arraySize);
  insertItem(item);
}

template <typename T>
void List<T>::append(T** array, int n) {
  for (int i = 0; i < n; ++i) append(array[i]);
}

template <typename T>
void List<T>::append(List<T>* other) {
  const int other_count = other->numItems;
  if (numItems + other_count > arraySize) Grow(2 * (numItems + other_count));
  for (int i = 0; i < other_count; ++i) insertItem(other->items[i]);
}

template <typename T>
void List<T>::insertItem(T* item) {
  if (Holds(item)) return;
  items[numItems] = item;
  ++numItems;
}

template <typename T>
void List<T>::remove(T* item) {
  for (int i = 0; i < numItems; ++i) {
    if (items[i] == item) {
      items[i] = items[numItems - 1];
      --numItems;
      return;
    }
  }
}

template <typename T>
void List<T>::replaceItem(T* old_item, T* new_item) {
  int old_index = -1;
  bool new_held = false;
  for (int i = 0; i < numItems; ++i) {
    if (items[i] == old_item && old_index < 0) old_index = i;
    if (items[i] == new_item) new_held = true;
  }
  if (old_index < 0) return;
  if (!new_held) {
    items[old_index] = new_item;
  } else {
    // Keeping both would list new_item twice.
    remove(old_item);
  }
}

template <typename T>
void List<T>::removeSetOfItems(List<T> other) {
  const int wanted = other.numItems;
  std::vector<bool> slot_used(static_cast<std::size_t>(numItems), false);
  std::vector<bool> entry_used(static_cast<std::size_t>(wanted), false);
  int removed = 0;
  for (int i = 0; i < numItems && removed < wanted; ++i) {
    for (int k = 0; k < wanted; ++k) {
      if (!entry_used[k] && other.items[k] == items[i]) {
        entry_used[k] = true;
        slot_used[i] = true;
        ++removed;
        break;
      }
    }
  }
  if (removed == 0) return;
  int kept = 0;
  for (int i = 0; i < numItems; ++i) {
    if (!slot_used[i]) items[kept++] = items[i];
  }
  numItems -= removed;
}

template <typename T>
bool List<T>::contains(T* item) const {
  return Holds(item);
}

template <typename T>
void List<T>::increaseArraySize(int n) {
  Grow(n);
}

template <typename T>
void List<T>::printList() const {
  if (numItems == 0) std::cout << "No items in the list\n" << std::flush;
  for (int i = 0; i < numItems; ++i) {
    std::cout << '[' << i << "] " << static_cast<const void*>(items[i]) << '\n'
              << std::flush;
  }
}

#endif  // GEN_BASE_LISTIMPL_H_
