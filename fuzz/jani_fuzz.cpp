// The JANI reader on arbitrary bytes: it must report errors, never crash,
// and accept or refuse the same input the same way twice.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "jani/JaniReader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ImportOptions options;
  options.constants["N"] = "2";
  const ImportedModel first = ReadJani(text, "fuzz.jani", options);
  const ImportedModel second = ReadJani(text, "fuzz.jani", options);
  FuzzCheck(first.errors.empty() == second.errors.empty(),
            "the same input read twice gave different outcomes");
  return 0;
}
