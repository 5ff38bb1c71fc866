#include "solve/ChainFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "output/LittleEndian.h"
#include "solve/BlockReader.h"
#include "solve/ChainFormat.h"
#include "solve/HugePages.h"
#include "solve/TwoWayPool.h"

namespace {

// A regular file open for reading. Opening does not wait: a named pipe
// with no writer would otherwise hold the open forever; it is refused, like
// every file that is not regular.
class ReadOnlyFile {
 public:
  ReadOnlyFile() = default;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ~ReadOnlyFile() {
    if (fd_ >= 0) close(fd_);
  }

  Status Open(const std::string& file_name) {
    fd_ = open(file_name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      return Status::Error(file_name +
                           ": cannot open: " + std::strerror(errno));
    }
    struct stat info;
    if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
      return Status::Error(file_name + ": not a regular file");
    }
    size_ = static_cast<std::size_t>(info.st_size);
    return Status::Ok();
  }

  int fd() const { return fd_; }
  // The size when opened.
  std::size_t size() const { return size_; }

 private:
  int fd_ = -1;
  std::size_t size_ = 0;
};

// Walks a text line by line, counting lines from 1: either a text in memory
// or a file read in blocks, so that a state-space file of hundreds of
// megabytes never has to be held whole.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  // Reads the file from byte `start`. `read`, where given, is told the
  // bytes of the blocks read so far and `size` after each block.
  LineCursor(int fd, const ReadReport& read, std::size_t size,
             std::size_t start)
      : reader_(std::make_unique<BlockReader>(
            fd, BlockReader::kDefaultBlockBytes, start)),
        read_(read),
        size_(size) {}

  // The next line without its line feed, valid until the next call; false
  // at the end of the input (or on a read error, see read_error()). A last
  // line without a line feed is returned too, and noted in unterminated().
  bool Next(std::string_view* line) {
    if (reader_ != nullptr) return NextFromFile(line);
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) {
      end = text_.size();
      unterminated_ = true;
    }
    *line = text_.substr(pos_, end - pos_);
    pos_ = end < text_.size() ? end + 1 : end;
    ++line_number_;
    consumed_ += line->size() + 1;
    return true;
  }

  // The number of the line last returned (0 before the first).
  std::size_t line() const { return line_number_; }
  // Byte offset just after the line last returned (texts in memory only).
  std::size_t offset() const { return pos_; }
  // Bytes of the lines returned so far, line feeds included.
  std::size_t consumed() const { return consumed_; }
  // Whether the line last returned was the last and had no line feed.
  bool unterminated() const { return unterminated_; }
  // The system's reason when reading the file failed, else 0.
  int read_error() const { return read_error_; }

 private:
  // Lines within the current block are views into it; a line that runs
  // on into the next blocks is gathered in carry_.
  bool NextFromFile(std::string_view* line) {
    const std::string_view rest = text_.substr(pos_);
    const std::size_t end = rest.find('\n');
    if (end != std::string_view::npos) {
      *line = rest.substr(0, end);
      pos_ += end + 1;
      ++line_number_;
      consumed_ += end + 1;
      return true;
    }
    carry_.assign(rest);
    for (;;) {
      if (!reader_->Next(&text_)) {
        text_ = {};
        pos_ = 0;
        read_error_ = reader_->error();
        if (read_error_ != 0 || carry_.empty()) return false;
        unterminated_ = true;
        break;
      }
      read_bytes_ += text_.size();
      if (read_) read_(read_bytes_, size_);
      const std::size_t newline = text_.find('\n');
      if (newline != std::string_view::npos) {
        carry_.append(text_.substr(0, newline));
        pos_ = newline + 1;
        break;
      }
      carry_.append(text_);
      pos_ = text_.size();
    }
    *line = carry_;
    ++line_number_;
    consumed_ += carry_.size() + 1;
    return true;
  }

  // In memory: the whole text. From a file: the current block.
  std::string_view text_;
  std::unique_ptr<BlockReader> reader_;
  ReadReport read_;
  std::size_t size_ = 0;
  std::size_t read_bytes_ = 0;
  std::string carry_;
  int read_error_ = 0;
  std::size_t pos_ = 0;
  std::size_t line_number_ = 0;
  std::size_t consumed_ = 0;
  bool unterminated_ = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The offending text as a message shows it: quoted, cut to a sane length.
std::string Quote(std::string_view s) {
  constexpr std::size_t kMaxShown = 40;
  std::string shown(s.substr(0, kMaxShown));
  if (s.size() > kMaxShown) shown += "...";
  return "\"" + shown + "\"";
}

// The codes a type file may give a variable, as "3: steady state, ...".
std::string KnownRewardKinds() {
  std::string known;
  for (const RewardKindRow& row : kRewardKinds) {
    if (!known.empty()) known += ", ";
    known += std::to_string(row.code) + ": " + row.name;
  }
  return known;
}

bool ParseUnsigned(std::string_view s, std::uint64_t* value) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size();
}

bool ParseInt(std::string_view s, int* value) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size();
}

