// The model language on arbitrary text: lexer, parser, composition and
// checks, then the builder for whatever the checks accept.

#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge/ModelBuilder.h"
#include "fuzz/FuzzSupport.h"
#include "lang/Parser.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ParseResult loaded = LoadModelText(text, "fuzz.san");
  // Every message must format with its line and caret without failing.
  const std::string messages = FormatDiagnostics(loaded.errors, &text);
  FuzzCheck(loaded.errors.empty() || !messages.empty(), "errors print");
  if (!loaded.errors.empty()) return 0;
  BuildResult built = BuildModel(loaded.model, DefaultGlobals(loaded.model));
  FuzzCheck((built.model != nullptr) == built.errors.empty(),
            "a build gives a model or errors");
  return 0;
}
