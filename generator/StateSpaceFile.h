#ifndef GEN_GENERATOR_STATESPACEFILE_H_
#define GEN_GENERATOR_STATESPACEFILE_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "generator/TransitionList.h"

// Writes the state-space file (.arm): the output file type, a placeholder
// line that is overwritten with the state count at the end, then one block
// per state (its number, target/rate line pairs, the line 0). Rates are in
// scientific notation with 10 digits after the point. Text is assembled in
// an internal buffer and handed to the stream in large chunks.
class StateSpaceFile {
 public:
  // Spaces on the placeholder line: normal and deterministic generation.
  static constexpr int kNormalPlaceholder = 63;
  static constexpr int kDeterministicPlaceholder = 8;

  explicit StateSpaceFile(std::ostream& out);
  StateSpaceFile(const StateSpaceFile&) = delete;
  StateSpaceFile& operator=(const StateSpaceFile&) = delete;
  ~StateSpaceFile();

  void WriteHeader(int file_type, int placeholder_spaces);
  void WriteState(std::uint32_t number,
                  const std::vector<TransitionList::Entry>& transitions);
  // Seeks to the start and writes the type and the state count over the
  // placeholder. Returns false when the stream failed at any point.
  [[nodiscard]] bool Finish(int file_type, std::uint32_t states_written);

 private:
  void Drain();
  void Reserve(std::size_t bytes) {
    if (buffer_.size() - used_ < bytes) Drain();
  }

  std::ostream& out_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// Formats `value` as C's "%.10e" would; returns the end of the text.
// `out` must have room for 32 characters.
char* FormatRate(double value, char* out);

// The digits of `value` in decimal; returns the end of the text.
char* FormatUnsigned(std::uint64_t value, char* out);

#endif  // GEN_GENERATOR_STATESPACEFILE_H_
