#ifndef GEN_OUTPUT_NUMBERTEXTCACHE_H_
#define GEN_OUTPUT_NUMBERTEXTCACHE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "output/NumberFormat.h"

// Formats doubles as `FormatText` does, remembering the texts of the values
// it formatted last: a state space has few distinct rates and reward values,
// and formatting a double is the dearest part of writing one. Values are
// told apart by their bits (so 0.0 and -0.0, or two NaNs, are different
// values), and the text is always exactly FormatText's. `kTextRoom` bounds
// FormatText's longest text.
template <char* (*FormatText)(double, char*), std::size_t kTextRoom>
class NumberTextCache {
 public:
  // `out` must have room for kTextRoom characters; returns the end of the
  // text.
  char* Format(double value, char* out) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Slot& slot = slots_[(bits * 0x9E3779B97F4A7C15u) >> (64 - kSlotBits)];
    if (!slot.used || slot.bits != bits) {
      char* end = FormatText(value, slot.text);
      slot.length = static_cast<std::uint8_t>(end - slot.text);
      slot.bits = bits;
      slot.used = true;
    }
    // The whole room is copied: one fixed-size copy beats one of the
    // text's length.
    std::memcpy(out, slot.text, kTextRoom);
    return out + slot.length;
  }

 private:
  static constexpr int kSlotBits = 9;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  struct Slot {
    std::uint64_t bits = 0;
    bool used = false;
    std::uint8_t length = 0;
    char text[kTextRoom] = {};
  };
  std::vector<Slot> slots_ = std::vector<Slot>(kSlots);
};

// "%.10e" of the state-space file (%.10e needs at most 18 characters).
using RateTextCache = NumberTextCache<FormatRate, 32>;
// FormatRateExact of the state-space file (at most 24 characters).
using ExactRateTextCache = NumberTextCache<FormatRateExact, 32>;
// FormatRewardExact of the reward values file.
using RewardTextCache = NumberTextCache<FormatRewardExact, 24>;

#endif  // GEN_OUTPUT_NUMBERTEXTCACHE_H_
