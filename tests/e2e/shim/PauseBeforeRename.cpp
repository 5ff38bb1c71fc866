// Preloaded into a run by end-to-end tests: stops the process (SIGSTOP)
// just before the rename(2) that puts a file whose name ends in
// $PAUSE_BEFORE_RENAME in place, so that the test can look at the folder
// and kill the run at exactly that point.

#include <dlfcn.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  const char* suffix = std::getenv("PAUSE_BEFORE_RENAME");
  if (suffix != nullptr) {
    const std::size_t length = std::strlen(to);
    const std::size_t wanted = std::strlen(suffix);
    if (length >= wanted && std::strcmp(to + length - wanted, suffix) == 0) {
      std::raise(SIGSTOP);
    }
  }
  return real(from, to);
}
