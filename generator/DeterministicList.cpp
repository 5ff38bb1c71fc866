#include "generator/DeterministicList.h"

#include <cstdint>
#include <iostream>

#include "base/Contract.h"
#include "output/LittleEndian.h"

namespace {

constexpr int kDefaultCapacity = 2;
constexpr const char* kRule = "-----------------------------------\n";

}  // namespace

DeterministicList::DeterministicList() : DeterministicList(kDefaultCapacity) {}

DeterministicList::DeterministicList(int capacity) {
  GEN_CHECK(capacity >= 1);
  increaseRateInfoSize(capacity);
}

DeterministicList::~DeterministicList() = default;

const RateInfoType& DeterministicList::RateInfo(int index) const {
  GEN_CHECK(index >= 0 && index < RateInfoCapacity());
  return rate_info_[static_cast<std::size_t>(index)];
}

void DeterministicList::insertEnablingState(int stateNumber, double value) {
  // Exact comparison on purpose: delays that differ in any bit are different
  // delays, and a NaN matches no set.
  for (int i = 0; i < rate_info_size_; ++i) {
    if (rate_info_[i].Value() == value) {
      rate_info_[i].insertState(stateNumber);
      return;
    }
  }
  if (rate_info_size_ == RateInfoCapacity())
    increaseRateInfoSize(2 * rate_info_size_);
  RateInfoType& spare = rate_info_[rate_info_size_];
  spare.SetValue(value);
  spare.insertState(stateNumber);
  ++rate_info_size_;
}

void DeterministicList::increaseRateInfoSize(int newCapacity) {
  GEN_CHECK(newCapacity >= RateInfoCapacity());
  // The sets move with their number lists; the new places get default sets.
  rate_info_.resize(static_cast<std::size_t>(newCapacity));
}

void DeterministicList::writeEnablingStates(std::ostream& stream,
                                            OutputFileType type) const {
  if (type == kTextOutputFile) {
    stream << rate_info_size_ << '\n';
  } else {
    WriteLittleEndian(stream, static_cast<std::uint32_t>(rate_info_size_), 4);
  }
  for (int i = 0; i < rate_info_size_; ++i)
    rate_info_[i].writeStates(stream, type);
}

void DeterministicList::printEnablingStates() const {
  std::cout << kRule;
  for (int i = 0; i < rate_info_size_; ++i) {
    // Both totals are repeated for every set.
    std::cout << "RateInfoSize = " << rate_info_size_ << '\n'
              << "RateInfoCapacity = " << RateInfoCapacity() << '\n'
              << "Value = " << rate_info_[i].Value() << '\n';
    rate_info_[i].printStates();
  }
  std::cout << kRule << std::flush;
}

std::unique_ptr<double[]> realloclist(const double* list, unsigned new_size,
                                      unsigned old_count) {
  auto result = std::make_unique<double[]>(new_size);  // zero-filled
  for (unsigned i = 0; i < old_count && i < new_size; ++i) result[i] = list[i];
  return result;
}
