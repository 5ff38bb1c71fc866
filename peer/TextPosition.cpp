#include "peer/TextPosition.h"

#include <algorithm>

std::string LineAndColumn(const std::string& text, std::size_t offset) {
  const std::size_t end = std::min(offset, text.size());
  std::size_t line = 1;
  std::size_t line_start = 0;
  for (std::size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return "line " + std::to_string(line) + ", column " +
         std::to_string(end - line_start + 1);
}
