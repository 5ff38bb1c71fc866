#ifndef GEN_LANG_TEXTSCANNER_H_
#define GEN_LANG_TEXTSCANNER_H_

#include <cstddef>
#include <string>

// A read position in a model text with its 1-based line and column, and the
// lexing that the model language and the PRISM language share: blanks,
// "// ..." and "/* ... */" comments, and the extent of a number.
class TextScanner {
 public:
  explicit TextScanner(const std::string& text) : text_(text) {}

  std::size_t offset() const { return offset_; }
  int line() const { return line_; }
  int column() const { return column_; }
  bool AtEnd() const { return offset_ >= text_.size(); }

  // The character `ahead` places on, or '\0' past the end.
  char Peek(std::size_t ahead = 0) const {
    return offset_ + ahead < text_.size() ? text_[offset_ + ahead] : '\0';
  }
  bool LooksAt(const char* word) const {
    return text_.compare(offset_, std::char_traits<char>::length(word), word) ==
           0;
  }

  // Moves `count` characters on (at most to the end), counting lines.
  void Advance(std::size_t count);

  // Skips blanks and comments. Returns false, standing at the "/*", when a
  // comment is not closed.
  bool SkipBlanksAndComments();

  // The length of the number that starts here: digits, a fraction unless
  // the dot begins a ".." range ("1..4" is a range of integers), and an
  // exponent with an optional sign. 0 when no number starts here. `real`
  // says whether a fraction or an exponent was read.
  std::size_t NumberLength(bool* real) const;

 private:
  const std::string& text_;
  std::size_t offset_ = 0;
  int line_ = 1;
  int column_ = 1;
};

#endif  // GEN_LANG_TEXTSCANNER_H_
