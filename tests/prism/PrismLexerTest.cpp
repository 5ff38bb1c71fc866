// Splitting PRISM text into tokens: the longest symbol, numbers next to
// ranges, strings, positions across lines and comments, and where reading
// stops.

#include "prism/PrismLexer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// "text@line:column" for every token, or "error:message@line:column".
std::vector<std::string> Describe(const std::string& text) {
  std::vector<PrismToken> tokens;
  PrismToken error;
  const bool ok = LexPrism(text, &tokens, &error);
  std::vector<std::string> out;
  auto at = [](const PrismToken& token) {
    return "@" + std::to_string(token.line) + ":" +
           std::to_string(token.column);
  };
  for (const PrismToken& token : tokens) {
    const bool number = token.kind == PrismToken::Kind::kInteger ||
                        token.kind == PrismToken::Kind::kDouble;
    const char* prefix = token.kind == PrismToken::Kind::kDouble   ? "d:"
                         : number                                  ? "i:"
                         : token.kind == PrismToken::Kind::kString ? "s:"
                                                                   : "";
    out.push_back(prefix + token.text + at(token));
  }
  if (!ok) out.push_back("error:" + error.text + at(error));
  return out;
}

TEST(PrismLexerTest, Tokens) {
  struct Row {
    const char* text;
    std::vector<std::string> tokens;
  };
  const Row rows[] = {
      {"[0..3]", {"[@1:1", "i:0@1:2", "..@1:3", "i:3@1:5", "]@1:6", "@1:7"}},
      {"x'=.5e-1+2E2",
       {"x@1:1", "'@1:2", "=@1:3", "d:.5e-1@1:4", "+@1:9", "d:2E2@1:10",
        "@1:13"}},
      {"a<=>b->c", {"a@1:1", "<=>@1:2", "b@1:5", "->@1:6", "c@1:8", "@1:9"}},
      {"// note\n  /* two\nlines */ \"r1\" 7e",
       {"s:r1@3:10", "i:7@3:15", "e@3:16", "@3:17"}},
      {"x\n  /* open", {"x@1:1", "error:a comment that never ends@2:3"}},
      {"\"open\nx", {"error:a string that never ends@1:1"}},
      {"a # b", {"a@1:1", "error:unexpected character '#'@1:3"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Describe(row.text), row.tokens);
  }
}

}  // namespace