// Accepts finite values only: an infinite or NaN rate or reward has no
// meaning in a chain.
bool ParseDouble(std::string_view s, double* value) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *value);
  return ec == std::errc() && end == s.data() + s.size() &&
         std::isfinite(*value);
}

std::size_t Digits(std::uint64_t n) {
  std::size_t d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}

std::string At(const std::string& file_name, std::size_t line) {
  return file_name + ":" + std::to_string(line) + ": ";
}

// The line-feed rule of every file: a last line cut before its line feed is
// the sign of a write that did not finish.
constexpr char kUnterminated[] =
    "the last line does not end with a line feed (truncated?)";

Status Unterminated(const std::string& file_name, std::size_t line) {
  return Status::Error(At(file_name, line) + kUnterminated);
}

// Checks that nothing but blank lines follows the last expected line.
Status ExpectOnlyBlankLines(LineCursor* cursor, const std::string& file_name,
                            const std::string& after) {
  std::string_view line;
  while (cursor->Next(&line)) {
    if (!Trim(line).empty()) {
      return Status::Error(At(file_name, cursor->line()) +
                           "unexpected content " + Quote(line) + " after " +
                           after);
    }
    if (cursor->unterminated()) return Unterminated(file_name, cursor->line());
  }
  return Status::Ok();
}

// One "Key:value" line of the type file; no space around the colon.
bool SplitKey(std::string_view line, std::string_view key,
              std::string_view* value) {
  if (line.substr(0, key.size()) != key) return false;
  *value = line.substr(key.size());
  while (!value->empty() && value->back() == '\r') value->remove_suffix(1);
  return true;
}

}  // namespace

namespace {

// The rates of a state-space file, as texts, are few: the writer prints
// every rate of a model with the same digits, so a small cache of the texts
// seen turns most rate lines into a look-up instead of a conversion. Only
// texts that converted to a positive finite rate are kept, so a hit needs
// no further check; the value is exactly what the conversion gave.
class RateTextCache {
 public:
  bool Find(std::string_view text, double* value) const {
    if (text.size() > kMaxText) return false;
    const Entry& entry = entries_[Slot(text)];
    if (entry.size != text.size() ||
        std::memcmp(entry.text, text.data(), text.size()) != 0) {
      return false;
    }
    *value = entry.value;
    return true;
  }
  void Put(std::string_view text, double value) {
    if (text.size() > kMaxText) return;
    Entry& entry = entries_[Slot(text)];
    std::memcpy(entry.text, text.data(), text.size());
    entry.size = text.size();
    entry.value = value;
  }

 private:
  static constexpr std::size_t kMaxText = 32;
  static constexpr std::size_t kSlots = 64;
  struct Entry {
    char text[kMaxText];
    std::size_t size = kMaxText + 1;  // matches no text
    double value = 0;
  };
  // The first and last 8 bytes tell the fixed-width texts of the writer
  // apart (mantissa and exponent).
  static std::size_t Slot(std::string_view text) {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    const std::size_t n = std::min<std::size_t>(text.size(), 8);
    std::memcpy(&head, text.data(), n);
    std::memcpy(&tail, text.data() + text.size() - n, n);
    const std::uint64_t mixed = (head * 0x9E3779B97F4A7C15ull) ^
                                (tail * 0xC2B2AE3D27D4EB4Full) ^ text.size();
    return static_cast<std::size_t>(mixed >> 58) & (kSlots - 1);
  }
  Entry entries_[kSlots];
};

// The bytes of a state-space file: a text in memory, or an open regular
// file read in blocks.
class ChainSource {
 public:
  explicit ChainSource(std::string_view text)
      : text_(text), size_(text.size()) {}
  ChainSource(int fd, std::size_t size) : fd_(fd), size_(size) {}

  std::size_t size() const { return size_; }

  // A cursor whose first line starts at byte `offset`; `read` as for
  // LineCursor (files only).
  std::unique_ptr<LineCursor> CursorAt(std::size_t offset,
                                       const ReadReport& read) const {
    if (fd_ < 0) return std::make_unique<LineCursor>(text_.substr(offset));
    return std::make_unique<LineCursor>(fd_, read, size_, offset);
  }

