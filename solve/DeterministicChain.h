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
// each in file order; per branch b, the impulses its firings earn
// (first_impulse[b] .. first_impulse[b+1]-1), by reward variable.
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

  struct Impulse {
    std::uint32_t variable;  // 0-based index into impulse_names
    double amount;           // finite; earned per firing along the branch
  };

  std::vector<std::string> actions;  // names, unescaped
  // The reward variables the impulses name (version 2); empty otherwise.
  std::vector<std::string> impulse_names;
  std::size_t num_states = 0;
  std::vector<std::size_t> first_delay;  // num_states + 1 offsets each
  std::vector<std::size_t> first_branch;
  std::vector<std::size_t> first_rate;
  std::vector<Delay> delays;
  std::vector<Branch> branches;
  std::vector<Rate> rates;
  std::vector<std::size_t> first_impulse;  // branches.size() + 1 offsets
  std::vector<Impulse> impulses;
};

// Parses the text of a .dch file, version 1 or 2 (impulses); `file_name`
// only labels messages, which name the line. Every line must end with a line
// feed, states must come in order from 1, and every number, index and flag must
// be in range.
Status ParseDeterministicChain(std::string_view text,
                               const std::string& file_name,
                               DeterministicChain* chain);
Status ReadDeterministicChain(const std::string& file_name,
                              DeterministicChain* chain);

#endif  // GEN_SOLVE_DETERMINISTICCHAIN_H_
