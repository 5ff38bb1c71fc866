#ifndef GEN_OUTPUT_FORMATS_H_
#define GEN_OUTPUT_FORMATS_H_

#include <cstdint>

// The layout of the result files of a run, shared by the writers in this
// folder and by the readers of solve/, so that the two cannot drift apart.
// docs/formats.md describes every file byte for byte. Every value here is
// stored in files that solvers read: never change one.

// File name endings, appended to path + name.
inline constexpr char kStateSpaceExtension[] = ".arm";
inline constexpr char kRewardValuesExtension[] = ".var";
inline constexpr char kRewardTypesExtension[] = ".pvtype";
inline constexpr char kEnablingStatesExtension[] = ".det";
// Deterministic mode only: the chain with its delays, nothing merged.
inline constexpr char kDeterministicChainExtension[] = ".dch";
// The properties of a model read from a file, for solve.
inline constexpr char kPropertiesExtension[] = ".props";
// Every state's number and marking, one line each (san --states).
inline constexpr char kStatesExtension[] = ".states";
// What a run was made from and what it found, as one JSON object (san).
inline constexpr char kRunRecordExtension[] = ".run.json";
// The initial distribution of a run that starts in several states.
inline constexpr char kInitialDistributionExtension[] = ".init";
// Line 1 of the .init file.
inline constexpr char kInitialDistributionHeader[] = "init 1";

// The output file type: line 1 of the state-space file. Generation always
// writes type 1 (text).
inline constexpr int kGenerationFileType = 1;

// Line 2 of the state-space file is written first as this many spaces and
// overwritten with the state count when the run ends; what the count does
// not cover stays as spaces on line 3. Normal generation leaves room for 62
// digits, deterministic generation for 8 (then line 3 is gone; a count of 9
// or more digits would run into the first block, so such a run stops at
// kDeterministicMaxStates).
inline constexpr int kNormalPlaceholderSpaces = 63;
inline constexpr int kDeterministicPlaceholderSpaces = 8;
// The largest state count the deterministic placeholder can hold.
inline constexpr std::uint32_t kDeterministicMaxStates = 99999999;

// State numbers: 1 is the initial state; 0 ends a state's block.
inline constexpr std::uint32_t kInitialStateNumber = 1;
inline constexpr std::uint32_t kEndOfBlock = 0;

// Rates and delays: C's "%.10e". Rewards and type-file times: "%.6g".
inline constexpr int kRateDigits = 10;
inline constexpr int kRewardDigits = 6;

// Reward records are text for file types 1, 3 and 5 and little-endian
// binary (uint32 state number, then impulse and rate reward as IEEE doubles
// per variable) for every other type.
constexpr bool TextRewardRecords(int file_type) {
  return file_type == 1 || file_type == 3 || file_type == 5;
}

// The enabling-states file is text for this value of its type and binary
// for any other: binary counts are little-endian uint32, delays IEEE
// doubles, and each state list ends with a 16-bit zero.
inline constexpr int kTextEnablingStates = 0;
inline constexpr int kBinaryEndOfStatesBytes = 2;

// The kinds of reward variable, one row each, with the code that the type
// file stores after "Type:" (stored in .pvtype files; never renumber) and
// the words that name the kind in messages. Every writer takes its code from
// here and solve reads the code back through the same table.
enum class RewardKind { kSteadyState };
struct RewardKindRow {
  RewardKind kind;
  int code;
  const char* name;
};
inline constexpr RewardKindRow kRewardKinds[] = {
    {RewardKind::kSteadyState, 3, "steady state"},
};

// The type-file code of `kind`.
constexpr int RewardKindCode(RewardKind kind) {
  for (const RewardKindRow& row : kRewardKinds) {
    if (row.kind == kind) return row.code;
  }
  return -1;  // unreachable: every kind has its row
}

// The row of type-file code `code`; nullptr for a code no kind has.
constexpr const RewardKindRow* FindRewardKind(int code) {
  for (const RewardKindRow& row : kRewardKinds) {
    if (row.code == code) return &row;
  }
  return nullptr;
}

// First line of the reward-variable type file.
inline constexpr char kRewardTypesVersion[] = "Version:1";

#endif  // GEN_OUTPUT_FORMATS_H_
