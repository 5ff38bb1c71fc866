#ifndef GEN_REWARD_REWARD_H_
#define GEN_REWARD_REWARD_H_

#include <cstdint>
#include <fstream>
#include <memory>
#include <vector>

#include "output/RewardValuesFile.h"

class PVModel;

// The reward values file of the running generation. Opened by Reward's
// constructor, closed by Reward::Finish.
extern std::fstream rewfile;

// Writes the reward values file of `model` (see RewardValuesFile): the
// reward variables' names, then per state the current impulse and rate
// reward of every variable as the latest firing left them in the nodes. File
// types 1, 3 and 5 give text records, any other binary records.
class Reward {
 public:
  // Opens `file_name` (created or emptied) and writes the header. A file
  // that cannot be opened is fatal: "Could not open file dude", exit 1.
  Reward(PVModel* model, short file_type, const char* file_name);
  Reward(const Reward&) = delete;
  Reward& operator=(const Reward&) = delete;
  ~Reward();

  // Appends the record of state `state_number`.
  void Calculate(std::uint32_t state_number);
  // Flushes and closes the file; false when anything written was lost. The
  // file can be opened again by the next Reward afterwards.
  [[nodiscard]] bool Finish();

 private:
  PVModel* model_;  // not owned
  std::unique_ptr<RewardValuesFile> writer_;
  std::vector<double> record_;
};

#endif  // GEN_REWARD_REWARD_H_
