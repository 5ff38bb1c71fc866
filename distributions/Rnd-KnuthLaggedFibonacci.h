#ifndef GEN_DISTRIBUTIONS_RND_KNUTHLAGGEDFIBONACCI_H_
#define GEN_DISTRIBUTIONS_RND_KNUTHLAGGEDFIBONACCI_H_

#include <cstddef>

// Knuth's portable floating-point lagged-Fibonacci generator:
// X[j] = (X[j-100] + X[j-37]) mod 1, exact in double arithmetic. Its state is
// program-wide. Every array here is plain and zero-initialised, so it is
// usable from other objects' static initialisers whatever the order of
// translation units.

inline constexpr std::size_t kRanfLongLag = 100;   // KK
inline constexpr std::size_t kRanfShortLag = 37;   // LL
inline constexpr int kRanfSeparation = 70;         // TT: streams this far apart
inline constexpr std::size_t kRanfQuality = 1009;  // size of ranf_arr_buf

// The generator state: the last kRanfLongLag values of the sequence.
extern double ran_u[kRanfLongLag];

// Working buffer of ranf_arr_next(); only its first kRanfLongLag entries are
// handed out, the rest are discarded to improve the randomness.
extern double ranf_arr_buf[kRanfQuality];

// Seeds the state. Only the low 30 bits of `seed` count; different seeds
// give streams at least 2^70 values apart.
void ranf_start(long seed);

// Writes the next `n` values of the sequence, each in [0, 1), into aa[0..n)
// and advances the state by `n`. Requires n >= kRanfLongLag.
void ranf_array(double* aa, std::size_t n);

// One value at a time through ranf_arr_buf. Seeds with 314159 first if
// ranf_start has never been called.
double ranf_arr_next();

#endif  // GEN_DISTRIBUTIONS_RND_KNUTHLAGGEDFIBONACCI_H_
