#ifndef GEN_PRISM_PRISMLEXER_H_
#define GEN_PRISM_PRISMLEXER_H_

#include <string>
#include <vector>

// One token of a PRISM model or property file, with its 1-based line and
// column.
struct PrismToken {
  enum class Kind { kIdentifier, kInteger, kDouble, kString, kSymbol, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;  // strings without their quotes
  int line = 1;
  int column = 1;
};

// The tokens of `text`, ending with kEnd; comments (`// ...` and
// `/* ... */`) and blanks are skipped. On a character no token starts with,
// or an unterminated string or comment, returns false with the token that
// failed (its position and a message in `text`) in `error`.
bool LexPrism(const std::string& text, std::vector<PrismToken>* tokens,
              PrismToken* error);

#endif  // GEN_PRISM_PRISMLEXER_H_
