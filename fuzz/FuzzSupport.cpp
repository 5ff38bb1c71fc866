#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <streambuf>

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

void SilenceStandardStreams() {
  static NullBuffer null_buffer;
  std::cout.rdbuf(&null_buffer);
  std::cerr.rdbuf(&null_buffer);
}

void FuzzCheck(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}
