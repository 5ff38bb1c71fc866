#include "results/ResultSet.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Contract.h"
#include "results/Leftovers.h"

namespace {

// A temporary's name is ".<leaf>.<pid>.<n>.tmp" beside the file it
// becomes; the leaf is cut so that the name stays within NAME_MAX.
constexpr std::size_t kMaxLeafInTemporary = 200;
constexpr int kTemporaryAttempts = 100;

std::string TemporaryStem(const std::string& leaf) {
  return "." + leaf.substr(0, kMaxLeafInTemporary) + ".";
}

// Whether `entry` is a temporary of `stem`: the stem, then "<digits>.
// <digits>.tmp".
bool IsTemporaryOf(const std::string& entry, const std::string& stem) {
  if (entry.compare(0, stem.size(), stem) != 0) return false;
  const std::string rest = entry.substr(stem.size());
  const std::string tail = ".tmp";
  if (rest.size() <= tail.size() ||
      rest.compare(rest.size() - tail.size(), tail.size(), tail) != 0) {
    return false;
  }
  const std::string numbers = rest.substr(0, rest.size() - tail.size());
  const std::size_t dot = numbers.find('.');
  if (dot == 0 || dot == std::string::npos || dot + 1 == numbers.size()) {
    return false;
  }
  return std::all_of(
             numbers.begin(), numbers.end(),
             [](char c) { return c == '.' || (c >= '0' && c <= '9'); }) &&
         numbers.find('.', dot + 1) == std::string::npos;
}

// The path of `leaf` in the folder of `path`, written the way `path` is.
std::string Beside(const std::string& path, const std::string& leaf) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? leaf : path.substr(0, slash + 1) + leaf;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // some file systems cannot sync a folder; the rename stands
  close(fd);
}

}  // namespace

struct ResultSet::File {
  ResultFileLayout layout;
  std::string name;  // base + suffix, as the user wrote it
  ResultTarget target;
  std::string temporary;
  int fd = -1;
  int leftover_slot = -1;
  bool published = false;
  std::unique_ptr<ResultFileBuf> buffer;
  std::unique_ptr<std::ostream> stream;
};

ResultSet::ResultSet() = default;

ResultSet::~ResultSet() { Abort(); }

Status ResultSet::Begin(const std::string& base,
                        const std::vector<ResultFileLayout>& files) {
  GEN_CHECK(!lock_.held() && files_.empty() && !files.empty());
  Status status;
  switch (lock_.Acquire(base, status)) {
    case ResultLock::Failure::kNone:
      break;
    case ResultLock::Failure::kCannotCreate:
      return Status::Error(files.front().open_failure);
    case ResultLock::Failure::kRefused:
      return status;
  }
  for (const ResultFileLayout& layout : files) {
    if (layout.withdrawn) {
      const ResultTarget target = FindResultTarget(base + layout.suffix);
      // Only a regular file is removed: whatever else stands there was not
      // left by a run.
      if (target.problem == ResultTarget::Problem::kNone && target.exists) {
        withdrawn_.emplace_back(base + layout.suffix, target.path);
      }
      continue;
    }
    GEN_CHECK(withdrawn_.empty());  // withdrawn files come last
    status = OpenFile(base, layout);
    if (!status.ok) {
      Abort();
      return status;
    }
  }
  return Status::Ok();
}

void ResultSet::RemoveStaleTemporaries(const ResultTarget& target) const {
  DIR* folder = opendir(target.folder.c_str());
  if (folder == nullptr) return;
  const std::string stem = TemporaryStem(target.leaf);
  while (const dirent* entry = readdir(folder)) {
    const std::string leaf = entry->d_name;
    if (!IsTemporaryOf(leaf, stem)) continue;
    const std::string path = Beside(target.path, leaf);
    // This run's own temporaries (two names may lead to one folder) stay.
    const bool ours = std::any_of(files_.begin(), files_.end(),
                                  [&](const std::unique_ptr<File>& file) {
                                    return file->temporary == path;
                                  });
    // A killed run of the same name left it; the lock says that run is
    // over. Files that are not ours to remove (a shared folder) stay.
    if (!ours) unlink(path.c_str());
  }
  closedir(folder);
}

