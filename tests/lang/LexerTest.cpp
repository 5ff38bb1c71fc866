// Splitting model text into tokens: numbers next to ranges, comments,
// positions, and where reading stops.

#include "lang/Lexer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// "kind:text@line:column" for every token.
std::vector<std::string> Describe(const std::string& text) {
  std::vector<std::string> out;
  for (const Token& token : Tokenize(text)) {
    const char* kind = "?";
    switch (token.kind) {
      case Token::Kind::kIdentifier:
        kind = "id";
        break;
      case Token::Kind::kInteger:
        kind = "int";
        break;
      case Token::Kind::kReal:
        kind = "real";
        break;
      case Token::Kind::kSymbol:
        kind = "sym";
        break;
      case Token::Kind::kEnd:
        kind = "end";
        break;
      case Token::Kind::kError:
        kind = "error";
        break;
    }
    out.push_back(std::string(kind) + ":" + token.text + "@" +
                  std::to_string(token.line) + ":" +
                  std::to_string(token.column));
  }
  return out;
}

TEST(LexerTest, Tokens) {
  struct Row {
    const char* text;
    std::vector<std::string> tokens;
  };
  const Row rows[] = {
      {"1..4", {"int:1@1:1", "sym:..@1:2", "int:4@1:4", "end:@1:5"}},
      {"1.5e-3 .5 2E2 7",
       {"real:1.5e-3@1:1", "real:.5@1:8", "real:2E2@1:11", "int:7@1:15",
        "end:@1:16"}},
      {"a<=b>=c==d!=e+=f-=g",
       {"id:a@1:1", "sym:<=@1:2", "id:b@1:4", "sym:>=@1:5", "id:c@1:7",
        "sym:==@1:8", "id:d@1:10", "sym:!=@1:11", "id:e@1:13", "sym:+=@1:14",
        "id:f@1:16", "sym:-=@1:17", "id:g@1:19", "end:@1:20"}},
      {"x // to the end\n/* two\nlines */ y",
       {"id:x@1:1", "id:y@3:10", "end:@3:11"}},
      {"1e", {"error:malformed number '1e'@1:1"}},
      {"12ab", {"error:malformed number '12a'@1:1"}},
      {"a\n  @", {"id:a@1:1", "error:unexpected character '@'@2:3"}},
      {"a \x01", {"id:a@1:1", "error:unexpected character '\\x01'@1:3"}},
      {"/* open", {"error:comment not closed@1:1"}},
      {"", {"end:@1:1"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Describe(row.text), row.tokens);
  }
}

}  // namespace
