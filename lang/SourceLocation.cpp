#include "lang/SourceLocation.h"

namespace {

// Line `line` (1-based) of `source` without its newline; empty when absent.
std::string LineOf(const std::string& source, int line) {
  std::size_t start = 0;
  for (int current = 1; current < line; ++current) {
    start = source.find('\n', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  const std::size_t end = source.find('\n', start);
  return source.substr(
      start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string FormatDiagnostic(const Diagnostic& diagnostic,
                             const std::string* source) {
  const SourceLocation& where = diagnostic.where;
  std::string text = where.origin;
  if (where.line > 0) {
    text +=
        ':' + std::to_string(where.line) + ':' + std::to_string(where.column);
  }
  text += ": " + diagnostic.message + '\n';
  if (where.line > 0 && source != nullptr) {
    const std::string line = LineOf(*source, where.line);
    text += line + '\n';
    // Tabs stay tabs so that the caret lines up under the same column.
    std::string caret;
    for (int i = 1; i < where.column; ++i) {
      const auto k = static_cast<std::size_t>(i - 1);
      caret += k < line.size() && line[k] == '\t' ? '\t' : ' ';
    }
    text += caret + "^\n";
  }
  return text;
}

std::string FormatDiagnostics(const std::vector<Diagnostic>& diagnostics,
                              const std::string* source) {
  std::string text;
  for (const Diagnostic& diagnostic : diagnostics) {
    text += FormatDiagnostic(diagnostic, source);
  }
  return text;
}
