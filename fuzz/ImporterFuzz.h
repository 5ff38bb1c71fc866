#ifndef GEN_FUZZ_IMPORTERFUZZ_H_
#define GEN_FUZZ_IMPORTERFUZZ_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "peer/ImportedModel.h"

// One fuzz input through a reader of another tool's model files (with the
// open constant N set, as the shipped models need): it must report errors,
// never crash, and accept or refuse the same input the same way twice.
template <typename Reader>
void FuzzImporter(Reader read, const std::uint8_t* data, std::size_t size,
                  const char* file_name) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ImportOptions options;
  options.constants["N"] = "2";
  const ImportedModel first = read(text, file_name, options);
  const ImportedModel second = read(text, file_name, options);
  FuzzCheck(first.errors.empty() == second.errors.empty(),
            "the same input read twice gave different outcomes");
}

#endif  // GEN_FUZZ_IMPORTERFUZZ_H_
