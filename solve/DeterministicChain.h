#ifndef GEN_SOLVE_DETERMINISTICCHAIN_H_
#define GEN_SOLVE_DETERMINISTICCHAIN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "solve/ChainFiles.h"

// The chain of a deterministic run as its .dch file describes it, states
// 0-based. Per state s: its deterministic activities (delay entries
// first_delay[s] .. first_delay[s+1]-1), the branches of their firings
// (first_branch[s] ..) and its exponential transitions (first_rate[s] ..),
// each in file order.
struct DeterministicChain {
  struct Delay {
    std::uint32_t action;  // 0-based index into actions
    double delay;          // finite, >= 0
  };
  struct Branch {
    std::uint32_t delay;   // 0-based among the state's delay entries
    std::uint32_t target;  // 0-based
    double probability;    // > 0 and finite
  };
  struct Rate {
    std::uint32_t target;  // 0-based; may be the state itself
    double rate;           // > 0 and finite
    // Bit j: the state's delay entry j keeps its clock ("c"); clear: it
    // restarts ("r").
    std::uint64_t kept;
  };

  std::vector<std::string> actions;  // names, unescaped
  std::size_t num_states = 0;
  std::vector<std::size_t> first_delay;  // num_states + 1 offsets each
  std::vector<std::size_t> first_branch;
  std::vector<std::size_t> first_rate;
  std::vector<Delay> delays;
  std::vector<Branch> branches;
  std::vector<Rate> rates;
};

// Parses the text of a .dch file; `file_name` only labels messages, which
// name the line. Every line must end with a line feed, states must come in
// order from 1, and every number, index and flag must be in range.
Status ParseDeterministicChain(std::string_view text,
                               const std::string& file_name,
                               DeterministicChain* chain);
Status ReadDeterministicChain(const std::string& file_name,
                              DeterministicChain* chain);

#endif  // GEN_SOLVE_DETERMINISTICCHAIN_H_
