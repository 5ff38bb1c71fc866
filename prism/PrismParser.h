#ifndef GEN_PRISM_PRISMPARSER_H_
#define GEN_PRISM_PRISMPARSER_H_

#include <string>
#include <vector>

#include "lang/SourceLocation.h"
#include "prism/PrismDocument.h"

// Reads a PRISM model file of type ctmc into `model`. On the first error
// returns false with it (file:line:column) in `errors`.
bool ParsePrismModel(const std::string& text, const std::string& file_name,
                     PrismModelFile* model, std::vector<Diagnostic>* errors);

// Reads a PRISM property file: constants, formulas, labels and properties.
bool ParsePrismProperties(const std::string& text, const std::string& file_name,
                          PrismPropertyFile* properties,
                          std::vector<Diagnostic>* errors);

#endif  // GEN_PRISM_PRISMPARSER_H_
