#include "peer/RewardNames.h"

std::string RewardNames::Unique(const std::string& wanted) {
  std::string base;
  for (const char c : wanted) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                       (c >= '0' && c <= '9') || c == '_';
    base += plain ? c : '_';
  }
  if (base.empty()) base = "reward";
  std::string name = base;
  for (int k = 2; given_.count(name) != 0; ++k) {
    name = base + "_" + std::to_string(k);
  }
  given_.insert(name);
  return name;
}
