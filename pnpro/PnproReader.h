#ifndef GEN_PNPRO_PNPROREADER_H_
#define GEN_PNPRO_PNPROREADER_H_

#include <string>

#include "peer/ImportedModel.h"

// Reads the gspn page of a PNPRO project and turns the net into a checked
// stochastic activity network: one place per place, one activity per
// transition (exponential ones with their server semantics, immediate ones
// with their priority as rank and their weight), input and output arcs as
// arcs, inhibitor arcs and guards as an input gate's predicate. Reward
// variables: the marking of each place (named as the place) and the
// throughput of each exponential transition (X_<name>), or those listed in
// `options.rewards`. Templates take their values from `options.constants`.
// Errors name `file_name` and the XML element.
ImportedModel ReadPnpro(const std::string& text, const std::string& file_name,
                        const ImportOptions& options);

#endif  // GEN_PNPRO_PNPROREADER_H_
