// The JANI reader on arbitrary bytes.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/ImporterFuzz.h"
#include "jani/JaniReader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzImporter(&ReadJani, data, size, "fuzz.jani");
  return 0;
}
