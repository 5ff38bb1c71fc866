#include "solve/TransitionRates.h"

#include <cstring>

namespace {

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::size_t Slot(std::uint64_t bits, std::size_t mask) {
  return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

}  // namespace

TransitionRates::TransitionRates(std::initializer_list<double> values) {
  for (double value : values) push_back(value);
}

void TransitionRates::push_back(double value) {
  if (form_ == Form::kWide) {
    wide_.push_back(value);
    return;
  }
  const std::uint64_t bits = Bits(value);
  if (has_last_ && bits == last_bits_) {
    Append(last_code_);
    return;
  }
  Code code = 0;
  if (!Intern(value, &code)) {
    Widen();
    wide_.push_back(value);
    return;
  }
  Append(code);
  last_bits_ = bits;
  last_code_ = code;
  has_last_ = true;
}

void TransitionRates::Extend(const TransitionRates& other) {
  has_last_ = false;
  const std::size_t count = other.size();
  if (form_ != Form::kWide && other.form_ != Form::kWide) {
    // Every value of other's table is used by one of its codes, so the
    // values interned here are exactly those its rates bring.
    std::vector<Code> code_of(other.table_.size());
    bool fits = true;
    for (std::size_t i = 0; fits && i < code_of.size(); ++i) {
      fits = Intern(other.table_[i], &code_of[i]);
    }
    if (fits) {
      reserve(size() + count);
      if (other.form_ == Form::kByteCodes) {
        for (ByteCode code : other.byte_code_) Append(code_of[code]);
      } else {
        for (Code code : other.code_) Append(code_of[code]);
      }
      return;
    }
  }
  // Past 65,536 distinct values, together or in `other` alone.
  if (form_ != Form::kWide) Widen();
  wide_.reserve(wide_.size() + count);
  for (std::size_t e = 0; e < count; ++e) wide_.push_back(other[e]);
}

void TransitionRates::Append(Code code) {
  if (form_ == Form::kByteCodes) {
    if (code < kMaxByteCodes) {
      byte_code_.push_back(static_cast<ByteCode>(code));
      return;
    }
    WidenCodes();
  }
  code_.push_back(code);
}

bool TransitionRates::Intern(double value, Code* code) {
  const std::uint64_t bits = Bits(value);
  // Kept at most half full; rebuilt after FinishAppending freed it.
  if (slots_.size() < 2 * (table_.size() + 1)) {
    std::size_t size = 64;
    while (size < 4 * (table_.size() + 1)) size *= 2;
    slots_.assign(size, 0);
    for (std::size_t i = 0; i < table_.size(); ++i) {
      std::size_t s = Slot(Bits(table_[i]), size - 1);
      while (slots_[s] != 0) s = (s + 1) & (size - 1);
      slots_[s] = static_cast<std::uint32_t>(i + 1);
    }
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t s = Slot(bits, mask);
  while (slots_[s] != 0) {
    if (Bits(table_[slots_[s] - 1]) == bits) {
      *code = static_cast<Code>(slots_[s] - 1);
      return true;
    }
    s = (s + 1) & mask;
  }
  if (table_.size() == kMaxCodes) return false;
  table_.push_back(value);
  slots_[s] = static_cast<std::uint32_t>(table_.size());
  *code = static_cast<Code>(table_.size() - 1);
  return true;
}

void TransitionRates::WidenCodes() {
  code_.reserve(byte_code_.capacity());
  code_.assign(byte_code_.begin(), byte_code_.end());
  std::vector<ByteCode>().swap(byte_code_);
  form_ = Form::kCodes;
}

void TransitionRates::Widen() {
  const std::size_t capacity =
      form_ == Form::kByteCodes ? byte_code_.capacity() : code_.capacity();
  wide_.reserve(capacity);
  for (std::size_t e = 0; e < size(); ++e) wide_.push_back((*this)[e]);
  std::vector<ByteCode>().swap(byte_code_);
  std::vector<Code>().swap(code_);
  std::vector<double>().swap(table_);
  std::vector<std::uint32_t>().swap(slots_);
  form_ = Form::kWide;
}

void TransitionRates::reserve(std::size_t count) {
  switch (form_) {
    case Form::kByteCodes:
      byte_code_.reserve(count);
      return;
    case Form::kCodes:
      code_.reserve(count);
      return;
    case Form::kWide:
      break;
  }
  wide_.reserve(count);
}

void TransitionRates::clear() { *this = TransitionRates(); }

void TransitionRates::FinishAppending() {
  std::vector<std::uint32_t>().swap(slots_);
}

std::vector<double> TransitionRates::ToVector() const {
  std::vector<double> values(size());
  for (std::size_t e = 0; e < values.size(); ++e) values[e] = (*this)[e];
  return values;
}
