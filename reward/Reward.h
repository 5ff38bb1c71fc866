#ifndef GEN_REWARD_REWARD_H_
#define GEN_REWARD_REWARD_H_

#include <cstdint>
#include <fstream>

class PVModel;

// The reward values file of the running generation. Opened by Reward's
// constructor, closed by Reward::Finish.
extern std::fstream rewfile;

// Writes the reward values file: one line per reward variable name, then per
// state its number followed by the current impulse and rate reward of every
// reward variable, as the latest firing left them in the nodes. File types
// 1, 3 and 5 give text records; any other gives little-endian binary records
// (uint32 state number, then two IEEE doubles per variable).
class Reward {
 public:
  // Opens `file_name` (created or emptied) and writes the header. A file
  // that cannot be opened is fatal: "Could not open file dude", exit 1.
  Reward(PVModel* model, short file_type, const char* file_name);
  Reward(const Reward&) = delete;
  Reward& operator=(const Reward&) = delete;

  // Appends the record of state `state_number`.
  void Calculate(std::uint32_t state_number);
  // Flushes and closes the file; false when anything written was lost. The
  // file can be opened again by the next Reward afterwards.
  [[nodiscard]] bool Finish();

 private:
  bool TextRecords() const {
    return file_type_ == 1 || file_type_ == 3 || file_type_ == 5;
  }

  PVModel* model_;  // not owned
  std::int16_t file_type_;
  std::uint32_t name_counter_;
};

// Formats `value` as the stream's default format would (C's "%.6g", six
// significant digits, the shorter of fixed and exponent notation); returns
// the end of the text. `out` must have room for 24 characters.
char* FormatReward(double value, char* out);

#endif  // GEN_REWARD_REWARD_H_
