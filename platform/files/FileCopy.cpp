#include "platform/files/FileCopy.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/PosixError.h"
#include "platform/files/FileWriting.h"
#include "platform/files/Path.h"

namespace platform {

namespace {

Error copyError(int code, const std::string& source, const std::string& destination) {
  return posixError(code,
                    "Could not copy \u201c" + source + "\u201d to \u201c" + destination + "\u201d");
}

// Closes a descriptor when the scope ends.
struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int value) : fd(value) {}
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
};

// Copies what is left of the input with read and write; false with errno set.
bool copyByReadAndWrite(int in, int out) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!platform::writeAll(out, buffer.data(), static_cast<size_t>(n))) return false;
  }
}

// Whether copy_file_range refused the pair of files as such (another file
// system, no kernel support), as opposed to an input or output error.
bool isUnsupportedPair(int code) {
  return code == EXDEV || code == ENOSYS || code == EINVAL || code == EOPNOTSUPP || code == EPERM ||
         code == ETXTBSY;
}

// Copies the data of one open file into another: a clone when the file
// system shares extents, else copy_file_range, else read and write.
bool copyData(int in, int out) {
  if (ioctl(out, FICLONE, in) == 0) return true;
  posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
  for (;;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (isUnsupportedPair(errno)) return copyByReadAndWrite(in, out);
    return false;
  }
}

std::optional<Error> copyItem(const std::string& source, const std::string& destination,
                              const CopyOptions& options, bool top);

// The mode a copy gets: the source's, or the owner-only one.
mode_t copyMode(const struct stat& st, const CopyOptions& options) {
  if (!options.ownerOnly) return st.st_mode & 07777;
  return S_ISDIR(st.st_mode) ? 0700 : 0600;
}

std::optional<Error> copyRegularFile(const std::string& source, const std::string& destination,
                                     const struct stat& st, const CopyOptions& options) {
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (in.fd < 0) return copyError(errno, source, destination);
  FileDescriptor out(open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (out.fd < 0) return copyError(errno, source, destination);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (!copyData(in.fd, out.fd) || fchmod(out.fd, copyMode(st, options)) != 0 ||
      futimens(out.fd, times) != 0)
    return copyError(errno, source, destination);
  return std::nullopt;
}

std::optional<Error> copySymbolicLink(const std::string& source, const std::string& destination,
                                      const struct stat& st) {
  std::vector<char> target(static_cast<size_t>(st.st_size) + 1);
  for (;;) {
    ssize_t n = readlink(source.c_str(), target.data(), target.size());
    if (n < 0) return copyError(errno, source, destination);
    if (static_cast<size_t>(n) < target.size()) {
      target[static_cast<size_t>(n)] = '\0';
      break;
    }
    target.resize(target.size() * 2);
  }
  if (symlink(target.data(), destination.c_str()) != 0)
    return copyError(errno, source, destination);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  utimensat(AT_FDCWD, destination.c_str(), times, AT_SYMLINK_NOFOLLOW);
  return std::nullopt;
}

std::optional<std::vector<std::string>> entryNames(const std::string& directory, int& code) {
  DIR* handle = opendir(directory.c_str());
  if (!handle) {
    code = errno;
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(handle);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.emplace_back(entry->d_name);
  }
  code = errno;
  closedir(handle);
  if (code != 0) return std::nullopt;
  return names;
}

// The new directory stays writable while it is filled; its own mode and
// times are set last, so a read-only source directory copies too.
std::optional<Error> copyDirectory(const std::string& source, const std::string& destination,
                                   const struct stat& st, const CopyOptions& options) {
  if (mkdir(destination.c_str(), 0700) != 0) return copyError(errno, source, destination);
  int code = 0;
  auto names = entryNames(source, code);
  if (!names) return copyError(code, source, destination);
  for (const auto& name : *names) {
    if (auto error = copyItem(appendPathComponent(source, name),
                              appendPathComponent(destination, name), options, false))
      return error;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (chmod(destination.c_str(), copyMode(st, options)) != 0 ||
      utimensat(AT_FDCWD, destination.c_str(), times, 0) != 0)
    return copyError(errno, source, destination);
  return std::nullopt;
}

std::optional<Error> copyItem(const std::string& source, const std::string& destination,
                              const CopyOptions& options, bool top) {
  struct stat st;
  int status =
      top && options.followTopLink ? stat(source.c_str(), &st) : lstat(source.c_str(), &st);
  if (status != 0) return copyError(errno, source, destination);
  if (S_ISREG(st.st_mode)) return copyRegularFile(source, destination, st, options);
  if (S_ISLNK(st.st_mode)) return copySymbolicLink(source, destination, st);
  if (S_ISDIR(st.st_mode)) return copyDirectory(source, destination, st, options);
  return copyError(ENOTSUP, source, destination);
}

}  // namespace

std::optional<Error> copyItemAtPath(const std::string& source, const std::string& destination,
                                    const CopyOptions& options) {
  struct stat existing;
  if (lstat(destination.c_str(), &existing) == 0) return copyError(EEXIST, source, destination);
  return copyItem(source, destination, options, true);
}

}  // namespace platform
