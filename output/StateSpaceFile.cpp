#include "output/StateSpaceFile.h"

#include <cstring>

#include "output/NumberFormat.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// The longest state block line: a rate, or a state number, plus newline.
constexpr std::size_t kMaxLine = 40;

}  // namespace

StateSpaceFile::StateSpaceFile(std::ostream& out, RateText rate_text)
    : out_(out), buffer_(kBufferSize), rate_text_(rate_text) {}

StateSpaceFile::~StateSpaceFile() { Drain(); }

void StateSpaceFile::Drain() {
  if (used_ > 0)
    out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
  used_ = 0;
}

void StateSpaceFile::WriteHeader(int file_type, int placeholder_spaces) {
  out_ << file_type << '\n' << std::string(placeholder_spaces, ' ') << '\n';
}

void StateSpaceFile::AppendState(std::uint32_t number,
                                 const Transition* transitions,
                                 std::size_t count) {
  transitions_written_ += count;
  // One check for the whole block when it fits the buffer; a longer block
  // checks line by line.
  const std::size_t block = (2 * count + 2) * kMaxLine;
  const bool fits = block <= buffer_.size();
  Reserve(fits ? block : kMaxLine);
  char* p = buffer_.data() + used_;
  p = FormatUnsigned(number, p);
  *p++ = '\n';
  for (std::size_t i = 0; i < count; ++i) {
    const Transition& entry = transitions[i];
    if (!fits) {
      used_ = static_cast<std::size_t>(p - buffer_.data());
      Reserve(2 * kMaxLine);
      p = buffer_.data() + used_;
    }
    p = FormatUnsigned(entry.target, p);
    *p++ = '\n';
    p = rate_text_ == RateText::kExact ? exact_rates_.Format(entry.rate, p)
                                       : rates_.Format(entry.rate, p);
    *p++ = '\n';
  }
  *p++ = '0';
  *p++ = '\n';
  used_ = static_cast<std::size_t>(p - buffer_.data());
}

bool StateSpaceFile::Finish(int file_type, std::uint32_t states_written) {
  Drain();
  out_.seekp(0);
  out_ << file_type << '\n' << states_written << '\n';
  out_.flush();
  return static_cast<bool>(out_);
}
