#ifndef GEN_BASE_FASTSET_H_
#define GEN_BASE_FASTSET_H_

#include <memory>
#include <set>

// A set of ints built in two phases: an ordered tree while it is filled,
// then, once frozen by NoMoreModifications, a sorted array that can only be
// indexed and counted. Using an operation in the wrong phase is a contract
// violation.
class FastSet {
 public:
  FastSet();
  FastSet(const FastSet&) = delete;
  FastSet& operator=(const FastSet&) = delete;
  ~FastSet();

  // Tree phase.
  bool insert(const int& v);  // true when v was added
  bool find(const int& v) const;
  bool empty() const;
  void NoMoreModifications();

  // Array phase.
  int& operator[](int i);
  int size() const;

  // Either phase.
  void clear();
  bool IsFrozen() const { return is_vec_rep; }

 private:
  bool is_vec_rep;
  std::unique_ptr<std::set<int>> tree_;
  std::unique_ptr<int[]> array_;
  int size_;
};

#endif  // GEN_BASE_FASTSET_H_
