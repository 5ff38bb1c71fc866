#ifndef GEN_OUTPUT_NUMBERFORMAT_H_
#define GEN_OUTPUT_NUMBERFORMAT_H_

#include <cstdint>

// Number texts of the result files, made without stream state or locale.
// Each returns the end of the text it writes at `out`.

// C's "%.10e"; `out` must have room for 32 characters.
char* FormatRate(double value, char* out);

// The decimal digits of `value`; room for 24 characters.
char* FormatUnsigned(std::uint64_t value, char* out);

// C's "%.6g" (six significant digits, the shorter of fixed and exponent
// notation), which is also what a default-formatted stream prints; room for
// 24 characters.
char* FormatReward(double value, char* out);

// The shortest text that reads back to exactly `value`: FormatReward's text
// whenever six significant digits already do (the same bytes), otherwise
// the fewest significant digits that do (7 to 17) in the same notation
// ("%.Pg"); room for 24 characters.
char* FormatRewardExact(double value, char* out);

#endif  // GEN_OUTPUT_NUMBERFORMAT_H_
