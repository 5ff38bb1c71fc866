#ifndef GEN_BASE_VERSION_H_
#define GEN_BASE_VERSION_H_

// The version of gen, san, genbench and solve, as runs record it.
inline constexpr const char* kGenVersion = "1.0.0";

#endif  // GEN_BASE_VERSION_H_
