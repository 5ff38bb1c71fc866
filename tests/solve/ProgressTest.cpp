#include "solve/Progress.h"

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "gtest/gtest.h"

// Quiet for the first seconds, then one line a second at most, with the
// phase, the iteration, its residual or the bytes read, and the time.
TEST(ProgressTest, QuietAtFirstThenOneLineASecond) {
  std::ostringstream err;
  Progress progress(&err);
  progress.Phase("bicgstab on 10 unknowns");
  progress.Iteration(1, 0.5);
  EXPECT_EQ(err.str(), "");
  std::this_thread::sleep_for(
      std::chrono::duration<double>(Progress::kQuietSeconds + 0.05));
  progress.Iteration(7, 2.5e-9);
  progress.Iteration(8, 1e-9);  // within the same second: dropped
  const std::string text = err.str();
  EXPECT_EQ(text.rfind("solve: bicgstab on 10 unknowns, iteration 7, relative "
                       "residual 2.5e-09, 2.",
                       0),
            0u)
      << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
  progress.Phase("reading k5.arm");  // within the same second: dropped
  std::this_thread::sleep_for(std::chrono::duration<double>(1.05));
  progress.Bytes(412345678, 625401446);
  const std::string reading = err.str().substr(text.size());
  EXPECT_EQ(reading.rfind("solve: reading k5.arm, 412 of 625 MB, ", 0), 0u)
      << reading;
  Progress silent(nullptr);
  silent.Phase("reading");
  silent.Iteration(1, 1);
  silent.Bytes(1, 2);
}
