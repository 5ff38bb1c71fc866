#include "reward/Reward.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "framework/Fatal.h"
#include "reward/PVModel.h"
#include "reward/PerformanceVariableNode.h"

std::fstream rewfile;

namespace {

// Text records format numbers as the stream's default would (%.6g for
// doubles), without going through stream state or the locale.
void WriteLine(double value) {
  char buffer[32];
  const int length = std::snprintf(buffer, sizeof buffer, "%g\n", value);
  rewfile.write(buffer, length);
}

void WriteLine(std::uint32_t value) {
  char buffer[16];
  const int length = std::snprintf(buffer, sizeof buffer, "%lu\n",
                                   static_cast<unsigned long>(value));
  rewfile.write(buffer, length);
}

void WriteLittleEndian(std::uint64_t bits, int bytes) {
  char buffer[8];
  for (int i = 0; i < bytes; ++i) {
    buffer[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  }
  rewfile.write(buffer, bytes);
}

void WriteBinary(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  WriteLittleEndian(bits, 8);
}

}  // namespace

Reward::Reward(PVModel* model, short file_type, const char* file_name)
    : model_(model), file_type_(file_type), name_counter_(0) {
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
  for (name_counter_ = 0;
       name_counter_ < static_cast<std::uint32_t>(model_->NumPVs);
       ++name_counter_) {
    rewfile << model_->PVList[name_counter_]->Name << '\n';
  }
}

void Reward::Calculate(std::uint32_t state_number) {
  const auto& nodes = model_->PVList;
  if (TextRecords()) {
    WriteLine(state_number);
    for (const auto& node : nodes) {
      WriteLine(node->ImpulseValue);
      WriteLine(node->RewardValue);
    }
  } else {
    WriteLittleEndian(state_number, 4);
    for (const auto& node : nodes) {
      WriteBinary(node->ImpulseValue);
      WriteBinary(node->RewardValue);
    }
  }
}

bool Reward::Finish() {
  if (!rewfile.is_open()) return true;
  rewfile.flush();
  const bool written = static_cast<bool>(rewfile);
  rewfile.close();
  UnregisterResultStream(&rewfile);
  return written && !rewfile.fail();
}
