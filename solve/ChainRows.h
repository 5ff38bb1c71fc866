#ifndef GEN_SOLVE_CHAINROWS_H_
#define GEN_SOLVE_CHAINROWS_H_

#include <cstddef>
#include <cstdint>
#include <limits>

#include "solve/RowOffsets.h"

// A system over a set S of a chain's states reads the chain's rows as raw
// arrays through the three accessors below, chosen once per call, so that
// each hot loop is compiled for the forms it meets: the row offsets (4
// bytes each on every chain under 2^32 transitions), the rates (see
// WithRates) and the numbering of S. Read through the general containers,
// the sweep pair of Kanban N = 5 kept its pointers and bounds in memory and
// took 0.080 s a call; through these, 0.058 s, with the same bytes.

// The local number of a state outside S.
constexpr std::uint32_t kOutsideSystem =
    std::numeric_limits<std::uint32_t>::max();

// S = every state but one: local and global numbers differ by at most 1.
struct AllButOneNumbering {
  std::uint32_t left_out;

  std::uint32_t Global(std::size_t i) const {
    return static_cast<std::uint32_t>(i + (i >= left_out));
  }
  std::uint32_t Local(std::uint32_t global) const {
    return global == left_out ? kOutsideSystem
                              : global - (global > left_out ? 1 : 0);
  }
};

// S listed: local to global in increasing order, and back.
struct ListedNumbering {
  const std::uint32_t* states;
  const std::uint32_t* local;

  std::uint32_t Global(std::size_t i) const { return states[i]; }
  std::uint32_t Local(std::uint32_t global) const { return local[global]; }
};

// Offsets of a chain under 2^32 transitions.
struct NarrowOffsets {
  const std::uint32_t* first;

  std::size_t operator()(std::uint32_t s) const { return first[s]; }
};

// Offsets of any chain.
struct WideOffsets {
  const RowOffsets* first;

  std::size_t operator()(std::uint32_t s) const { return (*first)[s]; }
};

template <class Rate, class Offsets, class Numbering>
struct ChainRows {
  Rate rate;            // rate(e)
  Offsets first;        // first(s): where state s's transitions start
  Numbering numbering;  // Global(i), Local(s)
  const std::uint32_t* target;
  const double* exit;  // per global state

  std::size_t Begin(std::uint32_t s) const { return first(s); }
  std::size_t End(std::uint32_t s) const { return first(s + 1); }
};

// Calls body(ChainRows{...}) with `rate` from WithRates and the offsets'
// form chosen from `offsets`.
template <class Rate, class Numbering, class Body>
void WithOffsets(const RowOffsets& offsets, Rate rate, Numbering numbering,
                 const std::uint32_t* target, const double* exit, Body&& body) {
  if (const std::uint32_t* narrow = offsets.narrow()) {
    body(ChainRows<Rate, NarrowOffsets, Numbering>{rate, NarrowOffsets{narrow},
                                                   numbering, target, exit});
    return;
  }
  body(ChainRows<Rate, WideOffsets, Numbering>{rate, WideOffsets{&offsets},
                                               numbering, target, exit});
}

#endif  // GEN_SOLVE_CHAINROWS_H_
