#include "bench/floor/KanbanFloor.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

namespace {

using Marking = std::uint64_t;

constexpr int kCells = 4;
constexpr int kFieldBits = 4;
// Place p of cell c is field 4c + p: kanban, machining, rework, done.
constexpr int kKanban = 0;
constexpr int kMachining = 1;
constexpr int kRework = 2;
constexpr int kDone = 3;

constexpr int Field(int cell, int place) { return 4 * cell + place; }
constexpr Marking One(int cell, int place) {
  return Marking{1} << (kFieldBits * Field(cell, place));
}
inline unsigned Tokens(Marking m, int cell, int place) {
  return static_cast<unsigned>(m >> (kFieldBits * Field(cell, place))) & 0xF;
}

// The rates as the general generator computes them: the activity's rate
// times its group's probability for it. A case's probability is its weight
// over the summed weights of the enabled cases (both are always enabled
// together), times the case's own probability 1.0.
constexpr double kInRate = 1.0 * 1.0;
constexpr double kOk = 0.7;
constexpr double kRedo = 0.3;
constexpr double kCaseTotal = (0.0 + kOk) + kRedo;
constexpr double kFinish[kCells] = {1.2, 1.4, 1.3, 1.1};
constexpr double kBackRate = 0.3 * 1.0;
constexpr double kSync1Rate = 0.4 * 1.0;
constexpr double kSync2Rate = 0.5 * 1.0;
constexpr double kOutRate = 0.9 * 1.0;
constexpr std::uint32_t kProgressEvery = 1000;
constexpr int kPlaceholderSpaces = 63;
constexpr std::size_t kChunk = 1 << 16;

// Markings to state numbers: open addressing with linear probing over a
// power-of-two table of (marking, number) slots, so that a probe touches one
// cache line; grown at three quarters full. Number 0 marks an empty slot.
class MarkingSet {
 public:
  MarkingSet() { Allocate(1u << 20); }

  // The number of `m`, or 0 when absent; `slot` receives where it belongs.
  std::uint32_t Find(Marking m, std::size_t& slot) const {
    std::size_t i = Home(m);
    while (slots_[i].number != 0) {
      if (slots_[i].marking == m) return slots_[i].number;
      i = (i + 1) & mask_;
    }
    slot = i;
    return 0;
  }
  void Insert(std::size_t slot, Marking m, std::uint32_t number) {
    slots_[slot] = {m, number};
    if (++count_ * 4 > (mask_ + 1) * 3) Grow();
  }

 private:
  struct Slot {
    Marking marking;
    std::uint32_t number;
  };

