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

// An option that a format owns, given before the model file as
// `NAME VALUE`. `set` stores the value in the import options; it returns
// false with the message in `error` when the value is malformed.
struct FormatOption {
  const char* name;   // with its dashes: "--page"
  const char* value;  // what the value is called in the help
  const char* help;   // one line, without the formats that own it
  bool (*set)(const std::string& value, ImportOptions& options,
              std::string* error);
};

struct ModelFormat {
  const char* name;       // for --format
  const char* extension;  // with its dot
  ModelLoader load;
  const char* other_extension;  // a second spelling, or null
  std::vector<const FormatOption*> options;
  // Whether the run writes the properties beside the chain, for solve.
  bool publishes_properties;
  // Whether the model has global variables, which -O sets.
  bool has_globals;
  // Said when another format's option is given for this one; may be null.
  const char* options_instead;

  bool Takes(const FormatOption& option) const;
};

// The names of every format, the default first.
std::vector<std::string> FormatNames();
// The format called `name`, or null.
const ModelFormat* FormatNamed(const std::string& name);
// The format of `file_name` by its extension; the model language when no
// format claims the extension.
const ModelFormat& FormatOfFile(const std::string& file_name);
// Every format's options, each once, in the order of the table.
std::vector<const FormatOption*> FormatOptions();
// The help line of `option`: its help and the formats that own it.
std::string FormatOptionHelp(const FormatOption& option);

#endif  // GEN_SAN_MODELFORMATS_H_
