#include "tests/support/HardDoubles.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

std::vector<double> TiesAndRandomBits(int digits, int exponent_range, int count,
                                      std::uint64_t seed) {
  std::vector<double> values;
  std::mt19937_64 random(seed);
  std::uint64_t lowest = 1;
  for (int i = 1; i < digits; ++i) lowest *= 10;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t mantissa = lowest + random() % (9 * lowest);
    const int exponent =
        static_cast<int>(random() %
                         (2 * static_cast<unsigned>(exponent_range))) -
        exponent_range;
    const std::string text =
        std::to_string(mantissa) + "5e" + std::to_string(exponent);
    const double tie = std::strtod(text.c_str(), nullptr);
    values.push_back(tie);
    values.push_back(std::nextafter(tie, 0.0));
    values.push_back(std::nextafter(tie, 1e300));
  }
  for (int i = 0; i < count; ++i) {
    const std::uint64_t bits = random();
    double value = 0.0;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isnan(value)) values.push_back(value);
  }
  return values;
}
