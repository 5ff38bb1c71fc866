// The argument scan on arbitrary argument lists, both gen's own and the
// strict table that san and genbench read gen's options with. The input is
// split into arguments at NUL bytes; argv[0] is the program name.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "database/DatabaseTarget.h"
#include "fuzz/FuzzSupport.h"
#include "main/CommandLine.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzArguments arguments("gen", data, size);

  CommandLineSettings settings;
  const Status status =
      commandline(arguments.argc(), arguments.argv(), settings);
  if (status.ok) {
    FuzzCheck(status.message.empty(), "a message without an error");
    FuzzCheck(settings.run.hash_value >= kMinHashValue &&
                  settings.run.hash_value <= kMaxHashValue,
              "hash value outside its range");
    if (settings.run.db_server) {
      // Where -s records: a password never shows in messages.
      const DatabaseTarget target =
          ParseDatabaseTarget(*settings.run.db_server);
      FuzzCheck(
          target.kind != DatabaseTarget::Kind::kNone || target.location.empty(),
          "a location without a database");
      FuzzCheck(target.kind != DatabaseTarget::Kind::kPostgres ||
                    target.shown.size() <= target.location.size() + 3,
                "a shown URI longer than the URI with its password hidden");
    }
  } else {
    FuzzCheck(!status.message.empty() && status.message.back() == '\n',
              "an error without its line");
  }

  CommandLineSettings strict;
  std::vector<std::string> positionals;
  const Status parsed = ParseOptions(GenerationOptions(), arguments.argc(),
                                     arguments.argv(), strict, &positionals);
  if (parsed.ok) {
    FuzzCheck(strict.run.hash_value >= kMinHashValue &&
                  strict.run.hash_value <= kMaxHashValue,
              "strict hash value outside its range");
    FuzzCheck(strict.run.trace_level >= 0 && strict.run.trace_level <= 4,
              "strict trace level outside its range");
  } else {
    FuzzCheck(!parsed.message.empty() && parsed.message.back() != '\n',
              "a strict error without its text");
  }
  return 0;
}
