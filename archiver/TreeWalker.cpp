#include "archiver/TreeWalker.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace archiver {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int kLinkedFileFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

// Whether a folder, by its archive name with '/', is the DWARF folder of
// the top bundle ("App.dSYM/Contents/Resources/DWARF/").
bool isDWARFFolder(const std::string& entryPrefix) {
  static const std::string kDWARFFolder = "/Contents/Resources/DWARF/";
  return entryPrefix.ends_with(kDWARFFolder) &&
         entryPrefix.find('/') == entryPrefix.size() - kDWARFFolder.size();
}

bool failed(const std::string& path, const char* what, std::string* error) {
  *error = path + ": " + what + ": " + std::strerror(errno);
  return false;
}

// One folder being walked: its sorted listing, how far the walk has got,
// and its identity, checked when the walk comes back up to it.
struct Level {
  std::vector<std::string> names;
  size_t next = 0;
  size_t entryLength = 0;  // of the folder's archive name, with '/'
  size_t diskLength = 0;   // of its path on disk, with '/'
  dev_t device = 0;
  ino_t inode = 0;
};

// The names in the folder open as FD (not consumed), sorted bytewise.
bool listFolder(int fd, const std::string& path, std::vector<std::string>* names,
                std::string* error) {
  int copy = dup(fd);
  if (copy < 0) return failed(path, "cannot read the folder", error);
  DIR* folder = fdopendir(copy);
  if (!folder) {
    close(copy);
    return failed(path, "cannot read the folder", error);
  }
  errno = 0;
  while (const dirent* item = readdir(folder)) {
    if (std::strcmp(item->d_name, ".") != 0 && std::strcmp(item->d_name, "..") != 0)
      names->emplace_back(item->d_name);
    errno = 0;
  }
  int readError = errno;
  closedir(folder);
  if (readError != 0) {
    errno = readError;
    return failed(path, "cannot read the folder", error);
  }
  std::sort(names->begin(), names->end());
  return true;
}

bool readLink(int folder, const std::string& name, const struct stat& info, const std::string& path,
              std::string* target, std::string* error) {
  std::vector<char> text(static_cast<size_t>(info.st_size) + 2);
  for (;;) {
    ssize_t n = readlinkat(folder, name.c_str(), text.data(), text.size());
    if (n < 0) return failed(path, "cannot read the link", error);
    if (static_cast<size_t>(n) < text.size()) {
      target->assign(text.data(), static_cast<size_t>(n));
      return true;
    }
    text.resize(text.size() * 2);
  }
}

// The last path component of SOURCE, or of its real path when SOURCE ends
// in "." or "..".
std::string topName(const std::string& source) {
  std::string trimmed = source;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.rfind('/');
  std::string last = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  if (last == "." || last == ".." || last.empty() || last == "/") {
    char* real = realpath(source.c_str(), nullptr);
    if (real) {
      std::string resolved = real;
      std::free(real);
      last = resolved == "/" ? "" : resolved.substr(resolved.rfind('/') + 1);
    }
  }
  return last;
}

class Walk {
 public:
  Walk(TreeVisitor& visitor, std::string* error) : visitor_(visitor), error_(error) {}
  ~Walk() {
    if (folder_ >= 0) close(folder_);
  }

