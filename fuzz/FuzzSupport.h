#ifndef GEN_FUZZ_FUZZSUPPORT_H_
#define GEN_FUZZ_FUZZSUPPORT_H_

// Sends std::cout and std::cerr to a stream that drops everything, for the
// life of the process: the code under test reports on them at every call,
// and printing would slow the fuzzer down by orders of magnitude.
void SilenceStandardStreams();

// Ends the process with a report when `condition` is false, so that the
// fuzzer keeps the input that broke an invariant.
void FuzzCheck(bool condition, const char* what);

#endif  // GEN_FUZZ_FUZZSUPPORT_H_
