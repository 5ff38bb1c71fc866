#ifndef GEN_LANG_PARSER_H_
#define GEN_LANG_PARSER_H_

#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "lang/SourceLocation.h"

struct [[nodiscard]] ParseResult {
  ModelIr model;  // flattened; not yet checked
  std::vector<Diagnostic> errors;
};

// Reads a model written in the model language (docs/model-language.md).
// Locations carry `file_name`, line and column. Parsing stops at the first
// syntax error; composition errors (places shared with different initial
// markings) are all reported.
ParseResult ParseModel(const std::string& text, const std::string& file_name);

// ParseModel followed by CheckModel: the errors of the first step that
// found any.
ParseResult LoadModelText(const std::string& text,
                          const std::string& file_name);

#endif  // GEN_LANG_PARSER_H_
