#ifndef GEN_SOLVE_TRANSITIONRATES_H_
#define GEN_SOLVE_TRANSITIONRATES_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// The rates of a chain's transitions, one per transition in order. A chain
// generated from a model has few distinct rates (Kanban of any size has a
// dozen), so each transition holds a code into a table of the distinct
// values, read back as the very same double: 1 byte while the table has at
// most 256 values, 2 bytes up to 65,536, instead of 8. The codes widen once
// when the first value beyond their reach arrives, and past 65,536 values
// the rates turn into plain doubles, so any chain can be held.
class TransitionRates {
 public:
  using Code = std::uint16_t;
  using ByteCode = std::uint8_t;
  // Distinct values the 1-byte and the 2-byte codes can name.
  static constexpr std::size_t kMaxByteCodes = std::size_t{1} << 8;
  static constexpr std::size_t kMaxCodes = std::size_t{1} << 16;
  enum class Form { kByteCodes, kCodes, kWide };

  TransitionRates() = default;
  // From plain values (tests and derived chains).
  TransitionRates(std::initializer_list<double> values);

  void push_back(double value);
  // Appends the rates of `other` and leaves the table and the form exactly
  // as pushing them back one by one would: new values get the next codes in
  // their order in `other`, which is their order of first appearance.
  void Extend(const TransitionRates& other);
  void reserve(std::size_t count);
  void clear();
  // Frees what the codes' look-up needs while appending.
  void FinishAppending();

  std::size_t size() const {
    switch (form_) {
      case Form::kByteCodes:
        return byte_code_.size();
      case Form::kCodes:
        return code_.size();
      case Form::kWide:
        break;
    }
    return wide_.size();
  }
  bool empty() const { return size() == 0; }
  double operator[](std::size_t e) const {
    switch (form_) {
      case Form::kByteCodes:
        return table_[byte_code_[e]];
      case Form::kCodes:
        return table_[code_[e]];
      case Form::kWide:
        break;
    }
    return wide_[e];
  }
  // The form the rates are held in; hot loops read table()[byte_codes()[e]],
  // table()[codes()[e]] or wide()[e] by it.
  Form form() const { return form_; }
  bool compact() const { return form_ != Form::kWide; }
  const ByteCode* byte_codes() const { return byte_code_.data(); }
  const Code* codes() const { return code_.data(); }
  const double* table() const { return table_.data(); }
  const double* wide() const { return wide_.data(); }
  std::size_t distinct() const { return table_.size(); }
  // Bytes held per transition: 1, 2 or 8.
  std::size_t bytes_per_rate() const {
    return form_ == Form::kByteCodes ? 1 : form_ == Form::kCodes ? 2 : 8;
  }

  std::vector<double> ToVector() const;
  bool operator==(const TransitionRates& other) const {
    return ToVector() == other.ToVector();
  }

 private:
  // The code of `value`, added to the table when new; false when the table
  // is full.
  bool Intern(double value, Code* code);
  void Append(Code code);
  void WidenCodes();
  void Widen();

  Form form_ = Form::kByteCodes;
  std::vector<ByteCode> byte_code_;
  std::vector<Code> code_;
  std::vector<double> table_;
  std::vector<double> wide_;
  // Open addressing on the value's bits: slot holds code + 1, 0 when free.
  std::vector<std::uint32_t> slots_;
  // The last value appended and its code: runs of equal rates are common.
  std::uint64_t last_bits_ = 0;
  Code last_code_ = 0;
  bool has_last_ = false;
};

// Calls body(rate) with `rate` a function of the transition's index that
// reads the form `rates` holds, so that a hot loop over the transitions is
// compiled once per form instead of testing the form per transition.
template <class Body>
void WithRates(const TransitionRates& rates, Body&& body) {
  const double* table = rates.table();
  switch (rates.form()) {
    case TransitionRates::Form::kByteCodes: {
      const TransitionRates::ByteCode* code = rates.byte_codes();
      body([code, table](std::size_t e) { return table[code[e]]; });
      return;
    }
    case TransitionRates::Form::kCodes: {
      const TransitionRates::Code* code = rates.codes();
      body([code, table](std::size_t e) { return table[code[e]]; });
      return;
    }
    case TransitionRates::Form::kWide:
      break;
  }
  const double* wide = rates.wide();
  body([wide](std::size_t e) { return wide[e]; });
}

#endif  // GEN_SOLVE_TRANSITIONRATES_H_
