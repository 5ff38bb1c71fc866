#include "database/RecordTime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(
                          now.time_since_epoch())
                          .count() %
                      1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ",
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

std::string CanonicalResultBase(const std::string& path_and_name) {
  const std::size_t slash = path_and_name.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : path_and_name.substr(0, slash + 1);
  const std::string file = slash == std::string::npos
                               ? path_and_name
                               : path_and_name.substr(slash + 1);
  std::unique_ptr<char, void (*)(void*)> real(realpath(folder.c_str(), nullptr),
                                              &std::free);
  if (!real) return path_and_name;
  std::string base = real.get();
  if (base != "/") base += '/';
  return base + file;
}
