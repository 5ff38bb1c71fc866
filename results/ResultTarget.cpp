#include "results/ResultTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

// The kernel's own limit on links followed in one lookup.
constexpr int kMaxLinks = 40;

const char* KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

// The target of the link at `path`; empty when it cannot be read.
std::string ReadLink(const std::string& path) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t length = readlink(path.c_str(), text.data(), text.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < text.size()) {
      return std::string(text.data(), static_cast<std::size_t>(length));
    }
    text.resize(text.size() * 2);
  }
}

// Whether following the link `link` (whose status is `link_status`) is
// refused: it lies in a sticky world-writable folder and is owned neither
// by the user nor by the folder's owner.
bool ProtectedLink(const std::string& link, const struct stat& link_status) {
  struct stat folder {};
  if (stat(FolderOf(link).c_str(), &folder) != 0) return false;
  const bool shared =
      (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return shared && link_status.st_uid != geteuid() &&
         link_status.st_uid != folder.st_uid;
}

ResultTarget WithProblem(ResultTarget target, ResultTarget::Problem problem,
                         std::string message) {
  target.problem = problem;
  target.message = std::move(message);
  return target;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string LeafOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

ResultTarget FindResultTarget(const std::string& name) {
  ResultTarget target;
  target.path = name;
  for (int links = 0;; ++links) {
    target.folder = FolderOf(target.path);
    target.leaf = LeafOf(target.path);
    struct stat status {};
    if (lstat(target.path.c_str(), &status) != 0) {
      // Nothing there yet: the file is created, as opening would create it.
      // Any other failure (a folder in the way missing or not searchable, a
      // name too long) is one that opening meets as well.
      if (errno == ENOENT) return target;
      return WithProblem(target, ResultTarget::Problem::kCannotOpen, "");
    }
    if (S_ISLNK(status.st_mode)) {
      if (ProtectedLink(target.path, status)) {
        return WithProblem(
            target, ResultTarget::Problem::kProtectedLink,
            "Error: " + name + " is a symbolic link in the shared folder " +
                target.folder +
                ", owned by neither you nor the folder's owner; result files "
                "are not written through it\n");
      }
      const std::string next = ReadLink(target.path);
      if (next.empty() || links == kMaxLinks) {
        return WithProblem(target, ResultTarget::Problem::kCannotOpen, "");
      }
      target.path = next.front() == '/' ? next : target.folder + "/" + next;
      continue;
    }
    if (S_ISDIR(status.st_mode)) {
      return WithProblem(target, ResultTarget::Problem::kCannotOpen, "");
    }
    if (!S_ISREG(status.st_mode)) {
      const std::string where = target.path == name
                                    ? name
                                    : name + " (a link to " + target.path + ")";
      return WithProblem(target, ResultTarget::Problem::kNotRegular,
                         "Error: result file " + where + " is " +
                             KindOf(status.st_mode) +
                             ", not a regular file; it was left alone\n");
    }
    // The permission check that opening for writing would make: the mode
    // and owner, ACLs, a read-only file system, an immutable file.
    if (faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
      return WithProblem(target, ResultTarget::Problem::kCannotOpen, "");
    }
    target.exists = true;
    target.mode = status.st_mode;
    target.owner = status.st_uid;
    target.group = status.st_gid;
    return target;
  }
}
