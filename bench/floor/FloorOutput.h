#ifndef GEN_BENCH_FLOOR_FLOOROUTPUT_H_
#define GEN_BENCH_FLOOR_FLOOROUTPUT_H_

#include <cstdint>
#include <ctime>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

// The files and lines of a hand-written floor generator, byte for byte as
// the general generator writes them for a benchmark model with the one
// reward variable "busy_machines": .pvtype, .arm and .var, the progress
// lines and the summary. No stream formatting on the hot path: numbers are
// formatted into large buffers with std::to_chars.
class FloorOutput {
 public:
  FloorOutput(std::ostream& out, std::ostream& err);
  FloorOutput(const FloorOutput&) = delete;
  FloorOutput& operator=(const FloorOutput&) = delete;
  ~FloorOutput();

  // Writes base.pvtype and opens base.arm and base.var; false after a
  // message on `err` when one cannot be written.
  bool Open(const std::string& base);
  // The .var record of a newly numbered state: no impulse reward, `busy`
  // parts in machining.
  void WriteReward(std::uint32_t number, unsigned busy);
  // A transition of the state being explored, in the order of firing.
  void Record(std::uint32_t target, double rate);
  // Writes the .arm block of state `number` from the recorded transitions
  // (rates summed per target in recording order, targets increasing) and
  // the progress line every 1000 states.
  void EndState(std::uint32_t number);
  // Writes the state count into the .arm header, closes the files and
  // prints the summary; the exit code: 0, or 1 after a message on `err`.
  int Finish(std::uint32_t states);

 private:
  class Buffer;
  struct Pending {
    std::uint32_t target;
    double rate;
  };
  class RateTexts;

  std::ostream& out_;
  std::ostream& err_;
  std::string base_;
  std::clock_t start_;
  std::ofstream arm_file_;
  std::ofstream var_file_;
  std::vector<Pending> pending_;
  std::unique_ptr<Buffer> arm_;
  std::unique_ptr<Buffer> var_;
  std::unique_ptr<RateTexts> rate_texts_;
};

#endif  // GEN_BENCH_FLOOR_FLOOROUTPUT_H_
