#ifndef GEN_RESULTS_SAMEFILE_H_
#define GEN_RESULTS_SAMEFILE_H_

#include <string>

// Whether the names `a` and `b` lead to the same file: the same device and
// inode when both exist, otherwise the same path once links and the
// folder are resolved (for a file that is yet to be created).
bool SameFile(const std::string& a, const std::string& b);

#endif  // GEN_RESULTS_SAMEFILE_H_