  // Up to `length` bytes from `offset`: fewer at the end of the file or
  // when reading fails, which only costs the chance of a split.
  std::string_view Peek(std::size_t offset, std::size_t length,
                        std::string* buffer) const {
    if (fd_ < 0) return text_.substr(std::min(offset, size_), length);
    buffer->resize(length);
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = pread(fd_, buffer->data() + got, length - got,
                              static_cast<off_t>(offset + got));
      if (n > 0) {
        got += static_cast<std::size_t>(n);
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
    return std::string_view(buffer->data(), got);
  }

 private:
  std::string_view text_;
  int fd_ = -1;
  std::size_t size_ = 0;
};

// The transitions of consecutive blocks, first_state onwards, as one part
// of the reading collects them.
struct ChainPart {
  std::uint64_t first_state = 1;
  RowOffsets first;  // 0, then the count after each block
  std::vector<std::uint32_t> target;
  TransitionRates rate;
  std::vector<double> self_rate;  // from first_state on; empty when none
  std::size_t num_self_loops = 0;
  std::size_t num_zero_rates = 0;
};

// The first defect a part met: its message less the "<file>:<line>: "
// prefix, with the line counted from the part's first line (0 for a read
// error, which names no line).
struct Defect {
  std::size_t line = 0;
  std::string what;
};

Status DefectStatus(const std::string& file_name, std::size_t lines_before,
                    const Defect& defect) {
  if (defect.line == 0) return Status::Error(file_name + ": " + defect.what);
  return Status::Error(At(file_name, lines_before + defect.line) + defect.what);
}

std::string ReadErrorText(int error) {
  return std::string("read error: ") + std::strerror(error);
}

// Where the first part of a shared reading hands over to the second: at
// the line starting at byte `offset`, which must open the block of `state`.
struct Handover {
  std::size_t offset = 0;
  std::uint64_t state = 0;
};

// What a part parses: blocks up to state n, then the end of the file.
struct PartPlan {
  std::uint64_t n = 0;
  std::size_t span_bytes = 0;  // from the part's start to the end of file
  // The first part of a shared reading stops at the handover, and sets
  // `abandoned` if it passes it instead; the second part gives up once
  // `abandoned` is set. Both null when reading alone.
  const Handover* handover = nullptr;
  std::atomic<bool>* abandoned = nullptr;
};

enum class PartEnd { kEnd, kHandedOver, kDefect, kAbandoned };

// Room for the transitions still to come, estimated from the bytes per
// transition so far, so that the arrays grow about once rather than by
// doubling: each doubling copies them and briefly holds both copies. The
// estimate errs high by a sixteenth; pages never written take no memory.
void ReserveAhead(std::size_t span_bytes, std::size_t consumed,
                  ChainPart* part) {
  const std::size_t have = part->target.size();
  std::size_t want = have + have / 4 + 1024;
  if (consumed > 0 && have > 0 && span_bytes > consumed) {
    const double per_byte = static_cast<double>(have) / consumed;
    const auto estimate =
        static_cast<std::size_t>(per_byte * static_cast<double>(span_bytes));
    want = std::max(want, estimate + estimate / 16);
  }
  ReserveAdvised(&part->target, want);
  part->rate.reserve(want);
}

// Parses the blocks from part->first_state on, and after the block of
// state n the blank lines up to the end of the file. `pending`, if not
// null, is the first line, already read.
PartEnd ParseBlocks(LineCursor* source, const std::string_view* pending,
                    const PartPlan& plan, ChainPart* part, Defect* defect) {
  LineCursor& cursor = *source;
  const std::uint64_t n = plan.n;
  std::string_view line;
  auto stop = [&](std::size_t line_number, std::string what) {
    defect->line = line_number;
    defect->what = std::move(what);
    return PartEnd::kDefect;
  };
  auto fail = [&](std::string what) {
    return stop(cursor.line(), std::move(what));
  };
  auto truncated = [&](const std::string& where) {
    if (cursor.read_error() != 0) {
      return stop(0, ReadErrorText(cursor.read_error()));
    }
    return stop(cursor.line() + 1, "the file ends " + where + " (truncated?)");
  };
  auto unterminated = [&] { return stop(cursor.line(), kUnterminated); };
  bool cut = false;
  auto read = [&]() {
    if (!cursor.Next(&line)) return false;
    cut = cursor.unterminated();
    return true;
  };
  bool have_pending = pending != nullptr;
  if (have_pending) line = *pending;
  auto next = [&]() {
    if (have_pending) {
      have_pending = false;
      return true;
    }
    return read();
  };

  part->first.reserve(n - part->first_state + 2);
  part->first.push_back(0);
  RateTextCache rate_texts;
  // The first part of a shared reading watches for the handover, the
  // second for being abandoned.
  bool watch = plan.handover != nullptr;
  const bool second = !watch && plan.abandoned != nullptr;
  for (std::uint64_t s = part->first_state; s <= n; ++s) {
    if (watch) {
      // Only here does the second part's start equal this part's state.
      if (cursor.consumed() == plan.handover->offset &&
          s == plan.handover->state && !have_pending) {
        return PartEnd::kHandedOver;
      }
      if (cursor.consumed() >= plan.handover->offset) {
        watch = false;
        plan.abandoned->store(true, std::memory_order_relaxed);
      }
    } else if (second && plan.abandoned->load(std::memory_order_relaxed)) {
      return PartEnd::kAbandoned;
    }
    if (!next()) {
      return truncated("before the block of state " + std::to_string(s) +
                       " of " + std::to_string(n));
    }
    if (cut) return unterminated();
    std::uint64_t number = 0;
    if (!ParseUnsigned(line, &number) || number != s) {
      return fail("expected the block of state " + std::to_string(s) +
                  ", found " + Quote(line));
    }
    std::uint64_t previous = 0;
    for (;;) {
      if (!next()) {
        return truncated("inside the block of state " + std::to_string(s));
      }
      if (cut) return unterminated();
      std::uint64_t target = 0;
      if (!ParseUnsigned(line, &target)) {
        return fail("expected a target state or 0 in the block of state " +
                    std::to_string(s) + ", found " + Quote(line));
      }
      if (target == 0) break;
      if (target > n) {
        return fail("target state " + std::to_string(target) + " of state " +
                    std::to_string(s) + " is outside 1.." + std::to_string(n));
      }
      // The writer merges the firings into one target in increasing order; a
      // repeated or smaller target means a damaged or spliced file.
      if (target <= previous) {
        return fail("target state " + std::to_string(target) + " of state " +
                    std::to_string(s) +
                    " does not follow the previous target " +
                    std::to_string(previous) +
                    " (targets increase strictly within a block)");
      }
      previous = target;
      if (!next()) {
        return truncated("before the rate from state " + std::to_string(s) +
                         " to state " + std::to_string(target));
      }
      if (cut) return unterminated();
      double rate = 0;
      if (!rate_texts.Find(line, &rate)) {
        if (!ParseDouble(line, &rate)) {
          return fail("expected the finite rate from state " +
                      std::to_string(s) + " to state " +
                      std::to_string(target) + ", found " + Quote(line));
        }
        if (rate < 0) {
          return fail("negative entry " + std::string(Trim(line)) +
                      " from state " + std::to_string(s) + " to state " +
                      std::to_string(target) +
                      ": the file comes from deterministic generation, whose "
                      "delays are not exponential; it is not a Markov chain "
                      "and cannot be solved as one");
        }
        if (rate > 0) rate_texts.Put(line, rate);
      }
      if (rate == 0) {
        ++part->num_zero_rates;
      } else if (target == s) {
        ++part->num_self_loops;
        if (part->self_rate.empty()) {
          part->self_rate.assign(n - part->first_state + 1, 0.0);
        }
        part->self_rate[s - part->first_state] = rate;
      } else {
        if (part->target.size() == part->target.capacity()) {
          ReserveAhead(plan.span_bytes, cursor.consumed(), part);
        }
        part->target.push_back(static_cast<std::uint32_t>(target - 1));
        part->rate.push_back(rate);
      }
    }
    part->first.push_back(part->target.size());
  }
  while (read()) {
    if (!Trim(line).empty()) {
      return fail("unexpected content " + Quote(line) +
                  " after the block of the last state " + std::to_string(n));
    }
    if (cut) return unterminated();
  }
  if (cursor.read_error() != 0) {
    return stop(0, ReadErrorText(cursor.read_error()));
  }
  return PartEnd::kEnd;
}

// Appends the second part's blocks to the first's, freeing the second's
// arrays as soon as they are copied.
void JoinParts(ChainPart* second, ChainPart* first) {
  const std::size_t base = first->target.size();
  ReserveAdvised(&first->target, base + second->target.size());
  first->target.insert(first->target.end(), second->target.begin(),
                       second->target.end());
  std::vector<std::uint32_t>().swap(second->target);
  first->rate.Extend(second->rate);
  second->rate.clear();
  for (std::size_t i = 1; i < second->first.size(); ++i) {
    first->first.push_back(base + second->first[i]);
  }
  if (!second->self_rate.empty()) {
    if (first->self_rate.empty()) {
      first->self_rate.assign(
          second->first_state - first->first_state + second->self_rate.size(),
          0.0);
    }
    std::copy(second->self_rate.begin(), second->self_rate.end(),
              first->self_rate.begin() +
                  static_cast<std::ptrdiff_t>(second->first_state -
                                              first->first_state));
  }
  first->num_self_loops += second->num_self_loops;
  first->num_zero_rates += second->num_zero_rates;
}

// The first line at or after byte `from` that very likely opens a block,
// within a window of the file: a line "0" that closes a block, then three
// whole blocks in a row (or fewer up to state n), each its state's number
// and increasing targets with their rates up to a "0". A rate written as
// "0" can fake the first "0", but hardly the rest; and a mistaken start is
// caught anyway, because the first part must arrive at exactly this line
// expecting exactly this state before the second part's work is used. The
// search is bounded, so that a hostile file full of near misses costs a few
// megabytes of scanning, not a square of them.
std::optional<Handover> FindHandover(const ChainSource& source,
                                     std::size_t from, std::uint64_t n) {
  constexpr std::size_t kWindow = std::size_t{1} << 20;
  constexpr std::size_t kMaxWalk = std::size_t{1} << 16;
  constexpr std::size_t kMaxWalked = std::size_t{1} << 22;
  constexpr int kBlocks = 3;
  std::string buffer;
  const std::string_view window = source.Peek(from, kWindow, &buffer);
  // The line at `at`, if whole, and where the next starts.
  auto line_at = [&](std::size_t at, std::string_view* line,
                     std::size_t* after) {
    const std::size_t end = window.find('\n', at);
    if (end == std::string_view::npos) return false;
    *line = window.substr(at, end - at);
    *after = end + 1;
    return true;
  };
  auto number_at = [&](std::size_t at, std::uint64_t* value,
                       std::size_t* after) {
    std::string_view line;
    return line_at(at, &line, after) && ParseUnsigned(line, value);
  };
  // Whether blocks of states s, s + 1, ... follow from `at`; *end is where
  // the walk stopped.
  auto blocks_from = [&](std::size_t at, std::uint64_t s, std::size_t* end) {
    const std::size_t start = at;
    std::string_view rate;
    for (int k = 0; k < kBlocks && s <= n; ++k, ++s) {
      std::uint64_t number = 0;
      if (!number_at(at, &number, &at) || number != s) return false;
      std::uint64_t previous = 0;
      for (;;) {
        *end = at;
        std::uint64_t target = 0;
        if (at - start > kMaxWalk || !number_at(at, &target, &at)) {
          return false;
        }
        if (target == 0) break;
        if (target <= previous || target > n || !line_at(at, &rate, &at)) {
          return false;
        }
        previous = target;
      }
    }
    return true;
  };
  std::string_view line;
  std::size_t at = 0;
  // Whole lines only: the first may be cut by `from`.
  if (!line_at(0, &line, &at)) return std::nullopt;
  std::size_t walked = 0;
  for (std::size_t after = 0; line_at(at, &line, &after); at = after) {
    std::uint64_t value = 0;
    std::uint64_t s = 0;
    std::size_t unused = 0;
    if (!ParseUnsigned(line, &value) || value != 0 ||
        !number_at(after, &s, &unused) || s < 2 || s > n) {
      continue;
    }
    std::size_t end = after;
    if (blocks_from(after, s, &end)) return Handover{from + after, s};
    walked += end - after;
    if (walked > kMaxWalked) break;
  }
  return std::nullopt;
}

// Tells `read` the bytes both parts have read so far. The parts run on two
// threads, so the calls are serialised; once the first part has passed the
// handover, the second part's bytes no longer count.
class SharedReport {
 public:
  SharedReport(const ReadReport& read, const std::atomic<bool>& abandoned)
      : read_(read), abandoned_(abandoned) {}

