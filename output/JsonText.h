#ifndef GEN_OUTPUT_JSONTEXT_H_
#define GEN_OUTPUT_JSONTEXT_H_

#include <cmath>
#include <cstdio>
#include <string>

#include "output/ShortestText.h"

// Inline: solve writes JSON with these too and links none of the writers.

// `text` as a JSON string, quoted: quotes, backslashes and control
// characters escaped; other bytes (UTF-8 included) as they are.
inline std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// `value` as a JSON number in the fewest digits that read back to the same
// double. JSON has no infinity or NaN: an infinite value is written as the
// string "inf" or "-inf", NaN as null.
inline std::string JsonNumber(double value) {
  if (std::isnan(value)) return "null";
  if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
  return ShortestText(value);
}

#endif  // GEN_OUTPUT_JSONTEXT_H_
