#include "study/BaseStudyClass.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "base/Contract.h"
#include "cli/Options.h"

char BaseStudyClass::exp_name_buffer_[128];

namespace {

// Splits at ':' the way strtok does: runs of colons are one separator, and
// leading or trailing colons give no empty token.
std::vector<std::string> SplitAtColons(const char* text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == ':') {
      if (!current.empty()) tokens.push_back(std::move(current));
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) tokens.push_back(std::move(current));
  return tokens;
}

// Whether only blanks follow `end`: a value must be the whole token.
bool OnlyBlanksAfter(const char* end) {
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  return *end == '\0';
}

// The value of an override entry, widened to the double that every global
// variable of the study holds, or the reason it was rejected.
struct OverrideScan {
  bool ok;
  double value;         // when ok
  std::string problem;  // when not ok: what is wrong with the value
};

OverrideScan Scanned(double value) { return OverrideScan{true, value, {}}; }

OverrideScan DoesNotScan(const char* format) {
  return OverrideScan{false, 0.0,
                      std::string("does not scan with format ") + format};
}

// An integer in the notations of "%i" (decimal, 0x-prefixed hexadecimal,
// 0-prefixed octal) within min..max. Unlike sscanf, which wraps or
// saturates silently, a value outside the range is refused.
OverrideScan ScanInteger(const char* token, const char* format, long long min,
                         long long max) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(token, &end, 0);
  if (end == token || !OnlyBlanksAfter(end)) return DoesNotScan(format);
  if (errno == ERANGE || value < min || value > max) {
    return OverrideScan{
        false, 0.0,
        "is outside " + std::to_string(min) + ".." + std::to_string(max)};
  }
  return Scanned(static_cast<double>(value));
}

// A floating-point value that is not 0 as written but came out as 0
// (underflow) or as infinity (overflow) would silently change the chain.
// Inf and nan written as such are passed on: the model refuses them where
// they are used, naming the action. Subnormal values are kept.
template <typename Real>
OverrideScan ScanReal(const char* token, Real (*scan)(const char*, char**),
                      const char* format) {
  char* end = nullptr;
  errno = 0;
  const Real value = scan(token, &end);
  if (end == token || !OnlyBlanksAfter(end)) return DoesNotScan(format);
  if (errno == ERANGE && (value == 0 || std::isinf(value))) {
    return OverrideScan{false, 0.0,
                        value == 0 ? std::string("is not 0 but scans to 0")
                                   : std::string("is beyond the range")};
  }
  return Scanned(static_cast<double>(value));
}

// Scans `token` as the type named by `letter`. An entry written with another
// letter than d ("i:name:5000") still sets the variable to its value.
OverrideScan ScanOverrideValue(char letter, const char* token) {
  switch (letter) {
    case 'b': {
      const OverrideScan scan = ScanInteger(token, "%hi", INT16_MIN, INT16_MAX);
      return scan.ok ? Scanned(scan.value != 0.0 ? 1.0 : 0.0) : scan;
    }
    case 'c':
      return Scanned(token[0]);  // tokens are never empty
    case 'd':
      return ScanReal<double>(token, std::strtod, "%lf");
    case 'f':
      return ScanReal<float>(token, std::strtof, "%f");
    case 'i':
      return ScanInteger(token, "%i", INT32_MIN, INT32_MAX);
    case 'l':  // a 32-bit long, whatever the platform's long
      return ScanInteger(token, "%li", INT32_MIN, INT32_MAX);
    case 's':
      return ScanInteger(token, "%hi", INT16_MIN, INT16_MAX);
    default:
      GEN_CHECK(false);  // the caller handles unknown letters
      return DoesNotScan("");
  }
}

bool KnownTypeLetter(char letter) {
  return std::strchr("bcdfils", letter) != nullptr && letter != '\0';
}

}  // namespace

BaseStudyClass::BaseStudyClass() = default;

// Members go in reverse order: the reward model before the names and types,
// after any value arrays of the derived study.
BaseStudyClass::~BaseStudyClass() = default;

PVModel* BaseStudyClass::GetPVModel(bool /*expandTimePoints*/) {
  return CurrentPVModel.get();
}

