#ifndef GEN_GENERATOR_DETERMINISTICCHAINFILE_H_
#define GEN_GENERATOR_DETERMINISTICCHAINFILE_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "generator/NextStateSource.h"

// Writes the description of a deterministic-mode chain (".dch"): per
// state, each deterministic action it enables with its delay and its own
// branching probabilities, and each exponential target with its rate and,
// per enabled deterministic action, whether that action's clock runs on or
// restarts; and, when the source reports them, the impulses each
// deterministic branch earns. Nothing is summed across kinds, so a solver of
// the chain with its deterministic delays loses nothing that the .arm merges.
// The bytes are described in docs/formats.md; every number is written in its
// shortest form that reads back to the same double.
class DeterministicChainFile {
 public:
  // The stream is not owned and must outlive the writer.
  explicit DeterministicChainFile(std::ostream& out) : out_(out) {}
  DeterministicChainFile(const DeterministicChainFile&) = delete;
  DeterministicChainFile& operator=(const DeterministicChainFile&) = delete;

  // The first lines: the version and the names of the deterministic
  // actions, which "delay" lines number from 1; then, when `impulses` is not
  // empty, the names of the reward variables that "impulse" lines number
  // from 1 (the states' successors then carry that many firing impulses).
  void WriteHeader(const std::vector<std::string>& actions,
                   const std::vector<std::string>& impulses = {});
  // The block of state `number`, whose successors are [begin, end) of
  // `successors` and its delays [delay_begin, delay_end) of them; successor
  // begin + k became state targets[k].
  void WriteState(std::uint32_t number, const Successors& successors,
                  std::size_t begin, std::size_t end, std::size_t delay_begin,
                  std::size_t delay_end, const std::uint32_t* targets);
  // The last line, with the number of blocks written.
  void Finish();

 private:
  struct Entry {
    std::uint32_t delay;  // Successors::Origin::delay
    std::uint32_t target;
    std::uint64_t kept;
    double value;        // probability or rate
    std::size_t source;  // the successor's index
  };
  void Append(double value);
  void Append(std::uint64_t value);

  std::ostream& out_;
  std::uint32_t states_ = 0;
  std::size_t impulse_count_ = 0;
  std::vector<Entry> entries_;  // reused per state
  // Per entry after merging: the impulses times the probability, summed.
  std::vector<double> earned_;
  std::string block_;  // likewise
};

#endif  // GEN_GENERATOR_DETERMINISTICCHAINFILE_H_
