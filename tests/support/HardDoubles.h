#ifndef GEN_TESTS_SUPPORT_HARDDOUBLES_H_
#define GEN_TESTS_SUPPORT_HARDDOUBLES_H_

#include <cstdint>
#include <vector>

// Values that stress a decimal formatter rounding to `digits` significant
// digits: `count` decimal ties (the digits followed by a 5, with exponents
// in [-exponent_range, exponent_range)) with both neighbours of each, then
// `count` random bit patterns (NaNs left out). Reproducible from `seed`.
std::vector<double> TiesAndRandomBits(int digits, int exponent_range, int count,
                                      std::uint64_t seed);

#endif  // GEN_TESTS_SUPPORT_HARDDOUBLES_H_
