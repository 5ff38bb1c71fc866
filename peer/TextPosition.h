#ifndef GEN_PEER_TEXTPOSITION_H_
#define GEN_PEER_TEXTPOSITION_H_

#include <cstddef>
#include <string>

// "line L, column C" of the byte at `offset` in `text` (both from 1); an
// offset past the end is the place just after the last byte. Parsers of
// peer formats report byte offsets, people look for lines.
std::string LineAndColumn(const std::string& text, std::size_t offset);

#endif  // GEN_PEER_TEXTPOSITION_H_
