#ifndef GEN_LANG_LEXER_H_
#define GEN_LANG_LEXER_H_

#include <string>
#include <vector>

#include "lang/SourceLocation.h"

struct Token {
  enum class Kind {
    kIdentifier,  // also keywords: the parser tells them apart
    kInteger,     // digits only
    kReal,        // digits with a fraction or an exponent
    kSymbol,      // punctuation and operators, longest match
    kEnd,
    kError,  // `text` is the message
  };
  Kind kind = Kind::kEnd;
  std::string text;
  int line = 1;
  int column = 1;
};

// Splits model text into tokens. Blanks, newlines, "// ..." to the end of
// the line and "/* ... */" separate tokens. Stops at the first character it
// cannot read, with a kError token there; the last token is always kEnd or
// kError.
std::vector<Token> Tokenize(const std::string& text);

#endif  // GEN_LANG_LEXER_H_
