#include "solve/ChainFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "output/LittleEndian.h"
#include "solve/BlockReader.h"
#include "solve/ChainFormat.h"

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
  // `read`, where given, is told the bytes of the blocks read so far and
  // `size` after each block.
  explicit LineCursor(int fd, const ReadReport& read = {}, std::size_t size = 0)
      : reader_(std::make_unique<BlockReader>(fd)), read_(read), size_(size) {}

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
Status Unterminated(const std::string& file_name, std::size_t line) {
  return Status::Error(At(file_name, line) +
                       "the last line does not end with a line feed "
                       "(truncated?)");
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

// Room for the transitions still to come, estimated from the bytes per
// transition so far, so that the arrays grow about once rather than by
// doubling: each doubling copies them and briefly holds both copies. The
// estimate errs high by a sixteenth; pages never written take no memory.
void ReserveAhead(std::size_t file_bytes, std::size_t consumed,
                  StateSpace* space) {
  const std::size_t have = space->target.size();
  std::size_t want = have + have / 4 + 1024;
  if (consumed > 0 && have > 0 && file_bytes > consumed) {
    const double per_byte = static_cast<double>(have) / consumed;
    const auto estimate =
        static_cast<std::size_t>(per_byte * static_cast<double>(file_bytes));
    want = std::max(want, estimate + estimate / 16);
  }
  space->target.reserve(want);
  space->rate.reserve(want);
}

Status ParseStateSpaceLines(LineCursor* source, std::size_t file_bytes,
                            const std::string& file_name, StateSpace* space) {
  LineCursor& cursor = *source;
  *space = StateSpace();
  std::string_view line;
  auto fail = [&](const std::string& what) {
    return Status::Error(At(file_name, cursor.line()) + what);
  };
  auto truncated = [&](const std::string& where) {
    if (cursor.read_error() != 0) {
      return Status::Error(
          file_name + ": read error: " + std::strerror(cursor.read_error()));
    }
    return Status::Error(At(file_name, cursor.line() + 1) + "the file ends " +
                         where + " (truncated?)");
  };
  bool cut = false;
  auto read = [&]() {
    if (!cursor.Next(&line)) return false;
    cut = cursor.unterminated();
    return true;
  };

  if (!read()) return truncated("before the file type");
  if (cut) return Unterminated(file_name, cursor.line());
  if (!ParseInt(line, &space->file_type)) {
    return fail("expected the file type (an integer), found " + Quote(line));
  }
  if (!read()) return truncated("before the number of states");
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
  if (!read()) return truncated("before the block of state 1");
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
  auto next = [&]() {
    if (pending) {
      pending = false;
      return true;
    }
    return read();
  };

  space->first.reserve(n + 1);
  space->first.push_back(0);
  RateTextCache rate_texts;
  for (std::uint64_t s = 1; s <= n; ++s) {
    if (!next()) {
      return truncated("before the block of state " + std::to_string(s) +
                       " of " + std::to_string(n));
    }
    if (cut) return Unterminated(file_name, cursor.line());
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
      if (cut) return Unterminated(file_name, cursor.line());
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
      if (cut) return Unterminated(file_name, cursor.line());
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
        ++space->num_zero_rates;
      } else if (target == s) {
        ++space->num_self_loops;
        if (space->self_rate.empty()) space->self_rate.assign(n, 0.0);
        space->self_rate[s - 1] = rate;
      } else {
        if (space->target.size() == space->target.capacity()) {
          ReserveAhead(file_bytes, cursor.consumed(), space);
        }
        space->target.push_back(static_cast<std::uint32_t>(target - 1));
        space->rate.push_back(rate);
      }
    }
    space->first.push_back(space->target.size());
  }
  while (read()) {
    if (!Trim(line).empty()) {
      return fail("unexpected content " + Quote(line) +
                  " after the block of the last state " + std::to_string(n));
    }
    if (cut) return Unterminated(file_name, cursor.line());
  }
  if (cursor.read_error() != 0) {
    return Status::Error(file_name +
                         ": read error: " + std::strerror(cursor.read_error()));
  }
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
                       StateSpace* space) {
  LineCursor cursor(text);
  return ParseStateSpaceLines(&cursor, text.size(), file_name, space);
}

Status ReadStateSpace(const std::string& file_name, StateSpace* space,
                      const ReadReport& read) {
  ReadOnlyFile file;
  const Status status = file.Open(file_name);
  if (!status.ok) return status;
  LineCursor cursor(file.fd(), read, file.size());
  return ParseStateSpaceLines(&cursor, file.size(), file_name, space);
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
