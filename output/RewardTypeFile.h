#ifndef GEN_OUTPUT_REWARDTYPEFILE_H_
#define GEN_OUTPUT_REWARDTYPEFILE_H_

#include <ostream>
#include <string>
#include <vector>

// One reward variable as the type file (.pvtype) describes it: its name,
// its reward type code and its time points (start and stop times).
struct RewardVariableType {
  std::string name;
  int type = 0;
  std::vector<double> start_times;
  std::vector<double> stop_times;  // one per start time
};

// Writes the type file: "Version:1", "NumPV:" and the count, then per
// variable "Name:", "Type:", "NumTimes:" and a "Start:"/"Stop:" pair per time
// point, each on its own line; times in "%.6g". Returns false when the
// stream failed.
[[nodiscard]] bool WriteRewardTypes(
    std::ostream& out, const std::vector<RewardVariableType>& types);

#endif  // GEN_OUTPUT_REWARDTYPEFILE_H_
