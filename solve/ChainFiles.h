#ifndef GEN_SOLVE_CHAINFILES_H_
#define GEN_SOLVE_CHAINFILES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"
#include "output/Formats.h"
#include "solve/RowOffsets.h"
#include "solve/TransitionRates.h"

class TwoWayPool;

// Readers for the three files a generation run leaves for one experiment:
// the state-space file (.arm), the reward-variable type file (.pvtype) and
// the reward values file (.var). Each reader checks its input completely and
// reports the first defect with the file name and the line (or, in binary
// records, the byte offset), so that a damaged file is never half-used.

// Each reader returns ok or a Status whose message is
// "<file>:<line>: <what>", without a newline.

// Reads the whole file at `file_name` into `contents`; a failure names the
// file and the system's reason.
Status LoadFile(const std::string& file_name, std::string* contents);

// Takes the line that starts at *pos, its line feed left out, moves *pos past
// it and counts it in *line_number. A last line without its line feed is an
// error naming the file and the line: the file was cut short.
Status NextLine(std::string_view text, const std::string& file_name,
                std::size_t* pos, std::size_t* line_number,
                std::string_view* line);

// The chain of a state-space file. The file numbers states 1..N; here they
// are 0..N-1. Outgoing transitions of state s are the entries
// first[s] .. first[s+1]-1 of target and rate, in file order. Self-loops and
// zero rates are dropped: they do not change the generator matrix.
struct StateSpace {
  int file_type = 0;  // line 1; selects text or binary reward records
  std::size_t num_states = 0;
  RowOffsets first;                   // num_states + 1 offsets
  std::vector<std::uint32_t> target;  // 0-based, never the source itself
  TransitionRates rate;               // > 0 and finite
  // Per state: the rate of its self-loop (0 if none). It leaves the
  // generator matrix unchanged but still earns impulse rewards. Empty when
  // the chain has no self-loop; shorter than num_states never otherwise.
  std::vector<double> self_rate;
  std::size_t num_self_loops = 0;  // dropped
  std::size_t num_zero_rates = 0;  // dropped

  std::size_t num_transitions() const { return target.size(); }
};

// Parses the text of a state-space file; `file_name` only labels messages.
// Refuses a file from deterministic generation (negative entries, or the
// short header placeholder that mode writes): it is not a Markov chain. Every
// line must end with a line feed, targets must increase strictly within a
// block, and the header's state count must fit the file's length, so that a
// damaged or hostile file is refused before anything is sized by it.
// ReadStateSpace streams the file: it is never held whole in memory.
//
// With a pool of two threads, a file of `min_bytes` or more is parsed in two
// parts at once: the second from a block start found near `split_at` (0: the
// middle), used only once the first part has arrived exactly there. The
// result and the first defect reported are those of one pass, whatever the
// file holds; a start that proves false only costs the time of the second
// part.
struct ReadSharing {
  TwoWayPool* pool = nullptr;  // null: one pass
  std::size_t min_bytes = std::size_t{8} << 20;
  std::size_t split_at = 0;
  bool* joined = nullptr;  // where given, told whether the second part counted
};
Status ParseStateSpace(std::string_view text, const std::string& file_name,
                       StateSpace* space, const ReadSharing& sharing = {});
// `read`, where given, is told the bytes read so far and the file's size
// after each block (from the thread that read them; never two at once).
using ReadReport = std::function<void(std::size_t done, std::size_t total)>;
Status ReadStateSpace(const std::string& file_name, StateSpace* space,
                      const ReadReport& read = {},
                      const ReadSharing& sharing = {});

// Whether `text` starts with the header deterministic generation writes (its
// placeholder line is the short one), whatever follows it.
bool HasDeterministicHeader(std::string_view text);
// The same for the state-space file's first bytes; false for a file that
// cannot be read.
bool WrittenByDeterministicGeneration(const std::string& file_name);

// One reward variable of the type file.
struct RewardVariable {
  std::string name;
  RewardKind kind = RewardKind::kSteadyState;
  std::vector<double> start_times;  // one per time point
  std::vector<double> stop_times;
};

Status ParseRewardTypes(std::string_view text, const std::string& file_name,
                        std::vector<RewardVariable>* variables);
Status ReadRewardTypes(const std::string& file_name,
                       std::vector<RewardVariable>* variables);

// Per reward variable and state (0-based): the impulse and the rate reward.
struct RewardValues {
  std::vector<std::string> names;
  std::vector<std::vector<double>> impulse;  // [variable][state]
  std::vector<std::vector<double>> rate;     // [variable][state]
};

// Parses a reward values file for `num_states` states. Its header must name
// exactly `expected_names`, in order; every state must have exactly one
// record.
Status ParseRewardValues(std::string_view bytes, const std::string& file_name,
                         const std::vector<std::string>& expected_names,
                         std::size_t num_states, bool text_records,
                         RewardValues* values);
Status ReadRewardValues(const std::string& file_name,
                        const std::vector<std::string>& expected_names,
                        std::size_t num_states, bool text_records,
                        RewardValues* values);

#endif  // GEN_SOLVE_CHAINFILES_H_
