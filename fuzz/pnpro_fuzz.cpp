// The PNPRO reader on arbitrary bytes.

#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "fuzz/ImporterFuzz.h"
#include "pnpro/PnproReader.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  FuzzImporter(&ReadPnpro, data, size, "fuzz.pnpro");
  return 0;
}
