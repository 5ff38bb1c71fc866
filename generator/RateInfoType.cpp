#include "generator/RateInfoType.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "base/Contract.h"
#include "output/Formats.h"
#include "output/LittleEndian.h"
#include "output/NumberFormat.h"

namespace {

constexpr int kDefaultCapacity = 10;

}  // namespace

RateInfoType::RateInfoType() : RateInfoType(kDefaultCapacity, 0.0) {}

RateInfoType::RateInfoType(int capacity, double value)
    : state_capacity_(static_cast<std::uint32_t>(capacity)), value_(value) {
  GEN_CHECK(capacity >= 1);
  states_ = std::make_unique<std::int32_t[]>(state_capacity_);
}

void RateInfoType::insertState(int stateNumber) {
  if (state_count_ == state_capacity_)
    increaseStateList(static_cast<int>(2 * state_capacity_));
  states_[state_count_] = stateNumber;
  ++state_count_;
}

void RateInfoType::increaseStateList(int newCapacity) {
  GEN_CHECK(newCapacity >= 0 &&
            static_cast<std::uint32_t>(newCapacity) >= state_capacity_);
  auto grown = std::make_unique<std::int32_t[]>(newCapacity);
  std::copy(states_.get(), states_.get() + state_count_, grown.get());
  states_ = std::move(grown);
  state_capacity_ = static_cast<std::uint32_t>(newCapacity);
}

void RateInfoType::writeStates(std::ostream& stream,
                               OutputFileType type) const {
  if (type == kTextOutputFile) {
    char text[32];
    stream.write(text, FormatRate(value_, text) - text);
    stream << '\n';
    for (std::uint32_t i = 0; i < state_count_; ++i)
      stream << states_[i] << '\n';
    stream << "0\n";
    return;
  }
  WriteLittleEndianDouble(stream, value_);
  for (std::uint32_t i = 0; i < state_count_; ++i)
    WriteLittleEndian(stream, static_cast<std::uint32_t>(states_[i]), 4);
  // a 16-bit end mark, not a 32-bit one
  WriteLittleEndian(stream, 0, kBinaryEndOfStatesBytes);
}

void RateInfoType::printStates() const {
  for (std::uint32_t i = 0; i < state_count_; ++i)
    std::cout << '[' << i << "] " << states_[i] << '\n';
  std::cout << std::flush;
}
