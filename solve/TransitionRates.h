#ifndef GEN_SOLVE_TRANSITIONRATES_H_
#define GEN_SOLVE_TRANSITIONRATES_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// The rates of a chain's transitions, one per transition in order. A chain
// generated from a model has few distinct rates (Kanban of any size has a
// dozen), so each transition holds a 2-byte code into a table of the
// distinct values: 2 bytes per transition instead of 8, read back as the
// very same double. A chain with more distinct values than the codes can
// name turns into plain doubles once, when the first value beyond them
// arrives, so any chain can be held.
class TransitionRates {
 public:
  using Code = std::uint16_t;
  // Distinct values the codes can name.
  static constexpr std::size_t kMaxCodes = std::size_t{1} << 16;

  TransitionRates() = default;
  // From plain values (tests and derived chains).
  TransitionRates(std::initializer_list<double> values);

  void push_back(double value);
  void reserve(std::size_t count);
  void clear();
  // Frees what the codes' look-up needs while appending.
  void FinishAppending();

  std::size_t size() const { return compact() ? code_.size() : wide_.size(); }
  std::size_t capacity() const {
    return compact() ? code_.capacity() : wide_.capacity();
  }
  bool empty() const { return size() == 0; }
  double operator[](std::size_t e) const {
    return compact() ? table_[code_[e]] : wide_[e];
  }

  // True while every rate is a code into table(); then hot loops read
  // table()[codes()[e]], otherwise wide()[e].
  bool compact() const { return !widened_; }
  const Code* codes() const { return code_.data(); }
  const double* table() const { return table_.data(); }
  const double* wide() const { return wide_.data(); }
  std::size_t distinct() const { return table_.size(); }
  // Bytes held per transition: 2 while compact, 8 after.
  std::size_t bytes_per_rate() const { return compact() ? sizeof(Code) : 8; }

  std::vector<double> ToVector() const;
  bool operator==(const TransitionRates& other) const {
    return ToVector() == other.ToVector();
  }

 private:
  // The code of `value`, added to the table when new; false when the table
  // is full.
  bool Intern(double value, Code* code);
  void Widen();

  bool widened_ = false;
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
  if (rates.compact()) {
    const TransitionRates::Code* code = rates.codes();
    const double* table = rates.table();
    body([code, table](std::size_t e) { return table[code[e]]; });
  } else {
    const double* wide = rates.wide();
    body([wide](std::size_t e) { return wide[e]; });
  }
}

#endif  // GEN_SOLVE_TRANSITIONRATES_H_
