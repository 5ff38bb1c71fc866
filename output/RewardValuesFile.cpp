#include "output/RewardValuesFile.h"

#include "output/LittleEndian.h"
#include "output/NumberFormat.h"

namespace {

// Longest text of a double at full precision ("-2.2250738585072014e-308"),
// which is also the room the text cache copies.
constexpr std::size_t kMaxNumber = 24;
constexpr std::size_t kBufferSize = std::size_t{1} << 16;

}  // namespace

RewardValuesFile::RewardValuesFile(std::ostream& out,
                                   const std::vector<std::string>& names,
                                   bool text)
    : out_(out), variables_(names.size()), text_(text), buffer_(kBufferSize) {
  for (const std::string& name : names) {
    out_.write(name.data(), static_cast<std::streamsize>(name.size()));
    out_.put('\n');
  }
}

RewardValuesFile::~RewardValuesFile() { Flush(); }

void RewardValuesFile::Flush() {
  if (used_ > 0) {
    out_.write(buffer_.data(), static_cast<std::streamsize>(used_));
  }
  used_ = 0;
}

void RewardValuesFile::Append(std::uint32_t number, const double* values) {
  char* p = buffer_.data() + used_;
  if (text_) {
    p = Reserve(p, kMaxNumber + 1);
    p = FormatUnsigned(number, p);
    *p++ = '\n';
    for (std::size_t i = 0; i < 2 * variables_; ++i) {
      p = Reserve(p, kMaxNumber + 1);
      p = texts_.Format(values[i], p);
      *p++ = '\n';
    }
  } else {
    p = Reserve(p, 4);
    p = PutLittleEndian(number, 4, p);
    for (std::size_t i = 0; i < 2 * variables_; ++i) {
      p = Reserve(p, 8);
      p = PutLittleEndian(DoubleBits(values[i]), 8, p);
    }
  }
  used_ = static_cast<std::size_t>(p - buffer_.data());
}