  std::size_t Home(Marking m) const {
    return static_cast<std::size_t>((m * 0x9E3779B97F4A7C15u) >> shift_);
  }
  void Allocate(std::size_t size) {
    slots_.assign(size, Slot{0, 0});
    mask_ = size - 1;
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1) --shift_;
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    Allocate(old.size() * 2);
    for (const Slot& slot : old) {
      if (slot.number == 0) continue;
      std::size_t j = Home(slot.marking);
      while (slots_[j].number != 0) j = (j + 1) & mask_;
      slots_[j] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  int shift_ = 64;
  std::size_t count_ = 0;
};

// Text written in large chunks to a binary file.
class ChunkWriter {
 public:
  explicit ChunkWriter(std::ofstream& file) : file_(file), buffer_(kChunk) {}
  ~ChunkWriter() { Drain(); }
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

char* Unsigned(char* p, std::uint32_t value) {
  p = std::to_chars(p, p + 12, value).ptr;
  *p++ = '\n';
  return p;
}

// The text of recently written rates by their bits: the state space has few
// distinct rates, and formatting a double costs more than the rest of a
// transition.
class RateTexts {
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

struct Pending {
  std::uint32_t target;
  double rate;
};

}  // namespace

int RunKanbanFloor(int cards, const std::string& path, const std::string& name,
                   std::ostream& out, std::ostream& err) {
  const std::clock_t start = std::clock();
  const std::string base = path + name;
  {
    std::ofstream pvtype(base + ".pvtype", std::ios::out | std::ios::trunc);
    pvtype << "Version:1\nNumPV:1\nName:busy_machines\nType:3\nNumTimes:1\n"
              "Start:0\nStop:1\n";
    if (!pvtype) {
      err << "Error: Could not write reward variable type file " << base
          << ".pvtype\n";
      return 1;
    }
  }
  std::ofstream arm_file(base + ".arm", std::ios::binary | std::ios::trunc);
  std::ofstream var_file(base + ".var", std::ios::binary | std::ios::trunc);
  if (!arm_file || !var_file) {
    err << "Error: Could not open state space output file\n";
    return 1;
  }
  out << std::scientific;

  Marking initial = 0;
  for (int c = 0; c < kCells; ++c) {
    initial += static_cast<Marking>(cards) * One(c, kKanban);
  }
  // State n (from 1) is markings[n - 1]; breadth first, numbers are handed
  // out in the order of exploration, so the queue is this vector itself.
  std::vector<Marking> markings;
  markings.reserve(1u << 20);
  MarkingSet reached;
  std::size_t slot = 0;
  reached.Find(initial, slot);
  reached.Insert(slot, initial, 1);
  markings.push_back(initial);

  ChunkWriter arm(arm_file);
  ChunkWriter var(var_file);
  var_file << "busy_machines\n";
  auto write_reward = [&var](std::uint32_t number, Marking m) {
    unsigned busy = 0;
    for (int c = 0; c < kCells; ++c) busy += Tokens(m, c, kMachining);
    char* p = Unsigned(var.Cursor(32), number);
    *p++ = '0';
    *p++ = '\n';
    var.Advance(Unsigned(p, busy));
  };
  write_reward(1, initial);
  arm_file << "1\n" << std::string(kPlaceholderSpaces, ' ') << '\n';

  RateTexts rate_texts;
  Pending pending[16];
  for (std::size_t index = 0; index < markings.size(); ++index) {
    const Marking m = markings[index];
    const auto number = static_cast<std::uint32_t>(index + 1);
    int count = 0;
    auto record = [&](Marking next, double rate) {
      std::size_t free_slot = 0;
      std::uint32_t target = reached.Find(next, free_slot);
      if (target == 0) {
        target = static_cast<std::uint32_t>(markings.size() + 1);
        reached.Insert(free_slot, next, target);
        markings.push_back(next);
        write_reward(target, next);
      }
      // Insertion by target; equal targets keep the order of recording.
      int i = count++;
      while (i > 0 && pending[i - 1].target > target) {
        pending[i] = pending[i - 1];
        --i;
      }
      pending[i] = {target, rate};
    };

    if (Tokens(m, 0, kKanban) > 0) {
      record(m - One(0, kKanban) + One(0, kMachining), kInRate);
    }
    for (int c = 0; c < kCells; ++c) {
      if (Tokens(m, c, kMachining) > 0) {
        const Marking left = m - One(c, kMachining);
        record(left + One(c, kDone), kFinish[c] * (1.0 * (kOk / kCaseTotal)));
        record(left + One(c, kRework),
               kFinish[c] * (1.0 * (kRedo / kCaseTotal)));
      }
      if (Tokens(m, c, kRework) > 0) {
        record(m - One(c, kRework) + One(c, kMachining), kBackRate);
      }
    }
    if (Tokens(m, 0, kDone) > 0 && Tokens(m, 1, kKanban) > 0 &&
        Tokens(m, 2, kKanban) > 0) {
      record(m - One(0, kDone) - One(1, kKanban) - One(2, kKanban) +
                 One(0, kKanban) + One(1, kMachining) + One(2, kMachining),
             kSync1Rate);
    }
    if (Tokens(m, 1, kDone) > 0 && Tokens(m, 2, kDone) > 0 &&
        Tokens(m, 3, kKanban) > 0) {
      record(m - One(1, kDone) - One(2, kDone) - One(3, kKanban) +
                 One(1, kKanban) + One(2, kKanban) + One(3, kMachining),
             kSync2Rate);
    }
    if (Tokens(m, 3, kDone) > 0) {
      record(m - One(3, kDone) + One(3, kKanban), kOutRate);
    }

    if (number % kProgressEvery == 0) {
      out << "_$" << number << "$\n" << std::flush;
    }
    char* p = Unsigned(arm.Cursor(16), number);
    arm.Advance(p);
    for (int i = 0; i < count;) {
      const std::uint32_t target = pending[i].target;
      double rate = 0.0 + pending[i].rate;
      for (++i; i < count && pending[i].target == target; ++i) {
        rate += pending[i].rate;
      }
      p = Unsigned(arm.Cursor(48), target);
      p = std::to_chars(p, p + 32, rate, std::chars_format::scientific, 10).ptr;
      *p++ = '\n';
      arm.Advance(p);
    }
    p = arm.Cursor(2);
    *p++ = '0';
    *p++ = '\n';
    arm.Advance(p);
  }
  arm.Drain();
  var.Drain();

  const auto states = static_cast<std::uint32_t>(markings.size());
  arm_file.seekp(0);
  arm_file << "1\n" << states << '\n';
  arm_file.close();
  var_file.close();
  if (arm_file.fail() || var_file.fail()) {
    err << "Error: Could not write state space output file " << base
        << ".arm\n";
    return 1;
  }

  out << "_$" << states << "$\n" << std::flush;
  out << "Generated: " << states << " states\n" << std::flush;
  const double seconds = static_cast<double>(static_cast<std::int64_t>(
                             static_cast<double>(std::clock() - start) /
                                 CLOCKS_PER_SEC * 100000.0 +
                             0.5)) /
                         100000.0;
  out << "Computation Time (user + system): " << seconds << " seconds\n"
      << std::flush;
  return 0;
}
