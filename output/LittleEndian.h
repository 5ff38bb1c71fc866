#ifndef GEN_OUTPUT_LITTLEENDIAN_H_
#define GEN_OUTPUT_LITTLEENDIAN_H_

#include <cstdint>
#include <cstring>
#include <ostream>

// Binary records in result files are little-endian whatever the machine.

// Writes the low `bytes` bytes of `value` (1 to 8) to `out`, lowest first;
// returns the end of what was written.
inline char* PutLittleEndian(std::uint64_t value, int bytes, char* out) {
  for (int i = 0; i < bytes; ++i) {
    *out++ = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  return out;
}

inline std::uint64_t DoubleBits(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

inline void WriteLittleEndian(std::ostream& out, std::uint64_t value,
                              int bytes) {
  char buffer[8];
  out.write(buffer, PutLittleEndian(value, bytes, buffer) - buffer);
}

inline void WriteLittleEndianDouble(std::ostream& out, double value) {
  WriteLittleEndian(out, DoubleBits(value), 8);
}

// Reads `bytes` bytes (1 to 8) at `in`, lowest first.
inline std::uint64_t GetLittleEndian(const unsigned char* in, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | in[i];
  return value;
}

inline double GetLittleEndianDouble(const unsigned char* in) {
  const std::uint64_t bits = GetLittleEndian(in, 8);
  double value = 0.0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

#endif  // GEN_OUTPUT_LITTLEENDIAN_H_
