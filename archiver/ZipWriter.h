#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "archiver/DeflatePool.h"
#include "archiver/OutputFile.h"
#include "archiver/ZipRecords.h"

namespace archiver {

// Writes the entries of a zip archive one after another, then its central
// directory. Each operation returns false, with *error, on failure.
class ZipWriter {
 public:
  explicit ZipWriter(OutputFile& out) : out_(out) {}

  // A folder entry; NAME ends with '/'.
  bool addDirectory(const std::string& name, const struct stat& info, std::string* error);
  // A symbolic link stored as a link: its text is the entry's content.
  bool addLink(const std::string& name, const std::string& target, const struct stat& info,
               std::string* error);
  // A regular file, read from FD; PATH names it in messages.
  bool addFile(const std::string& name, int fd, const struct stat& info, const std::string& path,
               std::string* error);
  // Writes the central directory and the end records.
  bool finish(std::string* error);

 private:
  EntryRecord recordFor(const std::string& name, const struct stat& info) const;
  bool addStored(EntryRecord entry, const std::string& content, std::string* error);

  OutputFile& out_;
  DeflatePool pool_;
  std::vector<EntryRecord> entries_;
};

}  // namespace archiver
