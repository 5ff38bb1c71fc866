#ifndef GEN_RUN_GENERATIONPROGRESS_H_
#define GEN_RUN_GENERATIONPROGRESS_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "cli/ProgressClock.h"

// The memory the process holds in RAM (its resident set), in bytes; 0 when
// the system does not tell. Allocates nothing.
std::uint64_t ResidentBytes();

// Progress lines of a generation run, from kQuietSeconds into the run and
// then every kIntervalSeconds at most, one per line on the stream given:
//   san: 1843200 states explored, 412000 states/s, queue 83012, 212 MiB, 4.0 s
// The rate is that of the interval since the previous line (or the start);
// the queue holds the states numbered but not yet explored; the memory is
// the resident set and is left out when unknown.
class GenerationProgress {
 public:
  static constexpr double kQuietSeconds = 2.0;
  static constexpr double kIntervalSeconds = 2.0;

  // `program` starts each line; the stream must outlive the reporter.
  GenerationProgress(std::ostream& err, std::string program);
  // With a clock of the caller's and a fixed memory figure, for tests.
  GenerationProgress(std::ostream& err, std::string program,
                     ProgressClock::Now now, std::uint64_t resident_bytes);
  GenerationProgress(const GenerationProgress&) = delete;
  GenerationProgress& operator=(const GenerationProgress&) = delete;

  // The explorer's counts now; prints a line when one is due.
  void Report(std::uint32_t explored, std::uint32_t numbered);

 private:
  std::ostream& err_;
  std::string program_;
  ProgressClock clock_;
  std::uint64_t fixed_resident_ = 0;  // 0: measured
  double last_seconds_ = 0;
  std::uint32_t last_explored_ = 0;
};

#endif  // GEN_RUN_GENERATIONPROGRESS_H_
