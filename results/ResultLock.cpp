#include "results/ResultLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Contract.h"
#include "results/Leftovers.h"
#include "results/ResultTarget.h"

namespace {

// A run that finishes removes its lock file between our open and our flock;
// the lock then belongs to a removed file and is taken again. A few rounds
// are plenty: each needs a whole run to end in between.
constexpr int kAttempts = 16;

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

ResultLock::~ResultLock() { Release(); }

ResultLock::Failure ResultLock::Acquire(const std::string& base,
                                        Status& status) {
  GEN_CHECK(!held());
  status = Status::Ok();
  const std::string folder = FolderOf(base);
  path_ = (base.find('/') == std::string::npos ? "" : folder + "/") + "." +
          LeafOf(base) + ".lock";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Only a regular file (or nothing) is opened: a FIFO or a device
    // planted under the lock's name is never touched.
    struct stat before {};
    if (lstat(path_.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
      status = Status::Error("Error: the lock file " + path_ +
                             " of these results is not a regular "
                             "file; remove it and run again\n");
      return Failure::kRefused;
    }
    const int fd = open(
        path_.c_str(),
        O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY,
        0600);
    if (fd < 0) {
      if (errno == ELOOP) {
        status = Status::Error("Error: the lock file " + path_ +
                               " of these results is a symbolic "
                               "link; remove it and run again\n");
        return Failure::kRefused;
      }
      return Failure::kCannotCreate;
    }
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      close(fd);
      status = Status::Error("Error: the lock file " + path_ +
                             " of these results is not a regular "
                             "file; remove it and run again\n");
      return Failure::kRefused;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      status = Status::Error(
          "Error: another run is writing the results " + base +
          " (it holds the lock " + path_ +
          "); wait for it to end or choose another path or name\n");
      return Failure::kRefused;
    }
    struct stat now {};
    if (lstat(path_.c_str(), &now) == 0 && SameInode(now, opened)) {
      fd_ = fd;
      leftover_slot_ = RememberLeftover(path_);
      return Failure::kNone;
    }
    close(fd);
  }
  status = Status::Error("Error: the lock file " + path_ +
                         " keeps changing; is another run starting "
                         "and ending on the same results?\n");
  return Failure::kRefused;
}

void ResultLock::Release() {
  if (!held()) return;
  // Removed while still held, so that no other run can take the lock on a
  // file that is about to go.
  unlink(path_.c_str());
  ForgetLeftover(leftover_slot_);
  leftover_slot_ = -1;
  close(fd_);
  fd_ = -1;
}
