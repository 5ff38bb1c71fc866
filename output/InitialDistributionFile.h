#ifndef GEN_OUTPUT_INITIALDISTRIBUTIONFILE_H_
#define GEN_OUTPUT_INITIALDISTRIBUTIONFILE_H_

#include <ostream>
#include <vector>

// Writes the .init file: the header line, then per initial state its number
// (1, 2, ... in order) and its probability, as "%.17g" so that the solver
// reads back the very double, separated by a TAB. `probabilities` holds the
// probability of state k + 1 at index k. Failures show on the stream.
void WriteInitialDistribution(std::ostream& out,
                              const std::vector<double>& probabilities);

#endif  // GEN_OUTPUT_INITIALDISTRIBUTIONFILE_H_
