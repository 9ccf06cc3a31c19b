#pragma once

#include <sys/stat.h>

#include <string>

namespace archiver {

// Receives the items of a tree in archive order. Each returns false, with
// *error, to stop the walk.
class TreeVisitor {
 public:
  virtual ~TreeVisitor() = default;
  // NAME ends with '/'.
  virtual bool directory(const std::string& name, const struct stat& info, std::string* error) = 0;
  virtual bool link(const std::string& name, const std::string& target, const struct stat& info,
                    std::string* error) = 0;
  // FD is open for reading until the call returns; PATH is the file's path
  // on disk, for messages.
  virtual bool file(const std::string& name, int fd, const struct stat& info,
                    const std::string& path, std::string* error) = 0;
};

// Walks the tree at SOURCE (followed when it is a symbolic link), its top
// item named by SOURCE's last path component, in depth-first order with
// each folder's listing sorted by name. Symbolic links inside are reported
// as links, never followed, except in the top bundle's
// Contents/Resources/DWARF folder, where a link is reported as the regular
// file it points to (and one to anything else fails the walk); FIFOs,
// sockets and devices are skipped without being opened. Uses one open folder at a time and no
// recursion, so any depth works. False, with *error naming the path, when an item cannot be read or
// the visitor stops.
bool walkTree(const std::string& source, TreeVisitor& visitor, std::string* error);

}  // namespace archiver
