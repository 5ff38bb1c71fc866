#ifndef GEN_SAN_MODELFORMATS_H_
#define GEN_SAN_MODELFORMATS_H_

#include <string>
#include <vector>

#include "lang/Parser.h"
#include "peer/ImportedModel.h"

// A reader of one model file format: the checked model and its properties,
// or the errors that stop it (each with its location in the file).
using ModelLoader = ImportedModel (*)(const std::string& text,
                                      const std::string& file_name,
                                      const ImportOptions& options);

struct ModelFormat {
  const char* name;       // for --format
  const char* extension;  // with its dot
  ModelLoader load;
  const char* other_extension = nullptr;  // a second spelling, or null
};

// The names of every format, the default first.
std::vector<std::string> FormatNames();
// The format called `name`, or null.
const ModelFormat* FormatNamed(const std::string& name);
// The format of `file_name` by its extension; the model language when no
// format claims the extension.
const ModelFormat& FormatOfFile(const std::string& file_name);

#endif  // GEN_SAN_MODELFORMATS_H_
