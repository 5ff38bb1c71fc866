#include "lang/TextScanner.h"

#include <cctype>

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

void TextScanner::Advance(std::size_t count) {
  for (std::size_t k = 0; k < count && offset_ < text_.size(); ++k, ++offset_) {
    if (text_[offset_] == '\n') {
      ++line_;
      column_ = 1;
    } else {
      ++column_;
    }
  }
}

bool TextScanner::SkipBlanksAndComments() {
  while (!AtEnd()) {
    const char c = Peek();
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      Advance(1);
    } else if (LooksAt("//")) {
      while (!AtEnd() && Peek() != '\n') Advance(1);
    } else if (LooksAt("/*")) {
      const std::size_t end = text_.find("*/", offset_ + 2);
      if (end == std::string::npos) return false;
      Advance(end + 2 - offset_);
    } else {
      break;
    }
  }
  return true;
}

std::size_t TextScanner::NumberLength(bool* real) const {
  *real = false;
  if (!IsDigit(Peek()) && !(Peek() == '.' && IsDigit(Peek(1)))) return 0;
  std::size_t length = 0;
  while (IsDigit(Peek(length))) ++length;
  if (Peek(length) == '.' && Peek(length + 1) != '.') {
    *real = true;
    ++length;
    while (IsDigit(Peek(length))) ++length;
  }
  if (Peek(length) == 'e' || Peek(length) == 'E') {
    std::size_t exponent = length + 1;
    if (Peek(exponent) == '+' || Peek(exponent) == '-') ++exponent;
    if (IsDigit(Peek(exponent))) {
      *real = true;
      length = exponent;
      while (IsDigit(Peek(length))) ++length;
    }
  }
  return length;
}
