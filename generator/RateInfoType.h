#ifndef GEN_GENERATOR_RATEINFOTYPE_H_
#define GEN_GENERATOR_RATEINFOTYPE_H_

#include <cstdint>
#include <memory>
#include <ostream>

#include "output/Formats.h"

// How the enabling-states writers lay out their output: 0 is text, every
// other value binary.
enum OutputFileType : int {
  kTextOutputFile = kTextEnablingStates,
  kBinaryOutputFile = 1
};

// The states that enable a deterministic delay: the delay value and the
// state numbers, in insertion order (a number may occur more than once).
// The list starts with room for 10 numbers and doubles when full.
class RateInfoType {
 public:
  RateInfoType();
  // `capacity` must be at least 1.
  RateInfoType(int capacity, double value);
  RateInfoType(const RateInfoType&) = delete;
  RateInfoType& operator=(const RateInfoType&) = delete;
  // Moving hands the number list over; the source is left without one.
  RateInfoType(RateInfoType&&) noexcept = default;
  RateInfoType& operator=(RateInfoType&&) noexcept = default;
  virtual ~RateInfoType() = default;

  void insertState(int stateNumber);
  // Makes room for `newCapacity` numbers, keeping the list; `newCapacity`
  // must not be below the current capacity.
  void increaseStateList(int newCapacity);
  // Text: the value in the stream's current floating format, each number,
  // then 0, one per line. Binary (little-endian): the value as an 8-byte
  // double, each number in 4 bytes, then a 2-byte zero.
  void writeStates(std::ostream& stream, OutputFileType type) const;
  // Lists the numbers on standard output as "[i] number".
  void printStates() const;

  void SetValue(double value) { value_ = value; }

  std::uint32_t StateCount() const { return state_count_; }
  std::uint32_t StateCapacity() const { return state_capacity_; }
  double Value() const { return value_; }
  // StateCount() numbers.
  const std::int32_t* States() const { return states_.get(); }

 private:
  std::uint32_t state_count_ = 0;
  std::uint32_t state_capacity_ = 0;
  double value_ = 0.0;
  std::unique_ptr<std::int32_t[]> states_;
};

#endif  // GEN_GENERATOR_RATEINFOTYPE_H_
