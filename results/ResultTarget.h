#ifndef GEN_RESULTS_RESULTTARGET_H_
#define GEN_RESULTS_RESULTTARGET_H_

#include <sys/types.h>

#include <string>

// Where a result file is published, found from what stands at its name now.
// A symbolic link is followed (through chains of links) to the file it
// names, so that publishing replaces that file and the link survives.
struct ResultTarget {
  // Why the name cannot take a result file; kNone when it can.
  enum class Problem {
    kNone,
    // Opening the name for writing would fail: its folder is missing or is
    // a file, a folder in the way is not searchable, the name is a folder,
    // too long, a loop of links, or an existing file the user may not
    // write. The caller prints its own open-failure text.
    kCannotOpen,
    // The name (or the file a link names) is a FIFO, a device or a socket.
    kNotRegular,
    // A link in a sticky world-writable folder, owned neither by the user
    // nor by the folder's owner: the kernel's protected-symlinks rule.
    kProtectedLink,
  };

  Problem problem = Problem::kNone;
  // When there is a problem: the whole line for standard error for
  // kNotRegular and kProtectedLink; empty for kCannotOpen.
  std::string message;

  // The file that publishing replaces or creates, its folder ("." for a
  // bare name, kept as written otherwise) and its last component.
  std::string path;
  std::string folder;
  std::string leaf;
  // Whether a regular file stands at `path`, and its mode and owner.
  bool exists = false;
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
};

// Looks at what stands at `name` without opening anything but links.
ResultTarget FindResultTarget(const std::string& name);

// The folder of `path` and its last component, split at the last '/':
// "out/exp1.arm" gives "out" and "exp1.arm", "exp1.arm" gives "." and
// "exp1.arm", "/x" gives "/" and "x".
std::string FolderOf(const std::string& path);
std::string LeafOf(const std::string& path);

#endif  // GEN_RESULTS_RESULTTARGET_H_
