#ifndef GEN_PEER_REWARDNAMES_H_
#define GEN_PEER_REWARDNAMES_H_

#include <set>
#include <string>

// Reward variable names for imported models: the .var header separates names
// by blanks, so every character outside [A-Za-z0-9_] becomes '_', and a name
// already given gets a suffix "_2", "_3", ...
class RewardNames {
 public:
  std::string Unique(const std::string& wanted);

 private:
  std::set<std::string> given_;
};

#endif  // GEN_PEER_REWARDNAMES_H_
