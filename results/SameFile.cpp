#include "results/SameFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "results/ResultTarget.h"

namespace {

// The path that `name` leads to, with its folder made absolute and free of
// links; the name as written when even its folder cannot be resolved.
std::string ResolvedPath(const std::string& name) {
  const ResultTarget target = FindResultTarget(name);
  char folder[PATH_MAX];
  if (realpath(target.folder.c_str(), folder) == nullptr) return target.path;
  const std::string resolved = folder;
  return (resolved == "/" ? "" : resolved) + "/" + target.leaf;
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  return ResolvedPath(a) == ResolvedPath(b);
}
