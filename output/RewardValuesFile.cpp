#include "output/RewardValuesFile.h"

#include "output/LittleEndian.h"
#include "output/NumberFormat.h"

namespace {

// Longest text of a double at full precision ("-2.2250738585072014e-308"), and
// the stack buffer a record is assembled in.
constexpr std::ptrdiff_t kMaxNumber = 24;
constexpr std::ptrdiff_t kRecordBuffer = 512;

}  // namespace

RewardValuesFile::RewardValuesFile(std::ostream& out,
                                   const std::vector<std::string>& names,
                                   bool text)
    : out_(out), variables_(names.size()), text_(text) {
  for (const std::string& name : names) {
    out_.write(name.data(), static_cast<std::streamsize>(name.size()));
    out_.put('\n');
  }
}

void RewardValuesFile::Write(std::uint32_t number, const double* values) {
  char buffer[kRecordBuffer];
  char* p = buffer;
  if (text_) {
    p = FormatUnsigned(number, p);
    *p++ = '\n';
    for (std::size_t i = 0; i < 2 * variables_; ++i) {
      if (p + kMaxNumber + 1 > buffer + kRecordBuffer) {
        out_.write(buffer, p - buffer);
        p = buffer;
      }
      p = FormatRewardExact(values[i], p);
      *p++ = '\n';
    }
  } else {
    p = PutLittleEndian(number, 4, p);
    for (std::size_t i = 0; i < 2 * variables_; ++i) {
      if (p + 8 > buffer + kRecordBuffer) {
        out_.write(buffer, p - buffer);
        p = buffer;
      }
      p = PutLittleEndian(DoubleBits(values[i]), 8, p);
    }
  }
  out_.write(buffer, p - buffer);
}