  bool run(const std::string& source) {
    std::string name = topName(source);
    if (name.empty()) {
      *error_ = source + ": cannot name the archive's top entry";
      return false;
    }
    int fd = open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failed(source, "cannot open", error_);
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      close(fd);
      return failed(source, "cannot read", error_);
    }
    if (S_ISREG(info.st_mode)) {
      bool ok = visitor_.file(name, fd, info, source, error_);
      close(fd);
      return ok;
    }
    if (!S_ISDIR(info.st_mode)) {
      close(fd);
      *error_ = source + ": not a folder or a regular file";
      return false;
    }
    folder_ = fd;
    std::string diskPrefix = source.back() == '/' ? source : source + "/";
    return enter(name + "/", diskPrefix, info) && walk();
  }

 private:
  // Reports the folder open as folder_ and starts walking its listing.
  bool enter(const std::string& entryName, const std::string& diskPrefix, const struct stat& info) {
    if (!visitor_.directory(entryName, info, error_)) return false;
    entryPrefix_ = entryName;
    diskPrefix_ = diskPrefix;
    Level level;
    level.entryLength = entryName.size();
    level.diskLength = diskPrefix.size();
    level.device = info.st_dev;
    level.inode = info.st_ino;
    if (!listFolder(folder_, diskPrefix, &level.names, error_)) return false;
    levels_.push_back(std::move(level));
    return true;
  }

  bool walk() {
    while (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.next == level.names.size()) {
        levels_.pop_back();
        if (!levels_.empty() && !backUp()) return false;
        continue;
      }
      const std::string name = level.names[level.next++];
      entryPrefix_.resize(level.entryLength);
      diskPrefix_.resize(level.diskLength);
      if (!visit(name, entryPrefix_ + name, diskPrefix_ + name)) return false;
    }
    return true;
  }

  bool visit(const std::string& name, const std::string& entryName, const std::string& path) {
    struct stat info {};
    if (fstatat(folder_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
      return failed(path, "cannot read", error_);
    // A DWARF file that is a link (a dSYM assembled from a build cache) goes
    // in as the file it points to: the debug information is what is wanted,
    // and a link would hold only a path on this machine.
    if (S_ISLNK(info.st_mode) && isDWARFFolder(entryPrefix_))
      return visitFile(name, entryName, path, kLinkedFileFlags);
    if (S_ISLNK(info.st_mode)) {
      std::string target;
      return readLink(folder_, name, info, path, &target, error_) &&
             visitor_.link(entryName, target, info, error_);
    }
    if (S_ISREG(info.st_mode)) return visitFile(name, entryName, path, kFileFlags);
    if (S_ISDIR(info.st_mode)) return descend(name, entryName, path);
    return true;  // FIFOs, sockets and devices are left out
  }

  // Opened with FLAGS, the item goes in when it is a regular file; one that
  // became something else since it was looked at is left out, but a link
  // followed must lead to a regular file.
  bool visitFile(const std::string& name, const std::string& entryName, const std::string& path,
                 int flags) {
    int fd = openat(folder_, name.c_str(), flags);
    if (fd < 0) return failed(path, "cannot open", error_);
    struct stat info {};
    bool ok = true;
    if (fstat(fd, &info) != 0) {
      ok = failed(path, "cannot read", error_);
    } else if (S_ISREG(info.st_mode)) {
      ok = visitor_.file(entryName, fd, info, path, error_);
    } else if (flags == kLinkedFileFlags) {
      *error_ = path + ": a DWARF file that is a link to no regular file";
      ok = false;
    }
    close(fd);
    return ok;
  }

  bool descend(const std::string& name, const std::string& entryName, const std::string& path) {
    int fd = openat(folder_, name.c_str(), kFolderFlags);
    if (fd < 0) return failed(path, "cannot open the folder", error_);
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      close(fd);
      return failed(path, "cannot read the folder", error_);
    }
    close(folder_);
    folder_ = fd;
    return enter(entryName + "/", path + "/", info);
  }

  // Reopens the parent of the folder just finished, making sure it is still
  // the folder the walk came down from.
  bool backUp() {
    const Level& parent = levels_.back();
    entryPrefix_.resize(parent.entryLength);
    diskPrefix_.resize(parent.diskLength);
    int fd = openat(folder_, "..", kFolderFlags);
    if (fd < 0) return failed(diskPrefix_, "cannot open the folder", error_);
    close(folder_);
    folder_ = fd;
    struct stat info {};
    if (fstat(fd, &info) != 0) return failed(diskPrefix_, "cannot read the folder", error_);
    if (info.st_dev != parent.device || info.st_ino != parent.inode) {
      *error_ = diskPrefix_ + ": the folder moved while it was being archived";
      return false;
    }
    return true;
  }

  TreeVisitor& visitor_;
  std::string* error_;
  int folder_ = -1;
  std::vector<Level> levels_;
  // Archive name and disk path of the folder being walked, with '/'.
  std::string entryPrefix_;
  std::string diskPrefix_;
};

}  // namespace

bool walkTree(const std::string& source, TreeVisitor& visitor, std::string* error) {
  return Walk(visitor, error).run(source);
}

}  // namespace archiver
