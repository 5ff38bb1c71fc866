#include "solve/DeterministicChain.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The text's lines in turn, numbered from 1.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  // False at the end; `*terminated` says whether the line had its feed.
  bool Next(std::string_view* line, bool* terminated) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    *terminated = end != std::string_view::npos;
    if (!*terminated) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    pos_ = *terminated ? end + 1 : end;
    ++number_;
    return true;
  }
  std::size_t number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t number_ = 0;
};

// Splits off the next blank-separated word.
std::string_view Word(std::string_view* rest) {
  const std::size_t end = rest->find(' ');
  const std::string_view word = rest->substr(0, end);
  rest->remove_prefix(end == std::string_view::npos ? rest->size() : end + 1);
  return word;
}

bool Unsigned(std::string_view word, std::uint64_t limit, std::uint64_t* out) {
  if (word.empty() || word.size() > 20) return false;
  const auto [end, ec] =
      std::from_chars(word.data(), word.data() + word.size(), *out);
  return ec == std::errc() && end == word.data() + word.size() && *out <= limit;
}

bool Number(std::string_view word, double* out) {
  if (word.empty()) return false;
  const auto [end, ec] =
      std::from_chars(word.data(), word.data() + word.size(), *out);
  return ec == std::errc() && end == word.data() + word.size() &&
         std::isfinite(*out);
}

std::string Unescaped(std::string_view text, bool* ok) {
  std::string name;
  *ok = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      name += text[i];
      continue;
    }
    if (++i == text.size()) {
      *ok = false;
      return name;
    }
    switch (text[i]) {
      case '\\':
        name += '\\';
        break;
      case 'n':
        name += '\n';
        break;
      case 'r':
        name += '\r';
        break;
      default:
        *ok = false;
        return name;
    }
  }
  return name;
}

}  // namespace