  ReadReport For(int part) {
    if (!read_) return {};
    return [this, part](std::size_t done, std::size_t total) {
      const std::lock_guard<std::mutex> lock(mutex_);
      done_[part] = done;
      const std::size_t second =
          abandoned_.load(std::memory_order_relaxed) ? 0 : done_[1];
      // The parts overlap by the blocks the first reads ahead.
      read_(std::min(done_[0] + second, total), total);
    };
  }

 private:
  const ReadReport& read_;
  const std::atomic<bool>& abandoned_;
  std::mutex mutex_;
  std::size_t done_[2] = {0, 0};
};

Status ParseStateSpaceLines(const ChainSource& source, const ReadReport& read,
                            const std::string& file_name,
                            const ReadSharing& sharing, StateSpace* space) {
  *space = StateSpace();
  const std::size_t file_bytes = source.size();
  std::atomic<bool> abandoned{false};
  SharedReport report(read, abandoned);
  const std::unique_ptr<LineCursor> first_cursor =
      source.CursorAt(0, report.For(0));
  LineCursor& cursor = *first_cursor;
  std::string_view line;
  auto fail = [&](const std::string& what) {
    return Status::Error(At(file_name, cursor.line()) + what);
  };
  auto truncated = [&](const std::string& where) {
    if (cursor.read_error() != 0) {
      return Status::Error(file_name + ": " +
                           ReadErrorText(cursor.read_error()));
    }
    return Status::Error(At(file_name, cursor.line() + 1) + "the file ends " +
                         where + " (truncated?)");
  };
  bool cut = false;
  auto read_line = [&]() {
    if (!cursor.Next(&line)) return false;
    cut = cursor.unterminated();
    return true;
  };

  if (!read_line()) return truncated("before the file type");
  if (cut) return Unterminated(file_name, cursor.line());
  if (!ParseInt(line, &space->file_type)) {
    return fail("expected the file type (an integer), found " + Quote(line));
  }
  if (!read_line()) return truncated("before the number of states");
  if (cut) return Unterminated(file_name, cursor.line());
  std::uint64_t n = 0;
  if (!ParseUnsigned(line, &n) || n == 0 ||
      n > std::numeric_limits<std::uint32_t>::max()) {
    return fail("expected the number of states (1 to 4294967295), found " +
                Quote(line));
  }
  // Checked before anything is sized by n.
  if (n > file_bytes / chain_format::kMinBlockBytes) {
    return fail("the header claims " + std::to_string(n) +
                " states, but the file of " + std::to_string(file_bytes) +
                " bytes can hold at most " +
                std::to_string(file_bytes / chain_format::kMinBlockBytes) +
                " (truncated?)");
  }
  space->num_states = n;

  // Line 3 is the rest of the header placeholder: 62 - d spaces after normal
  // generation, 7 - d after deterministic generation (d digits in N).
  bool pending = false;
  if (!read_line()) return truncated("before the block of state 1");
  if (cut) return Unterminated(file_name, cursor.line());
  if (Trim(line).empty()) {
    const std::size_t d = Digits(n);
    if (d < chain_format::kDeterministicPlaceholder &&
        line.size() == chain_format::kDeterministicPlaceholder - d &&
        line.find_first_not_of(' ') == std::string_view::npos) {
      return fail(
          "the header placeholder has the length that deterministic "
          "generation writes; that file is not a Markov chain and cannot be "
          "solved as one");
    }
  } else {
    pending = true;  // a file without the placeholder line
  }

  // A large file is parsed in two parts on two threads: the second from a
  // block start near the middle, speculatively, until the first arrives
  // there. Without a handover the first part reads everything.
  std::optional<Handover> handover;
  if (sharing.pool != nullptr && sharing.pool->threads() >= 2 &&
      file_bytes >= sharing.min_bytes) {
    const std::size_t from =
        sharing.split_at != 0 ? sharing.split_at : file_bytes / 2;
    if (from >= cursor.consumed() && from < file_bytes) {
      handover = FindHandover(source, from, n);
    }
  }
  ChainPart parts[2];
  Defect defects[2];
  PartEnd ends[2] = {PartEnd::kEnd, PartEnd::kAbandoned};
  PartPlan plans[2];
  plans[0].n = n;
  plans[0].span_bytes = file_bytes;
  if (!handover) {
    ends[0] = ParseBlocks(&cursor, pending ? &line : nullptr, plans[0],
                          &parts[0], &defects[0]);
  } else {
    plans[0].handover = &*handover;
    plans[0].abandoned = &abandoned;
    plans[1] = {n, file_bytes - handover->offset, nullptr, &abandoned};
    parts[1].first_state = handover->state;
    const std::unique_ptr<LineCursor> second_cursor =
        source.CursorAt(handover->offset, report.For(1));
    // An exception must not leave a thread running on this frame: each
    // part catches its own, to be thrown again once both have ended if
    // that part's work counts.
    std::exception_ptr failures[2];
    sharing.pool->Run([&](int half) {
      try {
        if (half == 0) {
          ends[0] = ParseBlocks(&cursor, pending ? &line : nullptr, plans[0],
                                &parts[0], &defects[0]);
        } else {
          ends[1] = ParseBlocks(second_cursor.get(), nullptr, plans[1],
                                &parts[1], &defects[1]);
        }
      } catch (...) {
        failures[half] = std::current_exception();
      }
      // Once the first part has ended without handing over, the second's
      // work is of no use.
      if (half == 0 && ends[0] != PartEnd::kHandedOver) {
        abandoned.store(true, std::memory_order_relaxed);
      }
    });
    if (failures[0]) std::rethrow_exception(failures[0]);
    if (failures[1] && ends[0] == PartEnd::kHandedOver) {
      std::rethrow_exception(failures[1]);
    }
  }
  if (sharing.joined != nullptr) {
    *sharing.joined = ends[0] == PartEnd::kHandedOver;
  }
  if (ends[0] == PartEnd::kDefect) {
    return DefectStatus(file_name, 0, defects[0]);
  }
  if (ends[0] == PartEnd::kHandedOver) {
    if (ends[1] == PartEnd::kDefect) {
      return DefectStatus(file_name, cursor.line(), defects[1]);
    }
    JoinParts(&parts[1], &parts[0]);
  }
  ChainPart& whole = parts[0];
  space->first = std::move(whole.first);
  space->target = std::move(whole.target);
  space->rate = std::move(whole.rate);
  space->self_rate = std::move(whole.self_rate);
  space->num_self_loops = whole.num_self_loops;
  space->num_zero_rates = whole.num_zero_rates;
  // No shrink_to_fit: it would copy the arrays, and the room reserved
  // beyond their end was never written, so it takes no memory.
  space->rate.FinishAppending();
  return Status::Ok();
}

}  // namespace

Status NextLine(std::string_view text, const std::string& file_name,
                std::size_t* pos, std::size_t* line_number,
                std::string_view* line) {
  const std::size_t end = text.find('\n', *pos);
  ++*line_number;
  if (end == std::string_view::npos) {
    return Unterminated(file_name, *line_number);
  }
  *line = text.substr(*pos, end - *pos);
  *pos = end + 1;
  return Status::Ok();
}

Status LoadFile(const std::string& file_name, std::string* contents) {
  ReadOnlyFile file;
  Status status = file.Open(file_name);
  if (!status.ok) return status;
  contents->clear();
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(file.fd(), buffer, sizeof buffer);
    if (got > 0) {
      contents->append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return Status::Ok();
    } else if (errno != EINTR) {
      return Status::Error(file_name + ": read error: " + std::strerror(errno));
    }
  }
}

