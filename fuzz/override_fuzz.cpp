// The override string parser of the study on arbitrary text, and the strict
// check that san makes before a run.

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
  const Status status = study->overrideGVs(text.c_str());
  if (status.ok) {
    FuzzCheck(status.message.empty(), "a message without an error");
  } else {
    FuzzCheck(status.message.rfind("Error: override entry ", 0) == 0 &&
                  status.message.back() == '\n',
              "a refused entry not named on one line");
  }
  const std::string line = text.c_str();
  const Status checked = study->CheckOverrides(line);
  FuzzCheck(checked.ok || (checked.message.rfind("Error: ", 0) == 0 &&
                           checked.message.back() == '\n'),
            "a strict refusal not on one line");
  if (checked.ok) {
    study->SetGVs(0);
    FuzzCheck(study->overrideGVs(line.c_str()).ok,
              "an override the check accepted was refused");
  }
  return 0;
}
