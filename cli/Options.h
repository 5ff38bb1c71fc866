#ifndef GEN_CLI_OPTIONS_H_
#define GEN_CLI_OPTIONS_H_

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/Status.h"

// The face of one command-line option, shared by the parser and --help.
struct OptionSyntax {
  std::string name;   // "-P" (one letter) or "--format"
  std::string value;  // what the value is called in the help ("PATH"); empty
                      // for an option that takes none
  std::string help;   // one line, without its newline
};

// One option of a program: its face and what it does to the settings. The
// value is empty for an option that takes none.
template <typename Settings>
struct Option {
  OptionSyntax syntax;
  std::function<Status(Settings&, const std::string& value)> apply;
};

// One argument of the command line matched to the row at `row`.
struct MatchedOption {
  std::size_t row;
  std::string value;
};

// Reads argv[1..argc-1] against `syntaxes`. A one-letter option takes its value
// glued ("-Pout/") or as the next argument ("-P out/"); a long one as
// "--name=value" or "--name value". Arguments that do not start with '-'
// (and "-" alone) are positional, in their order. Fails, naming the
// argument and the nearest option, on an unknown option, a missing value
// and a value given to an option that takes none. Messages carry no prefix
// and no newline.
Status MatchOptions(const std::vector<OptionSyntax>& syntaxes, int argc,
                    const char* const* argv,
                    std::vector<MatchedOption>* matched,
                    std::vector<std::string>* positionals);

// The name in `names` nearest to `text` by edit distance; of equals, the one
// sharing the longest start with `text`, then the first. Empty when `names`
// is empty.
std::string NearestName(const std::vector<std::string>& names,
                        const std::string& text);

// One line per option: "  NAME VALUE" padded to a column, then the help.
void WriteOptionHelp(const std::vector<OptionSyntax>& syntaxes,
                     std::ostream& out);

// Whether a whole 32-bit decimal number ("+" or "-" allowed, nothing else
// before or after it) is `text`; then `*value` holds it.
bool ScanInt32(const std::string& text, int* value);
// Whether `text` is wholly a finite decimal number; then `*value` holds it.
bool ScanDouble(const std::string& text, double* value);

template <typename Settings>
std::vector<OptionSyntax> SyntaxOf(const std::vector<Option<Settings>>& table) {
  std::vector<OptionSyntax> syntaxes;
  syntaxes.reserve(table.size());
  for (const Option<Settings>& option : table)
    syntaxes.push_back(option.syntax);
  return syntaxes;
}

// Reads the whole command line into `settings` through `table`, in the
// order of the arguments, and the positional arguments into `positionals`.
// Stops at the first refused argument; the caller then writes nothing.
template <typename Settings>
Status ParseOptions(const std::vector<Option<Settings>>& table, int argc,
                    const char* const* argv, Settings& settings,
                    std::vector<std::string>* positionals) {
  std::vector<MatchedOption> matched;
  const Status status =
      MatchOptions(SyntaxOf(table), argc, argv, &matched, positionals);
  if (!status.ok) return status;
  for (const MatchedOption& option : matched) {
    const Status applied = table[option.row].apply(settings, option.value);
    if (!applied.ok) return applied;
  }
  return Status::Ok();
}

// A row for an option that takes no value and sets `flag`.
template <typename Settings>
Option<Settings> FlagOption(const char* name, const char* help,
                            bool Settings::*flag) {
  return {{name, "", help}, [flag](Settings& settings, const std::string&) {
            settings.*flag = true;
            return Status::Ok();
          }};
}

// `rows` made to act on the member `part` of a larger settings struct, so
// that programs sharing a set of options share its rows.
template <typename Outer, typename Inner>
std::vector<Option<Outer>> OptionsOfPart(const std::vector<Option<Inner>>& rows,
                                         Inner Outer::*part) {
  std::vector<Option<Outer>> lifted;
  lifted.reserve(rows.size());
  for (const Option<Inner>& row : rows) {
    lifted.push_back(Option<Outer>{
        row.syntax,
        [apply = row.apply, part](Outer& settings, const std::string& value) {
          return apply(settings.*part, value);
        }});
  }
  return lifted;
}

#endif  // GEN_CLI_OPTIONS_H_
