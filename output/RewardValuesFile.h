#ifndef GEN_OUTPUT_REWARDVALUESFILE_H_
#define GEN_OUTPUT_REWARDVALUESFILE_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// Writes the reward values file (.var): one line per reward variable name,
// then one record per state: its number, then the impulse and the rate
// reward of every variable. Text records put each on a line of its own
// (FormatRewardExact: "%.6g" where that reads back exactly, more digits
// where it does not); binary records are little-endian (uint32 number, two
// doubles per variable). Holds no stream state of its own: nothing is set on
// `out`.
class RewardValuesFile {
 public:
  // Writes the header at once. `text` chooses text records.
  RewardValuesFile(std::ostream& out, const std::vector<std::string>& names,
                   bool text);
  RewardValuesFile(const RewardValuesFile&) = delete;
  RewardValuesFile& operator=(const RewardValuesFile&) = delete;

  // Appends the record of state `number`; `values` holds impulse and rate
  // reward of each variable in turn (2 * variables doubles).
  void Write(std::uint32_t number, const double* values);

  std::size_t Variables() const { return variables_; }
  // True once the stream has failed.
  bool Failed() const { return !out_; }

 private:
  std::ostream& out_;
  std::size_t variables_;
  bool text_;
};

#endif  // GEN_OUTPUT_REWARDVALUESFILE_H_
