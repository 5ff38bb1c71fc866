// The override string parser of the study on arbitrary text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "study/BaseStudyClass.h"
#include "study/GlobalVariables.h"

namespace {

BaseStudyClass* study = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  study = GenerateStudy();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  // Stops at the first NUL, as a command-line argument would.
  const std::string text(reinterpret_cast<const char*>(data), size);
  study->SetGVs(0);
  study->overrideGVs(text.c_str());
  return 0;
}
