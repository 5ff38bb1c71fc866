// The PRISM model reader and the property-file parser on arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/ImporterFuzz.h"
#include "prism/PrismParser.h"
#include "prism/PrismReader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzImporter(&ReadPrism, data, size, "fuzz.prism");
  const std::string text(reinterpret_cast<const char*>(data), size);
  PrismPropertyFile properties;
  std::vector<Diagnostic> errors;
  const bool parsed =
      ParsePrismProperties(text, "fuzz.props", &properties, &errors);
  FuzzCheck(parsed == errors.empty(),
            "the property parser's outcome and its errors disagree");
  return 0;
}
