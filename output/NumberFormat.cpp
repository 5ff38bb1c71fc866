#include "output/NumberFormat.h"

#include <charconv>
#include <cmath>

#include "output/Formats.h"

char* FormatRate(double value, char* out) {
  // to_chars with a precision gives the correctly rounded digits that
  // printf's %.10e gives, and the same two-digit minimum exponent.
  return std::to_chars(out, out + 32, value, std::chars_format::scientific,
                       kRateDigits)
      .ptr;
}

namespace {

// The number of significant digits of the shortest text that reads back to
// exactly `value` (finite).
int ShortestDigits(double value) {
  char shortest[32];
  const char* end = std::to_chars(shortest, shortest + sizeof shortest, value,
                                  std::chars_format::scientific)
                        .ptr;
  int digits = 0;
  for (const char* p = shortest; p != end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') ++digits;
  }
  return digits;
}

}  // namespace

char* FormatRateExact(double value, char* out) {
  if (!std::isfinite(value)) return FormatRate(value, out);
  const int digits = ShortestDigits(value);
  if (digits <= kRateDigits + 1) return FormatRate(value, out);
  return std::to_chars(out, out + 32, value, std::chars_format::scientific,
                       digits - 1)
      .ptr;
}

char* FormatReward(double value, char* out) {
  return std::to_chars(out, out + 24, value, std::chars_format::general,
                       kRewardDigits)
      .ptr;
}

char* FormatRewardExact(double value, char* out) {
  if (!std::isfinite(value)) return FormatReward(value, out);
  // The shortest round-trip digits tell how many significant digits the %g
  // form needs.
  const int digits = ShortestDigits(value);
  if (digits <= kRewardDigits) return FormatReward(value, out);
  return std::to_chars(out, out + 24, value, std::chars_format::general, digits)
      .ptr;
}
