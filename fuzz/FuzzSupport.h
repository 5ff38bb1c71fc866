#ifndef GEN_FUZZ_FUZZSUPPORT_H_
#define GEN_FUZZ_FUZZSUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Sends std::cout and std::cerr to a stream that drops everything, for the
// life of the process: the code under test reports on them at every call,
// and printing would slow the fuzzer down by orders of magnitude.
void SilenceStandardStreams();

// Ends the process with a report when `condition` is false, so that the
// fuzzer keeps the input that broke an invariant.
void FuzzCheck(bool condition, const char* what);

// A command line made of the fuzzer's bytes, split into arguments at NUL
// bytes after the program name, held as main() gets it: each argument in its
// own exact-size allocation, so that a read past an argument's end is caught.
class FuzzArguments {
 public:
  FuzzArguments(const char* program, const std::uint8_t* data,
                std::size_t size);

  int argc() const { return static_cast<int>(texts_.size()); }
  char** argv() { return argv_.data(); }
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  std::vector<std::string> texts_;
  std::vector<std::unique_ptr<char[]>> owned_;
  std::vector<char*> argv_;  // ends with a null pointer
};

#endif  // GEN_FUZZ_FUZZSUPPORT_H_
