#ifndef GEN_SOLVE_CHAINFORMAT_H_
#define GEN_SOLVE_CHAINFORMAT_H_

#include <cstddef>

// Every constant of the result-file layouts that solve's readers rely on, in
// one place, so they can follow the writers' own definitions.
namespace chain_format {

// .arm: line 3 holds the rest of a placeholder of this many characters
// (spaces and the line feed) after the type and N have been written over it.
constexpr std::size_t kNormalPlaceholder = 62;
constexpr std::size_t kDeterministicPlaceholder = 7;
// The smallest block is "s\n0\n": a header claiming more states than a
// quarter of the file's bytes cannot be honest.
constexpr std::size_t kMinBlockBytes = 4;

// .arm line 1: file types whose .var records are text; the others are binary.
constexpr int kTextRecordTypes[] = {1, 3, 5};

// .var binary records: a 4-byte state number, then per reward variable an
// 8-byte impulse and an 8-byte rate reward, all little-endian.
constexpr std::size_t kRecordStateBytes = 4;
constexpr std::size_t kRecordVariableBytes = 16;

// .pvtype.
constexpr int kTypeFileVersion = 1;
constexpr int kMaxVariables = 1000000;

// .props: the first line, and the field separator of the property lines.
constexpr const char kPropertiesHeader[] = "props 1";
constexpr char kPropertiesSeparator = '\t';

}  // namespace chain_format

#endif  // GEN_SOLVE_CHAINFORMAT_H_
