#include "generator/DeterministicChainFile.h"

#include <algorithm>
#include <charconv>

namespace {

// The first line; stored in .dch files, so a reader can refuse a layout it
// does not know. Version 2 adds the impulses of deterministic branches; a
// chain without them keeps version 1's bytes.
constexpr char kVersionLine[] = "dch 1\n";
constexpr char kImpulsesVersionLine[] = "dch 2\n";

// A name on one line: a backslash, a line feed and a carriage return are
// written as \\, \n and \r.
std::string EscapedName(const std::string& name) {
  std::string text;
  for (char c : name) {
    if (c == '\\') {
      text += "\\\\";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

void DeterministicChainFile::WriteHeader(
    const std::vector<std::string>& actions,
    const std::vector<std::string>& impulses) {
  impulse_count_ = impulses.size();
  out_ << (impulses.empty() ? kVersionLine : kImpulsesVersionLine) << "actions "
       << actions.size() << '\n';
  for (const std::string& name : actions) out_ << EscapedName(name) << '\n';
  if (impulses.empty()) return;
  out_ << "impulses " << impulses.size() << '\n';
  for (const std::string& name : impulses) out_ << EscapedName(name) << '\n';
}

void DeterministicChainFile::Append(double value) {
  char text[32];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text, value);
  block_.append(text, static_cast<std::size_t>(result.ptr - text));
}

void DeterministicChainFile::Append(std::uint64_t value) {
  char text[24];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text, value);
  block_.append(text, static_cast<std::size_t>(result.ptr - text));
}

void DeterministicChainFile::WriteState(std::uint32_t number,
                                        const Successors& successors,
                                        std::size_t begin, std::size_t end,
                                        std::size_t delay_begin,
                                        std::size_t delay_end,
                                        const std::uint32_t* targets) {
  // The block is formatted into a reused buffer and written at once.
  block_.clear();
  block_ += "state ";
  Append(std::uint64_t{number});
  block_ += '\n';
  const double* delays = successors.Delays().data() + delay_begin;
  const std::uint32_t* actions = successors.DelayActions().data() + delay_begin;
  const std::size_t delay_count = delay_end - delay_begin;
  for (std::size_t j = 0; j < delay_count; ++j) {
    block_ += "delay ";
    Append(std::uint64_t{actions[j]} + 1);
    block_ += ' ';
    Append(delays[j]);
    block_ += '\n';
  }

  // Deterministic branches first (by action, then target), then the
  // exponential ones (by target, then flags); equal keys are summed in the
  // order the source reported them, so the bytes depend on the state alone.
  entries_.clear();
  for (std::size_t k = begin; k < end; ++k) {
    const Successors::Origin& origin = successors.OriginOf(k);
    const double value = successors.Value(k);
    const bool exponential = origin.delay == Successors::Origin::kExponential;
    entries_.push_back({origin.delay, targets[k - begin],
                        exponential ? origin.kept : 0,
                        exponential ? value : -value, k});
  }
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const Entry& a, const Entry& b) {
                     if (a.delay != b.delay) return a.delay < b.delay;
                     if (a.target != b.target) return a.target < b.target;
                     return a.kept > b.kept;
                   });
  // A deterministic branch's impulses are averaged over the paths merged
  // into it, each weighed by its probability.
  const std::size_t width =
      successors.ImpulseWidth() == impulse_count_ ? impulse_count_ : 0;
  earned_.assign(entries_.size() * width, 0.0);
  std::size_t kept_count = 0;
  for (std::size_t k = 0; k < entries_.size(); ++k) {
    if (kept_count > 0 && entries_[kept_count - 1].delay == entries_[k].delay &&
        entries_[kept_count - 1].target == entries_[k].target &&
        entries_[kept_count - 1].kept == entries_[k].kept) {
      entries_[kept_count - 1].value += entries_[k].value;
    } else {
      entries_[kept_count++] = entries_[k];
    }
    if (width > 0 && entries_[k].delay != Successors::Origin::kExponential) {
      const double* impulses = successors.FiringImpulses(entries_[k].source);
      double* sums = earned_.data() + (kept_count - 1) * width;
      for (std::size_t v = 0; v < width; ++v) {
        sums[v] += entries_[k].value * impulses[v];
      }
    }
  }
  entries_.resize(kept_count);

  for (std::size_t e = 0; e < entries_.size(); ++e) {
    const Entry& entry = entries_[e];
    if (entry.delay == Successors::Origin::kExponential) {
      block_ += "rate ";
      Append(std::uint64_t{entry.target});
      block_ += ' ';
      Append(entry.value);
      block_ += ' ';
      if (delay_count == 0) block_ += '-';
      for (std::size_t j = 0; j < delay_count; ++j) {
        block_ += (entry.kept >> j & 1) != 0 ? 'c' : 'r';
      }
    } else {
      block_ += "to ";
      Append(std::uint64_t{entry.delay} + 1);
      block_ += ' ';
      Append(std::uint64_t{entry.target});
      block_ += ' ';
      Append(entry.value);
      for (std::size_t v = 0; v < width; ++v) {
        const double sum = earned_[e * width + v];
        if (sum == 0.0) continue;
        block_ += "\nimpulse ";
        Append(std::uint64_t{v} + 1);
        block_ += ' ';
        Append(sum / entry.value);
      }
    }
    block_ += '\n';
  }
  out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
  ++states_;
}

void DeterministicChainFile::Finish() { out_ << "end " << states_ << '\n'; }
