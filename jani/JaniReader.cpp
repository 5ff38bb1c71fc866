#include "jani/JaniReader.h"

#include "jani/JaniImporter.h"

ImportedModel ReadJani(const std::string& text, const std::string& file_name,
                       const ImportOptions& options) {
  try {
    return jani::JaniImporter(file_name, options).Run(text);
  } catch (const jani::Json::exception& error) {
    // A value of a kind that no check of the reader expected: the file is
    // refused like any other malformed one, never the process.
    Diagnostic diagnostic;
    diagnostic.where.origin = file_name + ": $";
    diagnostic.message =
        std::string("a value of an unexpected kind (") + error.what() + ")";
    ImportedModel refused;
    refused.errors.push_back(std::move(diagnostic));
    return refused;
  }
}
