#ifndef GEN_OUTPUT_NUMBERFORMAT_H_
#define GEN_OUTPUT_NUMBERFORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

// Number texts of the result files, made without stream state or locale.
// Each returns the end of the text it writes at `out`.

// C's "%.10e"; `out` must have room for 32 characters.
char* FormatRate(double value, char* out);

// The rate text of the state-space file: FormatRate's text whenever its
// eleven significant digits read back to exactly `value` (the same bytes),
// otherwise the fewest digits that do (12 to 17) in the same notation, so
// that a solver reads the rate the model computed; room for 32 characters.
char* FormatRateExact(double value, char* out);

namespace number_format_detail {

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

// Writes the digits of `value` backwards, ending just before `end`.
template <typename Unsigned>
inline void PutDigitsBackwards(Unsigned value, char* end) {
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    end -= 2;
    std::memcpy(end, kDigitPairs + pair, 2);
  }
  if (value >= 10) {
    std::memcpy(end - 2, kDigitPairs + static_cast<std::size_t>(value) * 2, 2);
  } else {
    end[-1] = static_cast<char>('0' + value);
  }
}

}  // namespace number_format_detail

// The decimal digits of `value`; room for 24 characters (up to eight past
// the text may be overwritten). Inline: every line of a state-space file
// starts with one.
inline char* FormatUnsigned(std::uint64_t value, char* out) {
  static constexpr std::uint64_t kPowers[20] = {1u,
                                                10u,
                                                100u,
                                                1000u,
                                                10000u,
                                                100000u,
                                                1000000u,
                                                10000000u,
                                                100000000u,
                                                1000000000u,
                                                10000000000u,
                                                100000000000u,
                                                1000000000000u,
                                                10000000000000u,
                                                100000000000000u,
                                                1000000000000000u,
                                                10000000000000000u,
                                                100000000000000000u,
                                                1000000000000000000u,
                                                10000000000000000000u};
  // 1233 / 4096 is just above log10(2): the bit length gives the digit
  // count or one more, and one comparison settles it ("| 1" makes 0 one
  // digit long and moves no other value across a power of ten).
  const std::uint64_t odd = value | 1;
  const int bits = 64 - __builtin_clzll(odd);
  const int guess = (bits * 1233) >> 12;
  const int digits = guess + 1 - (odd < kPowers[guess] ? 1 : 0);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (value < 100000000u) {
    // All eight digits at once, leading zeros included, the first in the
    // lowest byte: the two halves of four digits, their pairs and their
    // digits are each split in one step across the lanes of one word, so
    // no division waits for another. Each multiply-and-shift divides
    // exactly in its range (by 100 below 10,000, by 10 below 100) and its
    // products stay inside their lanes.
    std::uint64_t lanes = value / 10000 | (value % 10000) << 32;
    const std::uint64_t hundreds = (lanes * 10486 >> 20) & 0x0000007F0000007Fu;
    lanes = hundreds | (lanes - hundreds * 100) << 16;
    const std::uint64_t tens = (lanes * 103 >> 10) & 0x000F000F000F000Fu;
    lanes = tens | (lanes - tens * 10) << 8;
    lanes = (lanes + 0x3030303030303030u) >> (8 * (8 - digits));
    std::memcpy(out, &lanes, sizeof lanes);
    return out + digits;
  }
#endif
  char* const end = out + digits;
  if (value <= 0xFFFFFFFFu) {
    // 32-bit division by a constant is cheaper.
    number_format_detail::PutDigitsBackwards(static_cast<std::uint32_t>(value),
                                             end);
  } else {
    number_format_detail::PutDigitsBackwards(value, end);
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
