#include "solve/AvailableMemory.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>

std::size_t ParseAvailableMemory(std::string_view meminfo) {
  constexpr std::string_view kKey = "MemAvailable:";
  std::size_t at = 0;
  while (at < meminfo.size() && meminfo.compare(at, kKey.size(), kKey) != 0) {
    at = meminfo.find('\n', at);
    if (at == std::string_view::npos) return 0;
    ++at;
  }
  if (at >= meminfo.size()) return 0;
  std::string_view rest = meminfo.substr(at + kKey.size());
  rest = rest.substr(0, rest.find('\n'));
  const std::size_t digits = rest.find_first_not_of(' ');
  if (digits == std::string_view::npos) return 0;
  rest.remove_prefix(digits);
  std::size_t kib = 0;
  const auto [end, error] =
      std::from_chars(rest.data(), rest.data() + rest.size(), kib);
  if (error != std::errc() ||
      std::string_view(end, rest.data() + rest.size() - end) != " kB") {
    return 0;
  }
  constexpr std::size_t kMax = static_cast<std::size_t>(-1) / 1024;
  return kib > kMax ? 0 : kib * 1024;
}

std::size_t AvailableMemory() {
  std::ifstream in("/proc/meminfo");
  if (!in) return 0;
  std::ostringstream text;
  text << in.rdbuf();
  return ParseAvailableMemory(text.str());
}