void BaseStudyClass::SetGVs(int /*experiment*/) {
  std::cout << "basestudyclass::SetGVs\n" << std::flush;
}

void BaseStudyClass::PrintGlobalValues(int /*experiment*/) {}

void* BaseStudyClass::GetGVValue(const char* /*name*/) { return nullptr; }

Status BaseStudyClass::OverrideGVValue(const std::string& /*name*/,
                                       double /*value*/) {
  return Status::Ok();
}

const char* BaseStudyClass::GetGVName(int i) const {
  GEN_CHECK(i >= 0 && i < NumGVs);
  return GVNames[static_cast<std::size_t>(i)].c_str();
}

const char* BaseStudyClass::GetGVType(int i) const {
  GEN_CHECK(i >= 0 && i < NumGVs);
  return GVTypes[static_cast<std::size_t>(i)].c_str();
}

const char* BaseStudyClass::GetExpName(int experiment) {
  std::snprintf(exp_name_buffer_, sizeof exp_name_buffer_, "Experiment %d",
                experiment + 1);
  return exp_name_buffer_;
}

Status BaseStudyClass::overrideGVs(const char* text) {
  if (text == nullptr) return Status::Ok();
  const std::vector<std::string> tokens = SplitAtColons(text);
  for (std::size_t next = 0; next < tokens.size(); next += 3) {
    if (next + 2 >= tokens.size()) {
      // No newline: the driver's next line follows on the same line.
      std::cout << "Not enough double override tokens" << std::flush;
      return Status::Ok();
    }
    const char letter = tokens[next][0];
    const std::string& name = tokens[next + 1];
    const std::string& value_text = tokens[next + 2];
    if (!KnownTypeLetter(letter)) {
      std::cout << "Type " << letter << " not recognized\n" << std::flush;
      continue;
    }
    const OverrideScan scan = ScanOverrideValue(letter, value_text.c_str());
    if (!scan.ok) {
      // Skipping the entry would run a different model than the one asked
      // for, and an empty field shifts every later entry.
      return Status::Error(
          "Error: override entry " + std::to_string(next / 3 + 1) + " (" +
          tokens[next] + ":" + name + ":" + value_text + "): value " +
          value_text + " " + scan.problem + " for type " + letter + "\n");
    }
    const Status set = OverrideGVValue(name, scan.value);
    if (!set.ok) return set;
  }
  return Status::Ok();
}

Status BaseStudyClass::CheckOverrides(const std::string& text) const {
  const std::vector<std::string> tokens = SplitAtColons(text.c_str());
  if (tokens.empty() || tokens.size() % 3 != 0) {
    return Status::Error("Error: -O \"" + text +
                         "\" is not type:name:value[:type:name:value...] "
                         "(for example d:" +
                         (GVNames.empty() ? std::string("rate") : GVNames[0]) +
                         ":0.5)\n");
  }
  for (std::size_t next = 0; next < tokens.size(); next += 3) {
    const std::string entry =
        tokens[next] + ":" + tokens[next + 1] + ":" + tokens[next + 2];
    const std::string where = "Error: override entry " +
                              std::to_string(next / 3 + 1) + " (" + entry +
                              "): ";
    if (tokens[next].size() != 1 || !KnownTypeLetter(tokens[next][0])) {
      return Status::Error(where + "type \"" + tokens[next] +
                           "\" is not one of b, c, d, f, i, l, s\n");
    }
    const std::string& name = tokens[next + 1];
    if (std::find(GVNames.begin(), GVNames.end(), name) == GVNames.end()) {
      if (GVNames.empty()) {
        return Status::Error(where + "the model has no global variables\n");
      }
      return Status::Error(where + "no global variable is called \"" + name +
                           "\"; did you mean \"" + NearestName(GVNames, name) +
                           "\"?\n");
    }
    const OverrideScan scan =
        ScanOverrideValue(tokens[next][0], tokens[next + 2].c_str());
    if (!scan.ok) {
      return Status::Error(where + "value " + tokens[next + 2] + " " +
                           scan.problem + " for type " + tokens[next] + "\n");
    }
  }
  return Status::Ok();
}
