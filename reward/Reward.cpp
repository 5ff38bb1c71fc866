#include "reward/Reward.h"

#include <iostream>

#include "base/Fatal.h"
#include "output/Formats.h"
#include "reward/PVModel.h"

std::fstream rewfile;

Reward::Reward(PVModel* model, short file_type, const char* file_name)
    : model_(model) {
  if (rewfile.is_open()) {
    // The previous generation did not finish its file; it is replaced.
    UnregisterResultStream(&rewfile);
    rewfile.close();
  }
  rewfile.clear();
  rewfile.open(file_name, std::ios::in | std::ios::out | std::ios::trunc |
                              std::ios::binary);
  if (!rewfile) FatalError(std::cerr, "Could not open file dude\n", 1);
  RegisterResultStream(&rewfile);
  writer_ = std::make_unique<RewardValuesFile>(rewfile, model_->RewardNames(),
                                               TextRewardRecords(file_type));
  record_.resize(2 * writer_->Variables());
}

Reward::~Reward() = default;

void Reward::Calculate(std::uint32_t state_number) {
  model_->CurrentRewards(record_.data());
  writer_->Write(state_number, record_.data());
}

bool Reward::Finish() {
  if (!rewfile.is_open()) return true;
  rewfile.flush();
  const bool written = static_cast<bool>(rewfile);
  rewfile.close();
  UnregisterResultStream(&rewfile);
  return written && !rewfile.fail();
}
