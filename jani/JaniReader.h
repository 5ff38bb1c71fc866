#ifndef GEN_JANI_JANIREADER_H_
#define GEN_JANI_JANIREADER_H_

#include <string>

#include "peer/ImportedModel.h"

// Reads a JANI model of type "ctmc" or "ma" and turns it into a checked
// stochastic activity network: one place per automaton instance's location
// (when it has more than one) and per state variable, one activity per
// global transition (silent edges alone, synchronisation vectors as the
// product of their participants' edges; one exponential activity per
// destination combination, or one instantaneous activity with a case per
// combination), reward variables for the properties' reward expressions and
// the properties themselves. Open constants take their values from
// `options.constants`. Errors name `file_name` and the JSON path.
ImportedModel ReadJani(const std::string& text, const std::string& file_name,
                       const ImportOptions& options);

#endif  // GEN_JANI_JANIREADER_H_
