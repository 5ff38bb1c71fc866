#ifndef GEN_OUTPUT_SHORTESTTEXT_H_
#define GEN_OUTPUT_SHORTESTTEXT_H_

#include <charconv>
#include <string>

// `value` in the fewest digits that read back to the same double: 0.7, not
// 0.69999999999999996; 1e-300; "inf" and "nan" where it is no finite
// number. Inline: solve uses it and links none of the writers.
inline std::string ShortestText(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

#endif  // GEN_OUTPUT_SHORTESTTEXT_H_
