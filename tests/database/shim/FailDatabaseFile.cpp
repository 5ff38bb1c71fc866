// Preloaded into a run by the database tests: makes the file system refuse
// the results database whose path contains $FAIL_DATABASE_FILE (the file
// and its -wal, -shm and -journal companions). $FAIL_DATABASE_HOW chooses
// how: "read-only" refuses to open it for writing, as for a file without
// write permission; "full" fails every write with ENOSPC, as on a full
// disk. The run's result files are untouched.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool Targeted(const char* path) {
  const char* marker = std::getenv("FAIL_DATABASE_FILE");
  return marker != nullptr && *marker != '\0' && path != nullptr &&
         std::strstr(path, marker) != nullptr;
}

bool How(const char* how) {
  const char* wanted = std::getenv("FAIL_DATABASE_HOW");
  return wanted != nullptr && std::strcmp(wanted, how) == 0;
}

bool TargetedDescriptor(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char path[4096];
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length <= 0) return false;
  path[length] = '\0';
  return Targeted(path);
}

// True, with errno set, when a write to `fd` is to fail as on a full disk.
bool RefuseWrite(int fd) {
  if (!How("full") || !TargetedDescriptor(fd)) return false;
  errno = ENOSPC;
  return true;
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int OpenWith(const char* name, const char* path, int flags, mode_t mode) {
  using Open = int (*)(const char*, int, ...);
  if (How("read-only") && (flags & (O_WRONLY | O_RDWR)) != 0 &&
      Targeted(path)) {
    errno = EACCES;
    return -1;
  }
  return Next<Open>(name)(path, flags, mode);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(args, mode_t) : 0;
  va_end(args);
  return OpenWith("open", path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = (flags & O_CREAT) != 0 ? va_arg(args, mode_t) : 0;
  va_end(args);
  return OpenWith("open64", path, flags, mode);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  if (RefuseWrite(fd)) return -1;
  return Next<Write>("write")(fd, data, size);
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
  using Write = ssize_t (*)(int, const void*, size_t, off_t);
  if (RefuseWrite(fd)) return -1;
  return Next<Write>("pwrite")(fd, data, size, at);
}

extern "C" ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at) {
  using Write = ssize_t (*)(int, const void*, size_t, off64_t);
  if (RefuseWrite(fd)) return -1;
  return Next<Write>("pwrite64")(fd, data, size, at);
}
