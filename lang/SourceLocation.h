#ifndef GEN_LANG_SOURCELOCATION_H_
#define GEN_LANG_SOURCELOCATION_H_

#include <string>
#include <vector>

// Where a model element came from. The text parser fills file, line and
// column (both 1-based); an importer of another format leaves line at 0 and
// puts its own location text (a JSON path, an XML element) in `origin`.
struct SourceLocation {
  std::string origin;  // file name, or an importer's location text
  int line = 0;        // 0: no line and column
  int column = 0;
};

// One error found while reading or checking a model.
struct Diagnostic {
  SourceLocation where;
  std::string message;
};

// "origin:line:column: message" followed, when `source` holds the text the
// location points into, by that line and a caret under the column; an
// importer location prints as "origin: message". Ends with a newline.
std::string FormatDiagnostic(const Diagnostic& diagnostic,
                             const std::string* source);

// Every diagnostic in order, each formatted as above.
std::string FormatDiagnostics(const std::vector<Diagnostic>& diagnostics,
                              const std::string* source);

#endif  // GEN_LANG_SOURCELOCATION_H_
