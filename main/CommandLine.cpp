#include "main/CommandLine.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

std::optional<int> ParseInt32(const std::string& text) {
  int value = 0;
  if (!ScanInt32(text, &value)) return std::nullopt;
  return value;
}

Status Failure(std::string message) {
  return Status::Error(std::move(message));
}

std::string NotAWholeNumberText(char letter, const std::string& value) {
  return "-" + std::string(1, letter) + " value \"" + value +
         "\" is not a whole number in -2147483648..2147483647";
}

Status NotAWholeNumber(char letter, const std::string& value) {
  return Failure("Error: " + NotAWholeNumberText(letter, value) + "\n");
}

// A row for an option whose value is a 32-bit number.
Option<CommandLineSettings> IntegerOption(char letter, const char* value_name,
                                          const char* help,
                                          void (*store)(CommandLineSettings&,
                                                        int)) {
  return {
      {std::string("-") + letter, value_name, help},
      [letter, store](CommandLineSettings& settings, const std::string& value) {
        int number = 0;
        if (!ScanInt32(value, &number)) {
          return Status::Error(NotAWholeNumberText(letter, value));
        }
        store(settings, number);
        return Status::Ok();
      }};
}

std::string ThreadsOutOfRange(const std::string& value) {
  return "--threads value \"" + value + "\" is not a whole number in 1.." +
         std::to_string(kMaxThreads);
}

}  // namespace

std::vector<Option<CommandLineSettings>> GenerationOptions() {
  using S = CommandLineSettings;
  using V = const std::string&;
  return {
      {{"-P", "PATH", "prefix of the result files (a folder ends in /)"},
       [](S& s, V value) {
         s.run.path = value;
         s.echo += "path=[" + value + "]\n";
         return Status::Ok();
       }},
      {{"-N", "NAME", "experiment name: files PATH NAME.arm, .var, .pvtype"},
       [](S& s, V value) {
         s.run.name = value;
         return Status::Ok();
       }},
      IntegerOption('B', "NUMBER", "experiment number, 0-based (default 0)",
                    [](S& s, int number) { s.experiment = number; }),
      {{"-O", "OVERRIDES", "type:name:value[:...] sets global variables"},
       [](S& s, V value) {
         s.overrides = value;
         s.echo += "OverrideString is " + value + "\n";
         return Status::Ok();
       }},
      {{"-a", "", "report absorbing states"},
       [](S& s, V) {
         s.run.report_absorbing = true;
         return Status::Ok();
       }},
      {{"-h", "VALUE", "load factor of the state table, 0.1..0.9 (0.5)"},
       [](S& s, V value) {
         double scanned = 0;
         if (!ScanDouble(value, &scanned) ||
             !(scanned >= kMinHashValue && scanned <= kMaxHashValue)) {
           return Status::Error("-h value \"" + value +
                                "\" is not a number in 0.1..0.9");
         }
         s.run.hash_value = scanned;
         return Status::Ok();
       }},
      IntegerOption('F', "TYPE", "output file type (generation writes type 1)",
                    [](S& s, int number) { s.run.file_type = number; }),
      {{"-l", "LEVEL", "trace level 0..4 (default 0)"},
       [](S& s, V value) {
         int level = 0;
         if (!ScanInt32(value, &level) || level < 0 || level > 4) {
           return Status::Error("-l value \"" + value +
                                "\" is not a trace level in 0..4");
         }
         s.run.trace_level = level;
         s.echo += "TraceLevel=" + std::to_string(level) + "\n";
         return Status::Ok();
       }},
      {{"-t", "FILE", "trace file (default: standard output)"},
       [](S& s, V value) {
         s.run.trace_file = value;
         return Status::Ok();
       }},
      {{"-s", "SERVER", "results database server"},
       [](S& s, V value) {
         s.run.db_server = value;
         return Status::Ok();
       }},
      {{"-e", "ENTITY", "results database entity"},
       [](S& s, V value) {
         s.run.db_entity = value;
         return Status::Ok();
       }},
      {{"--threads", "N", "threads that explore, 1..256 (one per core)"},
       [](S& s, V value) {
         int threads = 0;
         if (!ScanInt32(value, &threads) || threads < 1 ||
             threads > kMaxThreads) {
           return Status::Error(ThreadsOutOfRange(value));
         }
         s.run.threads = threads;
         return Status::Ok();
       }},
      FlagOption("--progress",
                 "progress lines on standard error every 2 s (the default "
                 "on a terminal)",
                 &S::progress),
      FlagOption("--quiet", "no progress lines", &S::quiet),
  };
}

Status commandline(int argc, char** argv, CommandLineSettings& settings) {
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
        return Failure("Error: " + ThreadsOutOfRange(value) + "\n");
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
  return Status::Ok();
}
