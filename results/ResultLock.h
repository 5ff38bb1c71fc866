#ifndef GEN_RESULTS_RESULTLOCK_H_
#define GEN_RESULTS_RESULTLOCK_H_

#include <string>

#include "base/Status.h"

// The advisory lock that gives one run at a time the results of one path
// and name. It is an flock(2) on the hidden file "<folder>/.<name>.lock"
// beside the results, held for the run's whole duration. A second run on
// the same name does not wait: it fails at once, so that a controlling
// process learns of the clash instead of hanging. Releasing the lock
// removes the file; a file left by a killed run holds no lock and is taken
// over by the next run.
class ResultLock {
 public:
  // How Acquire failed.
  enum class Failure {
    kNone,
    // The lock file cannot be created: the folder is missing, not
    // writable, or the name is too long. The caller reports this as its
    // first result file's open failure, which it is as well.
    kCannotCreate,
    // Another run holds the lock, or the lock's name is not a regular file.
    kRefused,
  };

  ResultLock() = default;
  ResultLock(const ResultLock&) = delete;
  ResultLock& operator=(const ResultLock&) = delete;
  ~ResultLock();

  // Takes the lock for `base` (path + name). On kRefused, `status` carries
  // the message; on kCannotCreate its message is empty.
  Failure Acquire(const std::string& base, Status& status);
  // Removes the lock file and lets go of the lock. Does nothing when none
  // is held.
  void Release();

  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  int leftover_slot_ = -1;
  std::string path_;
};

#endif  // GEN_RESULTS_RESULTLOCK_H_
