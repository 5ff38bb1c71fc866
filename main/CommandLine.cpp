#include "main/CommandLine.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

// A whole decimal number that fits in 32 bits, with nothing before or after
// it: unlike atoi, "3x", "" and "4294967296" are rejected rather than read
// as 3, 0 and a truncated value.
std::optional<int> ParseInt32(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const char first = text[0];
  if (first != '+' && first != '-' && (first < '0' || first > '9')) {
    return std::nullopt;  // strtol would skip leading blanks
  }
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(begin, &end, 10);
  if (end == begin || *end != '\0' || errno == ERANGE || parsed < INT32_MIN ||
      parsed > INT32_MAX) {
    return std::nullopt;
  }
  return static_cast<int>(parsed);
}

CommandLineStatus Failure(std::string message) {
  return CommandLineStatus{false, std::move(message)};
}

CommandLineStatus NotAWholeNumber(char letter, const std::string& value) {
  return Failure("Error: -" + std::string(1, letter) + " value \"" + value +
                 "\" is not a whole number in -2147483648..2147483647\n");
}

}  // namespace

CommandLineStatus commandline(int argc, char** argv,
                              CommandLineSettings& settings) {
  RunSettings& run = settings.run;
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    if (argument[0] != '-') continue;
    if (std::strncmp(argument, "--threads", 9) == 0 &&
        (argument[9] == '\0' || argument[9] == '=')) {
      std::string value = argument + (argument[9] == '=' ? 10 : 9);
      if (argument[9] == '\0' && i + 1 < argc) value = argv[++i];
      const std::optional<int> number = ParseInt32(value);
      if (!number || *number < 1 || *number > kMaxThreads) {
        return Failure("Error: --threads value \"" + value +
                       "\" is not a whole number in 1.." +
                       std::to_string(kMaxThreads) + "\n");
      }
      run.threads = *number;
      continue;
    }

    const char letter = argument[1];
    // For "-" alone there is no letter and no value text.
    std::string value = letter == '\0' ? std::string() : argument + 2;
    const char* reported = argument;
    if (letter != '\0' && argument[2] == '\0' && i + 1 < argc &&
        argv[i + 1][0] != '-') {
      ++i;
      value = argv[i];
      reported = argv[i];
    }

    switch (letter) {
      case 'B': {
        const std::optional<int> number = ParseInt32(value);
        if (!number) return NotAWholeNumber(letter, value);
        settings.experiment = *number;
        break;
      }
      case 'F': {
        const std::optional<int> number = ParseInt32(value);
        if (!number) return NotAWholeNumber(letter, value);
        run.file_type = *number;
        break;
      }
      case 'N':
        run.name = value;
        break;
      case 'O':
        settings.overrides = value;
        std::cout << "OverrideString is " << value << '\n' << std::flush;
        break;
      case 'P':
        run.path = value;
        std::cout << "path=[" << value << "]\n" << std::flush;
        break;
      case 'a':
        run.report_absorbing = true;
        break;
      case 'e':
        run.db_entity = value;
        break;
      case 'h': {
        // A value that does not start with a number leaves the setting as it
        // was; one that does must lie in the range (NaN never does).
        double scanned = 0.0;
        if (std::sscanf(value.c_str(), "%lf", &scanned) == 1) {
          if (!(scanned >= kMinHashValue && scanned <= kMaxHashValue)) {
            return Failure("Error: hash value " + value +
                           " is outside 0.1..0.9\n");
          }
          run.hash_value = scanned;
        }
        break;
      }
      case 'l': {
        const std::optional<int> number = ParseInt32(value);
        if (!number) return NotAWholeNumber(letter, value);
        run.trace_level = *number;
        std::cout << "TraceLevel=" << run.trace_level << '\n' << std::flush;
        break;
      }
      case 's':
        run.db_server = value;
        break;
      case 't':
        run.trace_file = value;
        break;
      default:
        std::cout << "ERROR: unknown argument: " << reported << '\n'
                  << std::flush;
        break;
    }
  }
  return CommandLineStatus{};
}
