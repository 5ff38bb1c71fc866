#ifndef GEN_DATABASE_SHA256_H_
#define GEN_DATABASE_SHA256_H_

#include <string>
#include <string_view>

// The SHA-256 digest of `data` as 64 lowercase hexadecimal digits: what
// identifies the exact model file a run was made from.
std::string Sha256Hex(std::string_view data);

#endif  // GEN_DATABASE_SHA256_H_