Status ResultSet::OpenFile(const std::string& base,
                           const ResultFileLayout& layout) {
  auto file = std::make_unique<File>();
  file->layout = layout;
  file->name = base + layout.suffix;
  file->target = FindResultTarget(file->name);
  switch (file->target.problem) {
    case ResultTarget::Problem::kNone:
      break;
    case ResultTarget::Problem::kCannotOpen:
      return Status::Error(layout.open_failure);
    case ResultTarget::Problem::kNotRegular:
    case ResultTarget::Problem::kProtectedLink:
      return Status::Error(file->target.message);
  }
  RemoveStaleTemporaries(file->target);

  const std::string stem =
      TemporaryStem(file->target.leaf) + std::to_string(getpid()) + ".";
  for (int attempt = 0; attempt < kTemporaryAttempts && file->fd < 0;
       ++attempt) {
    file->temporary =
        Beside(file->target.path, stem + std::to_string(attempt) + ".tmp");
    // Created anew and never through a link: whatever someone else put
    // under this name is not written to.
    file->fd = open(
        file->temporary.c_str(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (file->fd < 0 && errno != EEXIST) break;
  }
  if (file->fd < 0) return Status::Error(layout.open_failure);
  file->leftover_slot = RememberLeftover(file->temporary);

  if (file->target.exists) {
    // The published file keeps the permissions of the one it replaces, as
    // it would have when written in place.
    fchmod(file->fd, file->target.mode & 0777);
    // Run by root over another user's file, the file stays theirs; for
    // anyone else this fails harmlessly and the file is the user's.
    if (geteuid() == 0 &&
        fchown(file->fd, file->target.owner, file->target.group) != 0) {
      fchmod(file->fd, file->target.mode & 0777);
    }
  }
  file->buffer = std::make_unique<ResultFileBuf>(file->fd, &failure_clock_);
  file->stream = std::make_unique<std::ostream>(file->buffer.get());
  files_.push_back(std::move(file));
  return Status::Ok();
}

std::ostream& ResultSet::Stream(std::size_t index) {
  GEN_CHECK(index < files_.size());
  return *files_[index]->stream;
}

const std::string& ResultSet::Name(std::size_t index) const {
  GEN_CHECK(index < files_.size());
  return files_[index]->name;
}

Status ResultSet::WriteFailure(const File& file, int error) const {
  const std::string reason =
      error != 0 ? std::strerror(error) : "the stream refused the data";
  return Status::Error(file.layout.write_failure + file.name + ": " + reason +
                       "\n");
}

Status ResultSet::WriteStatus() const {
  const File* first = nullptr;
  for (const auto& file : files_) {
    if (!file->buffer->failed()) continue;
    if (first == nullptr ||
        file->buffer->failure_rank() < first->buffer->failure_rank()) {
      first = file.get();
    }
  }
  if (first != nullptr) return WriteFailure(*first, first->buffer->error());
  // A stream can fail on its own (a refused seek) with no write failing.
  for (const auto& file : files_) {
    if (file->stream->fail()) return WriteFailure(*file, 0);
  }
  return Status::Ok();
}

Status ResultSet::Commit() {
  Status status = WriteStatus();
  for (const auto& file : files_) {
    if (!status.ok) break;
    if (!file->buffer->WriteOut()) {
      status = WriteFailure(*file, file->buffer->error());
    } else if (fsync(file->fd) != 0) {
      // A delayed write failure (a full disk over NFS, an I/O error)
      // comes out here.
      status = WriteFailure(*file, errno);
    } else {
      const int closed = close(file->fd);
      file->fd = -1;
      if (closed != 0) status = WriteFailure(*file, errno);
    }
  }
  if (!status.ok) {
    Abort();
    return status;
  }

  std::vector<File*> order;
  for (const auto& file : files_) {
    if (!file->layout.publish_last) order.push_back(file.get());
  }
  for (const auto& file : files_) {
    if (file->layout.publish_last) order.push_back(file.get());
  }
  const std::size_t first_last = static_cast<std::size_t>(std::count_if(
      files_.begin(), files_.end(), [](const std::unique_ptr<File>& file) {
        return !file->layout.publish_last;
      }));
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i == first_last) {
      status = RemoveWithdrawn();
      if (!status.ok) {
        Abort();
        return status;
      }
    }
    File* file = order[i];
    if (rename(file->temporary.c_str(), file->target.path.c_str()) != 0) {
      status = Status::Error("Error: could not put " + file->name +
                             " in place: " + std::strerror(errno) + "\n");
      Abort();
      return status;
    }
    file->published = true;
    ForgetLeftover(file->leftover_slot);
    file->leftover_slot = -1;
  }
  if (first_last == order.size()) {
    status = RemoveWithdrawn();
    if (!status.ok) {
      Abort();
      return status;
    }
  }
  std::vector<std::string> folders;
  for (File* file : order) {
    if (std::find(folders.begin(), folders.end(), file->target.folder) ==
        folders.end()) {
      folders.push_back(file->target.folder);
      SyncFolder(file->target.folder);
    }
  }
  files_.clear();
  lock_.Release();
  return Status::Ok();
}

Status ResultSet::RemoveWithdrawn() {
  for (const auto& [name, path] : withdrawn_) {
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      return Status::Error("Error: could not remove " + name +
                           ", left by an earlier run: " + std::strerror(errno) +
                           "\n");
    }
  }
  withdrawn_.clear();
  return Status::Ok();
}

void ResultSet::Abort() {
  withdrawn_.clear();
  for (const auto& file : files_) {
    if (file->fd >= 0) close(file->fd);
    file->fd = -1;
    if (!file->published) unlink(file->temporary.c_str());
    if (file->leftover_slot >= 0) ForgetLeftover(file->leftover_slot);
    file->leftover_slot = -1;
  }
  files_.clear();
  lock_.Release();
}
