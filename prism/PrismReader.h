#ifndef GEN_PRISM_PRISMREADER_H_
#define GEN_PRISM_PRISMREADER_H_

#include <string>

#include "peer/ImportedModel.h"

// Reads a PRISM model of type ctmc (and, when `options.properties_file` is
// set, its property file) and turns it into a checked stochastic activity
// network: one place per variable, one exponential activity per update of
// an unlabelled command and per combination of commands and updates of a
// synchronised action (the rate being the product of the updates' rates),
// reward variables for the properties and the properties themselves. Open
// constants take their values from `options.constants`. Errors name the
// file, line and column.
ImportedModel ReadPrism(const std::string& text, const std::string& file_name,
                        const ImportOptions& options);

#endif  // GEN_PRISM_PRISMREADER_H_
