#include "prism/PrismLexer.h"

#include <cctype>

#include "lang/TextScanner.h"

namespace {

bool IsIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsIdentifierPart(char c) {
  return IsIdentifierStart(c) || std::isdigit(static_cast<unsigned char>(c));
}

}  // namespace

bool LexPrism(const std::string& text, std::vector<PrismToken>* tokens,
              PrismToken* error) {
  // Longest first, so that "<=>" wins over "<=" and "<".
  static const char* const kSymbols[] = {
      "<=>", "->", "=>", "<=", ">=", "!=", "..", "(", ")", "[",
      "]",   "{",  "}",  ";",  ":",  ",",  "+",  "-", "*", "/",
      "^",   "<",  ">",  "=",  "!",  "&",  "|",  "?", "'"};
  TextScanner scan(text);
  while (true) {
    PrismToken token{PrismToken::Kind::kEnd, "", scan.line(), scan.column()};
    if (!scan.SkipBlanksAndComments()) {
      token.line = scan.line();
      token.column = scan.column();
      token.text = "a comment that never ends";
      *error = token;
      return false;
    }
    token.line = scan.line();
    token.column = scan.column();
    if (scan.AtEnd()) {
      tokens->push_back(token);
      return true;
    }
    const std::size_t i = scan.offset();
    const char c = scan.Peek();
    std::size_t length = 0;
    bool real = false;
    if (IsIdentifierStart(c)) {
      token.kind = PrismToken::Kind::kIdentifier;
      while (IsIdentifierPart(scan.Peek(length))) ++length;
      token.text = text.substr(i, length);
    } else if ((length = scan.NumberLength(&real)) > 0) {
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
        if (scan.LooksAt(symbol)) {
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
    scan.Advance(length);
  }
}
