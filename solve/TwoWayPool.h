#ifndef GEN_SOLVE_TWOWAYPOOL_H_
#define GEN_SOLVE_TWOWAYPOOL_H_

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

// Work cut in two fixed halves, run on two threads or one after the other on
// one. The halves are the same whatever the thread count, and so is every
// sum that combines them, so the results do not depend on it: only the
// wall time does. The second thread is started once and waits between
// tasks; running a task allocates nothing.
class TwoWayPool {
 public:
  // `threads` 1 runs both halves on the caller; 2 or more starts one helper.
  explicit TwoWayPool(int threads);
  ~TwoWayPool();
  TwoWayPool(const TwoWayPool&) = delete;
  TwoWayPool& operator=(const TwoWayPool&) = delete;

  int threads() const { return helper_.joinable() ? 2 : 1; }

  // Calls task(0) and task(1) and returns when both have returned: half 0 on
  // the caller and half 1 on the helper, or 0 then 1 on the caller. The
  // halves must not write what the other half reads or writes.
  template <class Task>
  void Run(const Task& task) {
    RunErased([](const void* object,
                 int half) { (*static_cast<const Task*>(object))(half); },
              &task);
  }

 private:
  using Call = void (*)(const void* object, int half);
  void RunErased(Call call, const void* object);
  void Serve();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Call call_ = nullptr;
  const void* object_ = nullptr;
  std::size_t posted_ = 0;    // tasks handed to the helper
  std::size_t finished_ = 0;  // tasks the helper has finished
  bool stop_ = false;
  std::thread helper_;  // last: started once the members above exist
};

// The point where vectors of n entries are cut in two: past `min_split`
// unknowns their middle, rounded down to whole cache lines of doubles so
// that the halves share none; below it n, so that small systems, where a
// second thread would gain nothing, keep one undivided pass.
constexpr std::size_t kMinSplit = std::size_t{1} << 16;
std::size_t VectorSplit(std::size_t n, std::size_t min_split = kMinSplit);

// Calls range(begin, end) over 0..n-1, for work whose result does not
// depend on where the range is cut: on a pool of two threads cut at
// VectorSplit(n), the parts at once; on one thread, without a pool or below
// the threshold, the whole range in one call. The parts must not write what
// the other reads or writes.
template <class Range>
void RunInHalves(TwoWayPool* pool, std::size_t n, const Range& range) {
  const std::size_t middle =
      pool != nullptr && pool->threads() == 2 ? VectorSplit(n) : n;
  if (middle == n) {
    range(std::size_t{0}, n);
    return;
  }
  pool->Run([&](int half) {
    if (half == 0) {
      range(std::size_t{0}, middle);
    } else {
      range(middle, n);
    }
  });
}

#endif  // GEN_SOLVE_TWOWAYPOOL_H_
