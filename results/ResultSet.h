#ifndef GEN_RESULTS_RESULTSET_H_
#define GEN_RESULTS_RESULTSET_H_

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/Status.h"
#include "results/ResultFileBuf.h"
#include "results/ResultLock.h"
#include "results/ResultTarget.h"

// One result file of a set, as the run describes it.
struct ResultFileLayout {
  std::string suffix;  // appended to path + name: ".arm"
  // The whole text printed when the file cannot be opened for writing.
  std::string open_failure;
  // The text that, followed by the file's name, ": ", the system's reason
  // and a newline, reports a failed write.
  std::string write_failure;
  // Published after every other file of the set: the mark that the set is
  // complete.
  bool publish_last = false;
  // Not written by this run: a file an earlier run left under the name is
  // removed when the set is published (before the publish_last files), so
  // that the published set holds no file of another run. Such a file has
  // no stream; it is listed after every written file.
  bool withdrawn = false;
};

// The result files of one run, published together. Every file is written
// under a temporary name in the folder it is published in (created anew,
// never through a link), and renamed into place only when the whole set is
// complete and on disk. Until then the files of an earlier run stay as they
// were; a set that is abandoned (or destroyed before it is committed)
// removes its temporaries. The set holds the lock on its path and name
// from Begin to the end.
//
// What stands at a result's name is respected: a link is followed and the
// file it names replaced, so the link survives (unless it is a shared
// folder's link that the kernel's protected-symlinks rule refuses); a
// FIFO, device or socket is refused and never opened; an existing file
// that could not be opened for writing is refused with the file's
// open-failure text and left untouched.
class ResultSet {
 public:
  ResultSet();
  ResultSet(const ResultSet&) = delete;
  ResultSet& operator=(const ResultSet&) = delete;
  ~ResultSet();

  // Takes the lock on `base` (path + name), removes temporaries that killed
  // runs left, then checks and opens each file in the given order. The
  // first problem is returned (a folder the lock cannot be made in counts
  // as the first file's open failure); the set is then empty and nothing
  // under a final name has been touched. Called once.
  Status Begin(const std::string& base,
               const std::vector<ResultFileLayout>& files);

  // The written files; `index` below counts them in Begin's order.
  std::size_t size() const { return files_.size(); }
  // The stream of file `index`, valid until Commit or Abort.
  std::ostream& Stream(std::size_t index);
  // The name the file is published under: path + name + suffix.
  const std::string& Name(std::size_t index) const;

  // The first write that failed so far, in the file's write-failure text;
  // ok while every write has succeeded. Cheap enough to ask once per state.
  Status WriteStatus() const;

  // Writes out, syncs and closes every file, renames them into place (the
  // publish_last ones at the end, after the withdrawn files are removed)
  // and releases the lock. On any failure the
  // files not yet renamed are removed and the failure returned.
  Status Commit();
  // Removes the temporaries and releases the lock. Safe to call at any
  // time, and more than once.
  void Abort();

 private:
  struct File;

  Status OpenFile(const std::string& base, const ResultFileLayout& layout);
  Status WriteFailure(const File& file, int error) const;
  void RemoveStaleTemporaries(const ResultTarget& target) const;
  Status RemoveWithdrawn();

  ResultLock lock_;
  std::vector<std::unique_ptr<File>> files_;
  // The withdrawn files' names and the regular files they lead to.
  std::vector<std::pair<std::string, std::string>> withdrawn_;
  std::uint64_t failure_clock_ = 0;
};

#endif  // GEN_RESULTS_RESULTSET_H_
