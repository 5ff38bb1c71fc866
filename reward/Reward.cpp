#include "reward/Reward.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <iostream>

#include "framework/Fatal.h"
#include "reward/PVModel.h"
#include "reward/PerformanceVariableNode.h"

std::fstream rewfile;

namespace {

// Longest %.6g text of a double ("-2.22507e-308") with room to spare, and
// the stack buffer one text record is assembled in.
constexpr std::ptrdiff_t kMaxNumber = 24;
constexpr std::ptrdiff_t kRecordBuffer = 512;

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

char* FormatReward(double value, char* out) {
  // to_chars with the general format and precision 6 gives exactly the
  // digits and layout of printf's %.6g, without stream state or locale.
  return std::to_chars(out, out + kMaxNumber, value, std::chars_format::general,
                       6)
      .ptr;
}

void Reward::Calculate(std::uint32_t state_number) {
  const auto& nodes = model_->PVList;
  if (TextRecords()) {
    // One write per record, assembled on the stack.
    char buffer[kRecordBuffer];
    char* p = std::to_chars(buffer, buffer + kMaxNumber, state_number).ptr;
    *p++ = '\n';
    for (const auto& node : nodes) {
      if (p + 2 * (kMaxNumber + 1) > buffer + kRecordBuffer) {
        rewfile.write(buffer, p - buffer);
        p = buffer;
      }
      p = FormatReward(node->ImpulseValue, p);
      *p++ = '\n';
      p = FormatReward(node->RewardValue, p);
      *p++ = '\n';
    }
    rewfile.write(buffer, p - buffer);
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
