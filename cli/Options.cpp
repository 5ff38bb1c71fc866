#include "cli/Options.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// Width of the column where the help text of each option starts.
constexpr std::size_t kHelpColumn = 26;

std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::size_t CommonPrefix(const std::string& a, const std::string& b) {
  std::size_t n = 0;
  while (n < a.size() && n < b.size() && a[n] == b[n]) ++n;
  return n;
}

std::vector<std::string> NamesOf(const std::vector<OptionSyntax>& syntaxes) {
  std::vector<std::string> names;
  for (const OptionSyntax& syntax : syntaxes) names.push_back(syntax.name);
  return names;
}

Status Unknown(const std::vector<OptionSyntax>& syntaxes,
               const std::string& arg) {
  // "--frob=x" is compared without its value.
  const std::string name = arg.substr(0, arg.find('='));
  return Status::Error("unknown option \"" + arg + "\"; did you mean \"" +
                       NearestName(NamesOf(syntaxes), name) + "\"?");
}

const OptionSyntax* Find(const std::vector<OptionSyntax>& syntaxes,
                         const std::string& name, std::size_t* row) {
  for (std::size_t r = 0; r < syntaxes.size(); ++r) {
    if (syntaxes[r].name == name) {
      *row = r;
      return &syntaxes[r];
    }
  }
  return nullptr;
}

}  // namespace

std::string NearestName(const std::vector<std::string>& names,
                        const std::string& text) {
  std::string nearest;
  std::size_t best = 0;
  std::size_t best_prefix = 0;
  for (const std::string& name : names) {
    const std::size_t distance = EditDistance(name, text);
    const std::size_t prefix = CommonPrefix(name, text);
    if (nearest.empty() || distance < best ||
        (distance == best && prefix > best_prefix)) {
      nearest = name;
      best = distance;
      best_prefix = prefix;
    }
  }
  return nearest;
}

Status MatchOptions(const std::vector<OptionSyntax>& syntaxes, int argc,
                    const char* const* argv,
                    std::vector<MatchedOption>* matched,
                    std::vector<std::string>* positionals) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positionals->push_back(arg);
      continue;
    }
    std::size_t row = 0;
    std::string value;
    bool has_value = false;
    const OptionSyntax* syntax = nullptr;
    if (arg[1] == '-') {
      const std::size_t equals = arg.find('=');
      syntax = Find(syntaxes, arg.substr(0, equals), &row);
      if (syntax == nullptr) return Unknown(syntaxes, arg);
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
        has_value = true;
      }
    } else {
      syntax = Find(syntaxes, arg.substr(0, 2), &row);
      if (syntax == nullptr) return Unknown(syntaxes, arg);
      if (arg.size() > 2) {
        // "-ax" is no flag: a one-letter flag stands alone.
        if (syntax->value.empty()) return Unknown(syntaxes, arg);
        value = arg.substr(2);
        has_value = true;
      }
    }
    if (syntax->value.empty()) {
      if (has_value) {
        return Status::Error("option \"" + syntax->name +
                             "\" takes no value (given \"" + arg + "\")");
      }
    } else if (!has_value) {
      if (i + 1 >= argc) {
        return Status::Error("option \"" + syntax->name + "\" needs a value (" +
                             syntax->value + ")");
      }
      value = argv[++i];
    }
    matched->push_back(MatchedOption{row, std::move(value)});
  }
  return Status::Ok();
}

void WriteOptionHelp(const std::vector<OptionSyntax>& syntaxes,
                     std::ostream& out) {
  for (const OptionSyntax& syntax : syntaxes) {
    std::string head = "  " + syntax.name;
    if (!syntax.value.empty()) head += ' ' + syntax.value;
    head += head.size() + 1 < kHelpColumn
                ? std::string(kHelpColumn - head.size(), ' ')
                : std::string("  ");
    out << head << syntax.help << '\n';
  }
}

bool ScanInt32(const std::string& text, int* value) {
  if (text.empty()) return false;
  const char first = text[0];
  if (first != '+' && first != '-' && (first < '0' || first > '9')) {
    return false;  // strtol would skip leading blanks
  }
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || errno == ERANGE ||
      parsed < INT32_MIN || parsed > INT32_MAX) {
    return false;
  }
  *value = static_cast<int>(parsed);
  return true;
}

bool ScanDouble(const std::string& text, double* value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;  // from_chars refuses '+'
  double parsed = 0;
  const auto [stop, error] = std::from_chars(begin, end, parsed);
  if (begin == end || error != std::errc() || stop != end ||
      !std::isfinite(parsed)) {
    return false;
  }
  *value = parsed;
  return true;
}
