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

char* FormatReward(double value, char* out) {
  return std::to_chars(out, out + 24, value, std::chars_format::general,
                       kRewardDigits)
      .ptr;
}

char* FormatRewardExact(double value, char* out) {
  if (!std::isfinite(value)) return FormatReward(value, out);
  // The shortest round-trip digits in exponent form, "-d.ddde-xx": counting
  // them tells how many significant digits the %g form needs.
  char shortest[32];
  const char* end = std::to_chars(shortest, shortest + sizeof shortest, value,
                                  std::chars_format::scientific)
                        .ptr;
  int digits = 0;
  for (const char* p = shortest; p != end && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') ++digits;
  }
  if (digits <= kRewardDigits) return FormatReward(value, out);
  return std::to_chars(out, out + 24, value, std::chars_format::general, digits)
      .ptr;
}
