#include "run/GenerationProgress.h"

#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <utility>

std::uint64_t ResidentBytes() {
  // The second field of /proc/self/statm is the resident set in pages.
  const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char text[128];
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  if (got <= 0) return 0;
  text[got] = '\0';
  char* end = nullptr;
  std::strtoull(text, &end, 10);
  if (end == text) return 0;
  const char* field = end;
  const unsigned long long pages = std::strtoull(field, &end, 10);
  if (end == field) return 0;
  const long page_size = sysconf(_SC_PAGESIZE);
  if (page_size <= 0) return 0;
  return static_cast<std::uint64_t>(pages) *
         static_cast<std::uint64_t>(page_size);
}

GenerationProgress::GenerationProgress(std::ostream& err, std::string program)
    : err_(err),
      program_(std::move(program)),
      clock_(kQuietSeconds, kIntervalSeconds) {}

GenerationProgress::GenerationProgress(std::ostream& err, std::string program,
                                       ProgressClock::Now now,
                                       std::uint64_t resident_bytes)
    : err_(err),
      program_(std::move(program)),
      clock_(kQuietSeconds, kIntervalSeconds, std::move(now)),
      fixed_resident_(resident_bytes) {}

void GenerationProgress::Report(std::uint32_t explored,
                                std::uint32_t numbered) {
  double seconds = 0;
  if (!clock_.Due(&seconds)) return;
  const double span = seconds - last_seconds_;
  const double rate =
      span > 0 ? static_cast<double>(explored - last_explored_) / span : 0.0;
  last_seconds_ = seconds;
  last_explored_ = explored;
  const std::uint64_t resident =
      fixed_resident_ != 0 ? fixed_resident_ : ResidentBytes();
  // Formatted on the stack: this runs on the exploring thread.
  char line[192];
  int used = std::snprintf(line, sizeof line,
                           " %" PRIu32
                           " states explored, %.0f states/s, "
                           "queue %" PRIu32,
                           explored, rate, numbered - explored);
  if (resident != 0 && used > 0 &&
      static_cast<std::size_t>(used) < sizeof line) {
    used += std::snprintf(line + used, sizeof line - used, ", %" PRIu64 " MiB",
                          (resident + (1u << 19)) >> 20);
  }
  if (used > 0 && static_cast<std::size_t>(used) < sizeof line) {
    std::snprintf(line + used, sizeof line - used, ", %.1f s\n", seconds);
  }
  err_ << program_ << ':' << line << std::flush;
}
