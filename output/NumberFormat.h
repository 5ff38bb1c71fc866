#ifndef GEN_OUTPUT_NUMBERFORMAT_H_
#define GEN_OUTPUT_NUMBERFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

// Number texts of the result files, made without stream state or locale.
// Each returns the end of the text it writes at `out`.

// C's "%.10e"; `out` must have room for 32 characters.
char* FormatRate(double value, char* out);

// The decimal digits of `value`; room for 24 characters. Inline: every
// line of a state-space file starts with one.
inline char* FormatUnsigned(std::uint64_t value, char* out) {
  static constexpr char kPairs[] =
      "000102030405060708091011121314151617181920212223242526272829303132333435"
      "36"
      "373839404142434445464748495051525354555657585960616263646566676869707172"
      "73"
      "7475767778798081828384858687888990919293949596979899";
  int digits = 1;
  for (std::uint64_t bound = 10; digits < 20 && value >= bound; bound *= 10) {
    ++digits;
  }
  char* const end = out + digits;
  char* p = end;
  while (value >= 100) {
    const std::size_t pair = 2 * static_cast<std::size_t>(value % 100);
    value /= 100;
    p -= 2;
    std::memcpy(p, kPairs + pair, 2);
  }
  if (value >= 10) {
    std::memcpy(p - 2, kPairs + 2 * value, 2);
  } else {
    p[-1] = static_cast<char>('0' + value);
  }
  return end;
}

// C's "%.6g" (six significant digits, the shorter of fixed and exponent
// notation), which is also what a default-formatted stream prints; room for
// 24 characters.
char* FormatReward(double value, char* out);

// The shortest text that reads back to exactly `value`: FormatReward's text
// whenever six significant digits already do (the same bytes), otherwise
// the fewest significant digits that do (7 to 17) in the same notation
// ("%.Pg"); room for 24 characters.
char* FormatRewardExact(double value, char* out);

#endif  // GEN_OUTPUT_NUMBERFORMAT_H_