Status ParseStateSpace(std::string_view text, const std::string& file_name,
                       StateSpace* space, const ReadSharing& sharing) {
  return ParseStateSpaceLines(ChainSource(text), {}, file_name, sharing, space);
}

bool HasDeterministicHeader(std::string_view text) {
  // The header's lines: the type, the state count, the spaces.
  std::string_view lines[3];
  for (std::string_view& line : lines) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;
    line = text.substr(0, end);
    text.remove_prefix(end + 1);
  }
  std::uint64_t n = 0;
  const std::string_view count = lines[1];
  const auto [end, error] =
      std::from_chars(count.data(), count.data() + count.size(), n);
  if (error != std::errc() || end != count.data() + count.size()) return false;
  const std::size_t d = Digits(n);
  return d < chain_format::kDeterministicPlaceholder &&
         lines[2].size() == chain_format::kDeterministicPlaceholder - d &&
         lines[2].find_first_not_of(' ') == std::string_view::npos;
}

bool WrittenByDeterministicGeneration(const std::string& file_name) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      std::fopen(file_name.c_str(), "rb"), &std::fclose);
  if (file == nullptr) return false;
  // The header's lines are short; a longer one is not this header.
  char start[256];
  const std::size_t read = std::fread(start, 1, sizeof start, file.get());
  return HasDeterministicHeader(std::string_view(start, read));
}

