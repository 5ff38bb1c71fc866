#ifndef GEN_GENERATOR_DETERMINISTICLIST_H_
#define GEN_GENERATOR_DETERMINISTICLIST_H_

#include <memory>
#include <ostream>
#include <vector>

#include "generator/RateInfoType.h"

// For each deterministic delay value, in order of first appearance, the
// states that enable an action of that delay. Values are told apart by
// exact comparison. Room for 2 values at first, doubling when full.
class DeterministicList {
 public:
  DeterministicList();
  // `capacity` must be at least 1.
  explicit DeterministicList(int capacity);
  DeterministicList(const DeterministicList&) = delete;
  DeterministicList& operator=(const DeterministicList&) = delete;
  virtual ~DeterministicList();

  // Records that `stateNumber` enables an action of delay `value`; the same
  // number is recorded again each time.
  void insertEnablingState(int stateNumber, double value);
  // Makes room for `newCapacity` values, keeping every set; `newCapacity`
  // must not be below the current capacity.
  void increaseRateInfoSize(int newCapacity);
  // The number of values (text: a line; binary: 4 bytes little-endian),
  // then each set as RateInfoType::writeStates writes it.
  void writeEnablingStates(std::ostream& stream, OutputFileType type) const;
  // Diagnostic listing on standard output.
  void printEnablingStates() const;

  int RateInfoSize() const { return rate_info_size_; }
  int RateInfoCapacity() const { return static_cast<int>(rate_info_.size()); }
  // The set at `index`, 0 <= index < RateInfoCapacity(); sets from
  // RateInfoSize() on are empty spares.
  const RateInfoType& RateInfo(int index) const;

 private:
  int rate_info_size_ = 0;
  std::vector<RateInfoType> rate_info_;  // size() is the capacity
};

// A new array of `new_size` doubles, all 0.0, whose first `old_count`
// entries (at most `new_size`) are copied from `list`.
std::unique_ptr<double[]> realloclist(const double* list, unsigned new_size,
                                      unsigned old_count);

#endif  // GEN_GENERATOR_DETERMINISTICLIST_H_
