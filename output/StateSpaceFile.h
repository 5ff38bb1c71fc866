#ifndef GEN_OUTPUT_STATESPACEFILE_H_
#define GEN_OUTPUT_STATESPACEFILE_H_

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "output/NumberTextCache.h"

// One transition of a state's block: the target's number and the rate (in
// deterministic generation, minus the probability of a deterministic firing).
struct Transition {
  std::uint32_t target;
  double rate;
};

// Writes the state-space file (.arm): the output file type, a placeholder
// line that is overwritten with the state count at the end, then one block
// per state (its number, target/rate line pairs, the line 0). Rates are in
// scientific notation with 10 digits after the point, or, with
// RateText::kExact, with as many as they need to read back exactly. Text is
// assembled in an internal buffer and handed to the stream in large chunks.
class StateSpaceFile {
 public:
  enum class RateText {
    kTenDigits,  // "%.10e": the files of gen and genbench
    kExact,      // FormatRateExact: the same bytes wherever those are exact
  };
  explicit StateSpaceFile(std::ostream& out,
                          RateText rate_text = RateText::kTenDigits);
  StateSpaceFile(const StateSpaceFile&) = delete;
  StateSpaceFile& operator=(const StateSpaceFile&) = delete;
  ~StateSpaceFile();

  void WriteHeader(int file_type, int placeholder_spaces);
  // Formats the block and hands it to the stream at once, so that a run
  // stopped later by a fatal error leaves it in the file.
  void WriteState(std::uint32_t number,
                  const std::vector<Transition>& transitions) {
    AppendState(number, transitions);
    Flush();
  }
  // Formats the block into the internal buffer only; it reaches the stream
  // when the buffer fills or at the next Flush.
  void AppendState(std::uint32_t number,
                   const std::vector<Transition>& transitions) {
    AppendState(number, transitions.data(), transitions.size());
  }
  void AppendState(std::uint32_t number, const Transition* transitions,
                   std::size_t count);
  // Hands everything formatted so far to the stream.
  void Flush() { Drain(); }
  // Seeks to the start and writes the type and the state count over the
  // placeholder. Returns false when the stream failed at any point.
  [[nodiscard]] bool Finish(int file_type, std::uint32_t states_written);
  // True once the stream has failed; it covers every block up to the last
  // Flush (WriteState flushes each block).
  bool Failed() const { return !out_; }
  // Transitions in the blocks written so far.
  std::uint64_t TransitionsWritten() const { return transitions_written_; }

 private:
  void Drain();
  void Reserve(std::size_t bytes) {
    if (buffer_.size() - used_ < bytes) Drain();
  }

  std::ostream& out_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
  std::uint64_t transitions_written_ = 0;
  const RateText rate_text_;
  RateTextCache rates_;
  ExactRateTextCache exact_rates_;
};

#endif  // GEN_OUTPUT_STATESPACEFILE_H_
