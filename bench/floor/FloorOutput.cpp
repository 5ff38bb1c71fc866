#include "bench/floor/FloorOutput.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

constexpr std::uint32_t kProgressEvery = 1000;
constexpr int kPlaceholderSpaces = 63;
constexpr std::size_t kChunk = 1 << 16;

char* Unsigned(char* p, std::uint32_t value) {
  p = std::to_chars(p, p + 12, value).ptr;
  *p++ = '\n';
  return p;
}

}  // namespace

// Text written in large chunks to a binary file.
class FloorOutput::Buffer {
 public:
  explicit Buffer(std::ofstream& file) : file_(file), buffer_(kChunk) {}
  // Room for at least `bytes` more characters at Cursor().
  char* Cursor(std::size_t bytes) {
    if (buffer_.size() - used_ < bytes) Drain();
    return buffer_.data() + used_;
  }
  void Advance(char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.data());
  }
  void Drain() {
    file_.write(buffer_.data(), static_cast<std::streamsize>(used_));
    used_ = 0;
  }

 private:
  std::ofstream& file_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// The text of recently written rates by their bits: the state space has few
// distinct rates, and formatting a double costs more than the rest of a
// transition.
class FloorOutput::RateTexts {
 public:
  // `out` must have room for 32 characters.
  char* Write(double value, char* out) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kBits)];
    if (!slot.used || slot.bits != bits) {
      char* end = std::to_chars(slot.text, slot.text + sizeof slot.text, value,
                                std::chars_format::scientific, 10)
                      .ptr;
      slot.length = static_cast<std::uint8_t>(end - slot.text);
      slot.bits = bits;
      slot.used = true;
    }
    std::memcpy(out, slot.text, sizeof slot.text);
    return out + slot.length;
  }

 private:
  static constexpr int kBits = 9;
  struct Slot {
    std::uint64_t bits = 0;
    bool used = false;
    std::uint8_t length = 0;
    char text[32] = {};
  };
  std::vector<Slot> slots_ = std::vector<Slot>(std::size_t{1} << kBits);
};

FloorOutput::FloorOutput(std::ostream& out, std::ostream& err)
    : out_(out),
      err_(err),
      start_(std::clock()),
      rate_texts_(std::make_unique<RateTexts>()) {
  pending_.reserve(256);
}

FloorOutput::~FloorOutput() = default;

bool FloorOutput::Open(const std::string& base) {
  base_ = base;
  {
    std::ofstream pvtype(base + ".pvtype", std::ios::out | std::ios::trunc);
    pvtype << "Version:1\nNumPV:1\nName:busy_machines\nType:3\nNumTimes:1\n"
              "Start:0\nStop:1\n";
    if (!pvtype) {
      err_ << "Error: Could not write reward variable type file " << base
           << ".pvtype\n";
      return false;
    }
  }
  arm_file_.open(base + ".arm", std::ios::binary | std::ios::trunc);
  var_file_.open(base + ".var", std::ios::binary | std::ios::trunc);
  if (!arm_file_ || !var_file_) {
    err_ << "Error: Could not open state space output file\n";
    return false;
  }
  out_ << std::scientific;
  var_file_ << "busy_machines\n";
  arm_file_ << "1\n" << std::string(kPlaceholderSpaces, ' ') << '\n';
  arm_ = std::make_unique<Buffer>(arm_file_);
  var_ = std::make_unique<Buffer>(var_file_);
  return true;
}

void FloorOutput::WriteReward(std::uint32_t number, unsigned busy) {
  char* p = Unsigned(var_->Cursor(32), number);
  *p++ = '0';
  *p++ = '\n';
  var_->Advance(Unsigned(p, busy));
}

void FloorOutput::Record(std::uint32_t target, double rate) {
  // Insertion by target; equal targets keep the order of recording.
  pending_.push_back({target, rate});
  std::size_t i = pending_.size() - 1;
  while (i > 0 && pending_[i - 1].target > target) {
    pending_[i] = pending_[i - 1];
    --i;
  }
  pending_[i] = {target, rate};
}

void FloorOutput::EndState(std::uint32_t number) {
  if (number % kProgressEvery == 0) {
    out_ << "_$" << number << "$\n" << std::flush;
  }
  arm_->Advance(Unsigned(arm_->Cursor(16), number));
  for (std::size_t i = 0; i < pending_.size();) {
    const std::uint32_t target = pending_[i].target;
    double rate = 0.0 + pending_[i].rate;
    for (++i; i < pending_.size() && pending_[i].target == target; ++i) {
      rate += pending_[i].rate;
    }
    char* p = Unsigned(arm_->Cursor(48), target);
    p = rate_texts_->Write(rate, p);
    *p++ = '\n';
    arm_->Advance(p);
  }
  char* p = arm_->Cursor(2);
  *p++ = '0';
  *p++ = '\n';
  arm_->Advance(p);
  pending_.clear();
}

int FloorOutput::Finish(std::uint32_t states) {
  arm_->Drain();
  var_->Drain();
  arm_file_.seekp(0);
  arm_file_ << "1\n" << states << '\n';
  arm_file_.close();
  var_file_.close();
  if (arm_file_.fail() || var_file_.fail()) {
    err_ << "Error: Could not write state space output file " << base_
         << ".arm\n";
    return 1;
  }
  out_ << "_$" << states << "$\n" << std::flush;
  out_ << "Generated: " << states << " states\n" << std::flush;
  const double seconds = static_cast<double>(static_cast<std::int64_t>(
                             static_cast<double>(std::clock() - start_) /
                                 CLOCKS_PER_SEC * 100000.0 +
                             0.5)) /
                         100000.0;
  out_ << "Computation Time (user + system): " << seconds << " seconds\n"
       << std::flush;
  return 0;
}
