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

FuzzArguments::FuzzArguments(const char* program, const std::uint8_t* data,
                             std::size_t size) {
  texts_.emplace_back(program);
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      texts_.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  texts_.push_back(current);
  for (const std::string& text : texts_) {
    owned_.push_back(std::make_unique<char[]>(text.size() + 1));
    text.copy(owned_.back().get(), text.size());
    owned_.back()[text.size()] = '\0';
    argv_.push_back(owned_.back().get());
  }
  argv_.push_back(nullptr);
}
