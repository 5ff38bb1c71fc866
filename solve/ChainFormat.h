#ifndef GEN_SOLVE_CHAINFORMAT_H_
#define GEN_SOLVE_CHAINFORMAT_H_

#include <cstddef>

#include "output/Formats.h"

// What solve's readers rely on of the result-file layouts, in one place: the
// writers' constants from output/Formats.h, and the few that only a reader
// needs.
namespace chain_format {

// .arm: line 3 holds what is left of the placeholder after the type and N
// have been written over it, less its line feed.
constexpr std::size_t kNormalPlaceholder = kNormalPlaceholderSpaces - 1;
constexpr std::size_t kDeterministicPlaceholder =
    kDeterministicPlaceholderSpaces - 1;
// The smallest block is "s\n0\n": a header claiming more states than a
// quarter of the file's bytes cannot be honest.
constexpr std::size_t kMinBlockBytes = 4;

// .var binary records: a 4-byte state number, then per reward variable an
// 8-byte impulse and an 8-byte rate reward, all little-endian.
constexpr std::size_t kRecordStateBytes = 4;
constexpr std::size_t kRecordVariableBytes = 16;

// .pvtype: the number after "Version:" (kRewardTypesVersion).
constexpr int kTypeFileVersion = 1;
constexpr int kMaxVariables = 1000000;

// .props: the first line, and the field separator of the property lines.
constexpr const char kPropertiesHeader[] = "props 1";
constexpr char kPropertiesSeparator = '\t';

}  // namespace chain_format

#endif  // GEN_SOLVE_CHAINFORMAT_H_