Status ReadStateSpace(const std::string& file_name, StateSpace* space,
                      const ReadReport& read, const ReadSharing& sharing) {
  ReadOnlyFile file;
  const Status status = file.Open(file_name);
  if (!status.ok) return status;
  return ParseStateSpaceLines(ChainSource(file.fd(), file.size()), read,
                              file_name, sharing, space);
}

Status ParseRewardTypes(std::string_view text, const std::string& file_name,
                        std::vector<RewardVariable>* variables) {
  variables->clear();
  LineCursor cursor(text);
  std::string_view line;
  std::string_view value;
  // Reads the next line, which must be "<key><value>".
  auto expect = [&](std::string_view key) -> Status {
    if (!cursor.Next(&line)) {
      return Status::Error(At(file_name, cursor.line() + 1) +
                           "the file ends before the line " + std::string(key) +
                           " (truncated?)");
    }
    if (cursor.unterminated()) return Unterminated(file_name, cursor.line());
    if (!SplitKey(line, key, &value)) {
      return Status::Error(At(file_name, cursor.line()) + "expected " +
                           std::string(key) + ", found " + Quote(line));
    }
    return Status::Ok();
  };
  auto bad_value = [&](std::string_view key, const std::string& valid) {
    return Status::Error(At(file_name, cursor.line()) + "bad value " +
                         Quote(value) + " after " + std::string(key) + " (" +
                         valid + ")");
  };

  Status status = expect("Version:");
  if (!status.ok) return status;
  int version = 0;
  if (!ParseInt(value, &version) || version != chain_format::kTypeFileVersion) {
    return bad_value("Version:", "solve reads version 1");
  }
  if (!(status = expect("NumPV:")).ok) return status;
  int count = 0;
  constexpr int kMaxVariables = chain_format::kMaxVariables;
  if (!ParseInt(value, &count) || count < 0 || count > kMaxVariables) {
    return bad_value("NumPV:", "0 to 1000000");
  }
  for (int v = 0; v < count; ++v) {
    RewardVariable variable;
    if (!(status = expect("Name:")).ok) return status;
    if (value.empty()) return bad_value("Name:", "a name is needed");
    variable.name = std::string(value);
    if (!(status = expect("Type:")).ok) return status;
    int code = 0;
    const RewardKindRow* kind = nullptr;
    if (!ParseInt(value, &code) || (kind = FindRewardKind(code)) == nullptr) {
      return bad_value("Type:", KnownRewardKinds());
    }
    variable.kind = kind->kind;
    if (!(status = expect("NumTimes:")).ok) return status;
    int times = 0;
    if (!ParseInt(value, &times) || times < 0 || times > kMaxVariables) {
      return bad_value("NumTimes:", "0 to 1000000");
    }
    for (int k = 0; k < times; ++k) {
      double time = 0;
      if (!(status = expect("Start:")).ok) return status;
      if (!ParseDouble(value, &time)) return bad_value("Start:", "a number");
      variable.start_times.push_back(time);
      if (!(status = expect("Stop:")).ok) return status;
      if (!ParseDouble(value, &time)) return bad_value("Stop:", "a number");
      variable.stop_times.push_back(time);
    }
    variables->push_back(std::move(variable));
  }
  return ExpectOnlyBlankLines(&cursor, file_name, "the last reward variable");
}

