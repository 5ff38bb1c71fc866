#include "lang/Lexer.h"

#include <cctype>
#include <cstdio>

#include "lang/TextScanner.h"

namespace {

bool IsIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool IsIdentifierChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Two-character symbols first, so that "<=" is not read as "<" "=".
constexpr const char* kSymbols[] = {
    "<=", ">=", "==", "!=", "+=", "-=", "..", "(", ")", "{", "}", "[",
    "]",  ";",  ",",  ":",  "?",  "=",  "<",  ">", "+", "-", "*", "/"};

}  // namespace

std::vector<Token> Tokenize(const std::string& text) {
  std::vector<Token> tokens;
  TextScanner scan(text);
  auto make = [&](Token::Kind kind, std::string value) {
    Token token;
    token.kind = kind;
    token.text = std::move(value);
    token.line = scan.line();
    token.column = scan.column();
    return token;
  };
  while (true) {
    if (!scan.SkipBlanksAndComments()) {
      tokens.push_back(make(Token::Kind::kError, "comment not closed"));
      return tokens;
    }
    if (scan.AtEnd()) {
      tokens.push_back(make(Token::Kind::kEnd, ""));
      return tokens;
    }
    const std::size_t i = scan.offset();
    const char c = scan.Peek();
    if (IsIdentifierStart(c)) {
      std::size_t end = i;
      while (end < text.size() && IsIdentifierChar(text[end])) ++end;
      tokens.push_back(make(Token::Kind::kIdentifier, text.substr(i, end - i)));
      scan.Advance(end - i);
      continue;
    }
    bool real = false;
    if (const std::size_t length = scan.NumberLength(&real); length > 0) {
      if (IsIdentifierChar(scan.Peek(length))) {
        tokens.push_back(
            make(Token::Kind::kError,
                 "malformed number '" + text.substr(i, length + 1) + "'"));
        return tokens;
      }
      tokens.push_back(make(real ? Token::Kind::kReal : Token::Kind::kInteger,
                            text.substr(i, length)));
      scan.Advance(length);
      continue;
    }
    bool matched = false;
    for (const char* symbol : kSymbols) {
      if (scan.LooksAt(symbol)) {
        tokens.push_back(make(Token::Kind::kSymbol, symbol));
        scan.Advance(std::char_traits<char>::length(symbol));
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
