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
  // STREAMED: the output cannot be patched (a pipe), so each file's CRC-32
  // and sizes follow its data in a data descriptor.
  explicit ZipWriter(OutputFile& out, bool streamed = false) : out_(out), streamed_(streamed) {}

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
  // The CRC-32 and sizes once the data is written: after it in a data
  // descriptor, or patched into the local header.
  bool recordSizes(const EntryRecord& entry, std::string* error);

  OutputFile& out_;
  const bool streamed_;
  DeflatePool pool_;
  std::vector<EntryRecord> entries_;
};

}  // namespace archiver
