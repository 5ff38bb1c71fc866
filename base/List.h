#ifndef GEN_BASE_LIST_H_
#define GEN_BASE_LIST_H_

#include <memory>

// An unordered collection of distinct object pointers in one growable slot
// array. The list owns its slot array, never the objects. Items keep the
// order in which they were added, except that `remove` moves the last item
// into the freed slot. Used with BaseActionClass, BaseStateVariableClass,
// BaseModelClass and BaseGroupClass elements.
template <typename T>
class List {
 public:
  List();                   // 10 zeroed slots
  explicit List(int n);     // n zeroed slots; n >= 1
  List(const List& other);  // a copy of the slots (removeSetOfItems takes one)
  List& operator=(const List&) = delete;
  ~List();

  void append(T* item);
  void append(T** array, int n);
  void append(List<T>* other);
  // Adds without growing: the caller guarantees a spare slot.
  void insertItem(T* item);
  void remove(T* item);
  void replaceItem(T* old_item, T* new_item);
  void removeSetOfItems(List<T> other);
  bool contains(T* item) const;

  T* getItem(int i) const { return items[i]; }
  T* operator[](int i) const { return items[i]; }
  int getNumItems() const { return numItems; }
  int getArraySize() const { return arraySize; }
  // The slot array itself: numItems pointers, readable as a plain array.
  T** getList() { return items.get(); }
  void clearList() { numItems = 0; }
  void increaseArraySize(int n);
  void printList() const;

 private:
  void Grow(int new_size);
  bool Holds(T* item) const;

  std::unique_ptr<T*[]> items;
  int numItems;
  int arraySize;
};

#include "base/ListImpl.h"

#endif  // GEN_BASE_LIST_H_
