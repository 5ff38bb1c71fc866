#include "lang/Lexer.h"

#include <cctype>
#include <cstdio>

namespace {

bool IsIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Two-character symbols first, so that "<=" is not read as "<" "=".
constexpr const char* kSymbols[] = {
    "<=", ">=", "==", "!=", "+=", "-=", "..", "(", ")", "{", "}", "[",
    "]",  ";",  ",",  ":",  "?",  "=",  "<",  ">", "+", "-", "*", "/"};

}  // namespace

std::vector<Token> Tokenize(const std::string& text) {
  std::vector<Token> tokens;
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
  auto make = [&](Token::Kind kind, std::string value) {
    Token token;
    token.kind = kind;
    token.text = std::move(value);
    token.line = line;
    token.column = column;
    return token;
  };
  while (true) {
    // Blanks and comments.
    while (i < text.size()) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        advance(1);
      } else if (text.compare(i, 2, "//") == 0) {
        while (i < text.size() && text[i] != '\n') advance(1);
      } else if (text.compare(i, 2, "/*") == 0) {
        const Token start = make(Token::Kind::kError, "");
        const std::size_t end = text.find("*/", i + 2);
        if (end == std::string::npos) {
          Token error = start;
          error.text = "comment not closed";
          tokens.push_back(error);
          return tokens;
        }
        advance(end + 2 - i);
      } else {
        break;
      }
    }
    if (i >= text.size()) {
      tokens.push_back(make(Token::Kind::kEnd, ""));
      return tokens;
    }
    const char c = text[i];
    if (IsIdentifierStart(c)) {
      std::size_t end = i;
      while (end < text.size() && IsIdentifierChar(text[end])) ++end;
      tokens.push_back(make(Token::Kind::kIdentifier, text.substr(i, end - i)));
      advance(end - i);
      continue;
    }
    if (IsDigit(c) ||
        (c == '.' && i + 1 < text.size() && IsDigit(text[i + 1]))) {
      std::size_t end = i;
      bool real = false;
      while (end < text.size() && IsDigit(text[end])) ++end;
      // "1..4" is a range of integers, not the real "1." followed by ".4".
      if (end < text.size() && text[end] == '.' &&
          text.compare(end, 2, "..") != 0) {
        real = true;
        ++end;
        while (end < text.size() && IsDigit(text[end])) ++end;
      }
      if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t exponent = end + 1;
        if (exponent < text.size() &&
            (text[exponent] == '+' || text[exponent] == '-')) {
          ++exponent;
        }
        if (exponent < text.size() && IsDigit(text[exponent])) {
          real = true;
          end = exponent;
          while (end < text.size() && IsDigit(text[end])) ++end;
        }
      }
      if (end < text.size() && IsIdentifierChar(text[end])) {
        tokens.push_back(
            make(Token::Kind::kError,
                 "malformed number '" + text.substr(i, end + 1 - i) + "'"));
        return tokens;
      }
      tokens.push_back(make(real ? Token::Kind::kReal : Token::Kind::kInteger,
                            text.substr(i, end - i)));
      advance(end - i);
      continue;
    }
    bool matched = false;
    for (const char* symbol : kSymbols) {
      const std::string s = symbol;
      if (text.compare(i, s.size(), s) == 0) {
        tokens.push_back(make(Token::Kind::kSymbol, s));
        advance(s.size());
        matched = true;
        break;
      }
    }
    if (matched) continue;
    std::string shown(1, c);
    if (!std::isprint(static_cast<unsigned char>(c))) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02x",
                    static_cast<unsigned>(static_cast<unsigned char>(c)));
      shown = buffer;
    }
    tokens.push_back(
        make(Token::Kind::kError, "unexpected character '" + shown + "'"));
    return tokens;
  }
}