Status ParseDeterministicChain(std::string_view text,
                               const std::string& file_name,
                               DeterministicChain* chain) {
  *chain = DeterministicChain();
  Lines lines(text);
  std::string_view line;
  bool terminated = false;
  auto fail = [&](const std::string& what) {
    return Status::Error(file_name + ":" + std::to_string(lines.number()) +
                         ": " + what);
  };
  auto next = [&](const char* expected) -> Status {
    if (!lines.Next(&line, &terminated)) {
      return Status::Error(file_name + ": ends before " + expected);
    }
    if (!terminated) return fail("the last line has no line feed");
    return Status::Ok();
  };

  Status status = next("the version line");
  if (!status.ok) return status;
  if (line != "dch 1" && line != "dch 2") {
    return fail("not a version 1 or 2 .dch file");
  }
  const bool with_impulses = line == "dch 2";
  // "<keyword> <count>", then that many names, one escaped name a line (so
  // the count cannot exceed the text's size).
  auto names = [&](const char* keyword, const char* what,
                   std::vector<std::string>* out,
                   std::uint64_t* count) -> Status {
    std::string_view rest = line;
    if (Word(&rest) != keyword || !Unsigned(rest, text.size(), count)) {
      return fail(std::string("expected \"") + keyword + " <count>\"");
    }
    for (std::uint64_t k = 0; k < *count; ++k) {
      const Status read = next(what);
      if (!read.ok) return read;
      bool ok = false;
      out->push_back(Unescaped(line, &ok));
      if (!ok) return fail("a backslash that starts no \\\\, \\n or \\r");
    }
    return Status::Ok();
  };
  status = next("the actions line");
  if (!status.ok) return status;
  std::uint64_t count = 0;
  status =
      names("actions", "the names of the actions", &chain->actions, &count);
  if (!status.ok) return status;
  std::uint64_t variables = 0;
  if (with_impulses) {
    status = next("the impulses line");
    if (!status.ok) return status;
    status = names("impulses", "the names of the reward variables",
                   &chain->impulse_names, &variables);
    if (!status.ok) return status;
  }

  constexpr std::uint64_t kMaxState = std::numeric_limits<std::uint32_t>::max();
  std::size_t state_delays = 0;
  int section = 0;  // 0 delays, 1 branches, 2 rates: their order in a block
  std::uint64_t max_target = 0;
  while (true) {
    status = next("the end line");
    if (!status.ok) return status;
    std::string_view rest = line;
    const std::string_view keyword = Word(&rest);
    std::uint64_t n = 0;
    if (keyword == "state") {
      if (!Unsigned(rest, kMaxState, &n) || n != chain->num_states + 1) {
        return fail("expected \"state " +
                    std::to_string(chain->num_states + 1) + "\"");
      }
      chain->first_delay.push_back(chain->delays.size());
      chain->first_branch.push_back(chain->branches.size());
      chain->first_rate.push_back(chain->rates.size());
      ++chain->num_states;
      state_delays = 0;
      section = 0;
      continue;
    }
    if (keyword == "end") {
      if (!Unsigned(rest, kMaxState, &n) || n != chain->num_states) {
        return fail("expected \"end " + std::to_string(chain->num_states) +
                    "\"");
      }
      break;
    }
    if (chain->num_states == 0) return fail("expected \"state 1\"");
    if (keyword == "delay") {
      std::uint64_t action = 0;
      double delay = 0;
      if (section != 0 || !Unsigned(Word(&rest), count, &action) ||
          action == 0 || !Number(rest, &delay) || delay < 0) {
        return fail("expected \"delay <action 1.." + std::to_string(count) +
                    "> <delay >= 0>\" before the state's other lines");
      }
      chain->delays.push_back({static_cast<std::uint32_t>(action - 1), delay});
      ++state_delays;
    } else if (keyword == "to") {
      std::uint64_t delay = 0;
      double probability = 0;
      if (section > 1 || !Unsigned(Word(&rest), state_delays, &delay) ||
          delay == 0 || !Unsigned(Word(&rest), kMaxState, &n) || n == 0 ||
          !Number(rest, &probability) || !(probability > 0)) {
        return fail("expected \"to <delay line 1.." +
                    std::to_string(state_delays) +
                    "> <state> <probability > 0>\" before the rate lines");
      }
      section = 1;
      chain->first_impulse.push_back(chain->impulses.size());
      chain->branches.push_back({static_cast<std::uint32_t>(delay - 1),
                                 static_cast<std::uint32_t>(n - 1),
                                 probability});
    } else if (keyword == "impulse" && with_impulses) {
      // After its branch's "to" line, by increasing variable.
      std::uint64_t variable = 0;
      double amount = 0;
      const bool after_branch =
          section == 1 && chain->branches.size() > chain->first_branch.back();
      bool ok = after_branch && Unsigned(Word(&rest), variables, &variable) &&
                variable > 0 && Number(rest, &amount);
      // Each branch has its offset in first_impulse.
      if (ok && chain->impulses.size() > chain->first_impulse.back()) {
        ok = chain->impulses.back().variable + 1 < variable;
      }
      if (!ok) {
        return fail("expected \"impulse <variable 1.." +
                    std::to_string(variables) +
                    "> <amount>\" after a \"to\" line, variables increasing");
      }
      chain->impulses.push_back(
          {static_cast<std::uint32_t>(variable - 1), amount});
    } else if (keyword == "rate") {
      double rate = 0;
      if (!Unsigned(Word(&rest), kMaxState, &n) || n == 0 ||
          !Number(Word(&rest), &rate) || !(rate > 0)) {
        return fail("expected \"rate <state> <rate > 0> <flags>\"");
      }
      std::uint64_t kept = 0;
      const bool flags_ok =
          state_delays == 0
              ? rest == "-"
              : rest.size() == state_delays &&
                    rest.find_first_not_of("cr") == std::string_view::npos;
      if (!flags_ok || state_delays > 64) {
        return fail("the flags must be one c or r per delay line (" +
                    std::to_string(state_delays) + "), or - without any");
      }
      for (std::size_t j = 0; j < rest.size() && state_delays > 0; ++j) {
        if (rest[j] == 'c') kept |= std::uint64_t{1} << j;
      }
      section = 2;
      chain->rates.push_back({static_cast<std::uint32_t>(n - 1), rate, kept});
    } else {
      return fail("expected a state, delay, to, rate or end line");
    }
    if (n > max_target) max_target = n;
  }
  if (lines.Next(&line, &terminated)) return fail("text after the end line");
  if (max_target > chain->num_states) {
    return Status::Error(file_name + ": a transition leads to state " +
                         std::to_string(max_target) + " of " +
                         std::to_string(chain->num_states));
  }
  chain->first_delay.push_back(chain->delays.size());
  chain->first_branch.push_back(chain->branches.size());
  chain->first_rate.push_back(chain->rates.size());
  chain->first_impulse.push_back(chain->impulses.size());
  return Status::Ok();
}

Status ReadDeterministicChain(const std::string& file_name,
                              DeterministicChain* chain) {
  std::string text;
  const Status status = LoadFile(file_name, &text);
  if (!status.ok) return status;
  return ParseDeterministicChain(text, file_name, chain);
}
