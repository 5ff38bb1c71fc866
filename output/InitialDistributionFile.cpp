#include "output/InitialDistributionFile.h"

#include <cstdio>

#include "output/Formats.h"

void WriteInitialDistribution(std::ostream& out,
                              const std::vector<double>& probabilities) {
  out << kInitialDistributionHeader << '\n';
  char line[48];
  for (std::size_t k = 0; k < probabilities.size(); ++k) {
    const int length = std::snprintf(line, sizeof line, "%zu\t%.17g\n",
                                     k + kInitialStateNumber, probabilities[k]);
    out.write(line, length);
  }
}
