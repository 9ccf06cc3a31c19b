#pragma once

// The DWARF files of a dSYM bundle as one look finds them, and what an
// upload must still find after zipping the bundle.

#include <string>
#include <utility>
#include <vector>

#include "platform/FileMapping.h"

// A UUID string and an architecture name.
using UUIDPair = std::pair<std::string, std::string>;

// A pair as reports and listings show it: "UUID:%@ Slice:%@\n".
std::string uuidSliceLine(const std::string& uuid, const std::string& architecture);

// One Mach-O file of a dSYM bundle's DWARF folder as one look found it.
struct DWARFFileLook {
  std::string path;
  std::vector<UUIDPair> pairs;
  bool complete = false;
  platform::FileIdentity identity;
};

// What a dSYM's upload carries, and what the bundle must still hold when it
// has been zipped: the pairs to send, and the DWARF files the check matched
// as its last look found them (none when nothing was compared).
struct DSYMMatch {
  std::vector<UUIDPair> pairs;
  std::vector<DWARFFileLook> files;
};

// The Mach-O files of the bundle's Contents/Resources/DWARF folder, the
// bundle's first entry first and the others in name order. Files that are
// not Mach-O (a .DS_Store) are left out; none when the path is no dSYM
// bundle.
std::vector<DWARFFileLook> lookAtDWARFFiles(const std::string& dsymPath);

// Whether the path is a dSYM bundle, its DWARF folder holding a Mach-O
// file; when it is not, a debug line says that it is skipped.
bool acceptsDSYMBundle(const std::string& dsymPath);

// A match that sends the pairs of every file of the look, and must find
// each of them unchanged.
DSYMMatch matchOfEveryFile(const std::vector<DWARFFileLook>& files);

// Whether each file of the match is still as the check found it: the same
// file, size and modification time, complete, with the same pairs.
bool dSYMIsUnchanged(const DSYMMatch& match);
