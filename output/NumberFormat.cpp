#include "output/NumberFormat.h"

#include <charconv>

#include "output/Formats.h"

char* FormatRate(double value, char* out) {
  // to_chars with a precision gives the correctly rounded digits that
  // printf's %.10e gives, and the same two-digit minimum exponent.
  return std::to_chars(out, out + 32, value, std::chars_format::scientific,
                       kRateDigits)
      .ptr;
}

char* FormatUnsigned(std::uint64_t value, char* out) {
  return std::to_chars(out, out + 24, value).ptr;
}

char* FormatReward(double value, char* out) {
  return std::to_chars(out, out + 24, value, std::chars_format::general,
                       kRewardDigits)
      .ptr;
}
