#ifndef GEN_OUTPUT_REWARDVALUESFILE_H_
#define GEN_OUTPUT_REWARDVALUESFILE_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "output/NumberTextCache.h"

// Writes the reward values file (.var): one line per reward variable name,
// then one record per state: its number, then the impulse and the rate
// reward of every variable. Text records put each on a line of its own
// (FormatRewardExact: "%.6g" where that reads back exactly, more digits
// where it does not); binary records are little-endian (uint32 number, two
// doubles per variable). Holds no stream state of its own: nothing is set on
// `out`. Records are assembled in an internal buffer.
class RewardValuesFile {
 public:
  // Writes the header at once. `text` chooses text records.
  RewardValuesFile(std::ostream& out, const std::vector<std::string>& names,
                   bool text);
  RewardValuesFile(const RewardValuesFile&) = delete;
  RewardValuesFile& operator=(const RewardValuesFile&) = delete;
  ~RewardValuesFile();

  // Appends the record of state `number` and hands it to the stream at
  // once; `values` holds impulse and rate reward of each variable in turn
  // (2 * variables doubles).
  void Write(std::uint32_t number, const double* values) {
    Append(number, values);
    Flush();
  }
  // Formats the record into the internal buffer only; it reaches the
  // stream when the buffer fills or at the next Flush.
  void Append(std::uint32_t number, const double* values);
  // Hands everything formatted so far to the stream.
  void Flush();

  std::size_t Variables() const { return variables_; }
  // True once the stream has failed; it covers every record up to the last
  // Flush.
  bool Failed() const { return !out_; }

 private:
  // Room for `bytes` more in the buffer, draining it first if need be.
  char* Reserve(char* p, std::size_t bytes) {
    if (static_cast<std::size_t>(buffer_.data() + buffer_.size() - p) < bytes) {
      used_ = static_cast<std::size_t>(p - buffer_.data());
      Flush();
      p = buffer_.data();
    }
    return p;
  }

  std::ostream& out_;
  std::size_t variables_;
  bool text_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  RewardTextCache texts_;
};

#endif  // GEN_OUTPUT_REWARDVALUESFILE_H_
