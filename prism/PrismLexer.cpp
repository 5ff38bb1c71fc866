#include "prism/PrismLexer.h"

#include <cctype>

namespace {

bool IsIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsIdentifierPart(char c) {
  return IsIdentifierStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

bool LexPrism(const std::string& text, std::vector<PrismToken>* tokens,
              PrismToken* error) {
  // Longest first, so that "<=>" wins over "<=" and "<".
  static const char* const kSymbols[] = {
      "<=>", "->", "=>", "<=", ">=", "!=", "..", "(", ")", "[",
      "]",   "{",  "}",  ";",  ":",  ",",  "+",  "-", "*", "/",
      "^",   "<",  ">",  "=",  "!",  "&",  "|",  "?", "'"};
  std::size_t i = 0;
  int line = 1;
  int column = 1;
  auto advance = [&](std::size_t count) {
    for (std::size_t k = 0; k < count && i < text.size(); ++k, ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
  };
  while (true) {
    while (i < text.size()) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        advance(1);
      } else if (text.compare(i, 2, "//") == 0) {
        while (i < text.size() && text[i] != '\n') advance(1);
      } else if (text.compare(i, 2, "/*") == 0) {
        PrismToken start{PrismToken::Kind::kEnd, "", line, column};
        const std::size_t end = text.find("*/", i + 2);
        if (end == std::string::npos) {
          start.text = "a comment that never ends";
          *error = start;
          return false;
        }
        advance(end + 2 - i);
      } else {
        break;
      }
    }
    PrismToken token{PrismToken::Kind::kEnd, "", line, column};
    if (i >= text.size()) {
      tokens->push_back(token);
      return true;
    }
    const char c = text[i];
    std::size_t length = 0;
    if (IsIdentifierStart(c)) {
      token.kind = PrismToken::Kind::kIdentifier;
      while (i + length < text.size() && IsIdentifierPart(text[i + length])) {
        ++length;
      }
      token.text = text.substr(i, length);
    } else if (IsDigit(c) ||
               (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
      bool real = false;
      while (i + length < text.size() && IsDigit(text[i + length])) ++length;
      // "1..3" is a range: the dots are not a fraction.
      if (i + length < text.size() && text[i + length] == '.' &&
          text.compare(i + length, 2, "..") != 0) {
        real = true;
        ++length;
        while (i + length < text.size() && IsDigit(text[i + length])) ++length;
      }
      if (i + length < text.size() &&
          (text[i + length] == 'e' || text[i + length] == 'E')) {
        std::size_t k = i + length + 1;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) ++k;
        if (k < text.size() && IsDigit(text[k])) {
          real = true;
          while (k < text.size() && IsDigit(text[k])) ++k;
          length = k - i;
        }
      }
      token.kind =
          real ? PrismToken::Kind::kDouble : PrismToken::Kind::kInteger;
      token.text = text.substr(i, length);
    } else if (c == '"') {
      const std::size_t end = text.find_first_of("\"\n", i + 1);
      if (end == std::string::npos || text[end] != '"') {
        token.text = "a string that never ends";
        *error = token;
        return false;
      }
      token.kind = PrismToken::Kind::kString;
      token.text = text.substr(i + 1, end - i - 1);
      length = end + 1 - i;
    } else {
      for (const char* symbol : kSymbols) {
        if (text.compare(i, std::char_traits<char>::length(symbol), symbol) ==
            0) {
          token.kind = PrismToken::Kind::kSymbol;
          token.text = symbol;
          length = token.text.size();
          break;
        }
      }
      if (length == 0) {
        token.text = std::string("unexpected character '") + c + "'";
        *error = token;
        return false;
      }
    }
    tokens->push_back(token);
    advance(length);
  }
}