Status ReadRewardTypes(const std::string& file_name,
                       std::vector<RewardVariable>* variables) {
  std::string text;
  Status status = LoadFile(file_name, &text);
  if (!status.ok) return status;
  return ParseRewardTypes(text, file_name, variables);
}

Status ParseRewardValues(std::string_view bytes, const std::string& file_name,
                         const std::vector<std::string>& expected_names,
                         std::size_t num_states, bool text_records,
                         RewardValues* values) {
  const std::size_t nv = expected_names.size();
  values->names.clear();
  values->impulse.assign(nv, std::vector<double>(num_states, 0.0));
  values->rate.assign(nv, std::vector<double>(num_states, 0.0));
  LineCursor cursor(bytes);
  std::string_view line;

  // The header is text whatever the record format: one name per line.
  for (std::size_t v = 0; v < nv; ++v) {
    if (!cursor.Next(&line)) {
      return Status::Error(At(file_name, cursor.line() + 1) +
                           "the file ends before the name of reward "
                           "variable " +
                           std::to_string(v + 1) + " (truncated?)");
    }
    if (cursor.unterminated()) return Unterminated(file_name, cursor.line());
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line != expected_names[v]) {
      return Status::Error(At(file_name, cursor.line()) + "names " +
                           Quote(line) + " where the type file names " +
                           Quote(expected_names[v]));
    }
    values->names.emplace_back(line);
  }

  std::vector<bool> seen(num_states, false);
  auto state_error = [&](std::uint64_t s) -> std::string {
    if (s < 1 || s > num_states) {
      return "state number " + std::to_string(s) + " is outside 1.." +
             std::to_string(num_states);
    }
    if (seen[s - 1]) return "a second record for state " + std::to_string(s);
    return {};
  };

  if (text_records) {
    for (std::size_t k = 0; k < num_states; ++k) {
      if (!cursor.Next(&line)) {
        return Status::Error(At(file_name, cursor.line() + 1) +
                             "the file ends after " + std::to_string(k) +
                             " of " + std::to_string(num_states) +
                             " state records (truncated?)");
      }
      if (cursor.unterminated()) return Unterminated(file_name, cursor.line());
      std::uint64_t s = 0;
      if (!ParseUnsigned(line, &s)) {
        return Status::Error(At(file_name, cursor.line()) +
                             "expected a state number, found " + Quote(line));
      }
      const std::string error = state_error(s);
      if (!error.empty()) {
        return Status::Error(At(file_name, cursor.line()) + error);
      }
      seen[s - 1] = true;
      for (std::size_t v = 0; v < nv; ++v) {
        for (int part = 0; part < 2; ++part) {
          const char* what = part == 0 ? "impulse" : "rate";
          if (!cursor.Next(&line)) {
            return Status::Error(
                At(file_name, cursor.line() + 1) + "the file ends inside the " +
                "record of state " + std::to_string(s) + " (truncated?)");
          }
          if (cursor.unterminated()) {
            return Unterminated(file_name, cursor.line());
          }
          double value = 0;
          if (!ParseDouble(line, &value)) {
            return Status::Error(At(file_name, cursor.line()) +
                                 "expected the " + what + " reward of " +
                                 expected_names[v] + " in state " +
                                 std::to_string(s) + ", found " + Quote(line));
          }
          (part == 0 ? values->impulse : values->rate)[v][s - 1] = value;
        }
      }
    }
    return ExpectOnlyBlankLines(
        &cursor, file_name,
        "the last of " + std::to_string(num_states) + " state records");
  }

  // Binary records: a 4-byte state number, then per variable the impulse and
  // the rate reward as 8-byte doubles, all little-endian.
  const std::size_t record_size =
      chain_format::kRecordStateBytes + chain_format::kRecordVariableBytes * nv;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t offset = cursor.offset();
  for (std::size_t k = 0; k < num_states; ++k, offset += record_size) {
    if (bytes.size() - offset < record_size) {
      return Status::Error(
          file_name + ": byte " + std::to_string(offset) +
          ": the file ends inside binary record " + std::to_string(k + 1) +
          " of " + std::to_string(num_states) + " (" +
          std::to_string(record_size) + " bytes each; truncated?)");
    }
    const auto s = static_cast<std::uint32_t>(GetLittleEndian(
        data + offset, static_cast<int>(chain_format::kRecordStateBytes)));
    const std::string error = state_error(s);
    if (!error.empty()) {
      return Status::Error(file_name + ": byte " + std::to_string(offset) +
                           ": " + error);
    }
    seen[s - 1] = true;
    for (std::size_t v = 0; v < nv; ++v) {
      const unsigned char* p = data + offset + chain_format::kRecordStateBytes +
                               chain_format::kRecordVariableBytes * v;
      const double impulse = GetLittleEndianDouble(p);
      const double rate = GetLittleEndianDouble(p + 8);
      if (!std::isfinite(impulse) || !std::isfinite(rate)) {
        return Status::Error(file_name + ": byte " + std::to_string(offset) +
                             ": a reward of state " + std::to_string(s) +
                             " is not a finite number");
      }
      values->impulse[v][s - 1] = impulse;
      values->rate[v][s - 1] = rate;
    }
  }
  if (offset != bytes.size()) {
    return Status::Error(file_name + ": byte " + std::to_string(offset) + ": " +
                         std::to_string(bytes.size() - offset) +
                         " bytes follow the last of " +
                         std::to_string(num_states) + " binary records");
  }
  return Status::Ok();
}

Status ReadRewardValues(const std::string& file_name,
                        const std::vector<std::string>& expected_names,
                        std::size_t num_states, bool text_records,
                        RewardValues* values) {
  std::string bytes;
  Status status = LoadFile(file_name, &bytes);
  if (!status.ok) return status;
  return ParseRewardValues(bytes, file_name, expected_names, num_states,
                           text_records, values);
}
