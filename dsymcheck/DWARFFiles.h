#pragma once

// The DWARF files of a dSYM bundle as one look finds them, and what an
// upload must still find after zipping the bundle.

#include <string>
#include <utility>
#include <vector>

#include "macho/UUIDArchitecturePair.h"
#include "platform/files/FileMapping.h"

// A pair as reports and listings show it: "UUID:%@ Slice:%@\n".
std::string uuidSliceLine(const std::string& uuid, const std::string& architecture);

// One Mach-O file of a dSYM bundle's DWARF folder as one look found it.
struct DWARFFileLook {
  std::string path;
  std::vector<UUIDArchitecturePair> pairs;
  bool complete = false;
  platform::FileIdentity identity;
};

// What a dSYM's upload carries, and what the bundle must still hold when it
// has been zipped: the pairs to send, the DWARF files the check matched as
// its last look found them, and the names its DWARF folder held then (a
// file added since would be zipped unchecked).
struct DSYMMatch {
  std::vector<UUIDArchitecturePair> pairs;
  std::vector<DWARFFileLook> files;
  std::vector<std::string> entries;
};

// Everything one look finds in a bundle's DWARF folder: the Mach-O files,
// the entries that cannot be read as a Mach-O file (each with why), and the
// names of every entry that is not hidden, sorted.
struct DWARFFolderLook {
  std::vector<DWARFFileLook> files;
  std::vector<std::pair<std::string, std::string>> unreadable;  // path, why
  std::vector<std::string> entries;
};

// The Mach-O files of the bundle's Contents/Resources/DWARF folder, the
// bundle's first entry first and the others in name order. Files that are
// not Mach-O (a .DS_Store) are left out; none when the path is no dSYM
// bundle.
std::vector<DWARFFileLook> lookAtDWARFFiles(const std::string& dsymPath);

// The bundle's DWARF folder entry by entry: every entry whose name does not
// start with "." is a DWARF file, and is either a Mach-O file or named with
// why it cannot be read as one (unreadable, empty, a folder, another kind
// of file). A link counts as the file it points to.
DWARFFolderLook lookAtDWARFFolder(const std::string& dsymPath);

// The sorted names of the DWARF folder's entries that are not hidden; none
// when the folder cannot be read.
std::vector<std::string> dwarfFolderEntries(const std::string& dsymPath);

// Whether the path is a dSYM bundle, its DWARF folder holding a Mach-O
// file; when it is not, a debug line says that it is skipped.
bool acceptsDSYMBundle(const std::string& dsymPath);

// Whether the path looks like a dSYM bundle: its DWARF folder holds an
// entry that is not hidden, whether or not it can be read.
bool holdsDWARFEntries(const std::string& dsymPath);

// A match that sends the pairs of every file of the look, and must find
// each of them unchanged and the folder holding the same entries.
DSYMMatch matchOfEveryFile(const std::vector<DWARFFileLook>& files,
                           std::vector<std::string> entries);

// Whether each file of the match is still as the check found it (the same
// file, size and modification time, complete, with the same pairs) and the
// bundle's DWARF folder holds the same entries.
bool dSYMIsUnchanged(const std::string& dsymPath, const DSYMMatch& match);
