#include "dsymcheck/DWARFFiles.h"

#include <algorithm>
#include <filesystem>

#include "console/Console.h"
#include "macho/QVXdSYM.h"
#include "platform/Format.h"
#include "platform/files/DirectoryListing.h"
#include "platform/files/FileReadability.h"
#include "platform/files/FileURL.h"
#include "platform/files/Path.h"

namespace {

std::string dwarfFolderOf(const std::string& dsymPath) {
  return platform::appendPathComponent(dsymPath, "Contents/Resources/DWARF");
}

// Why the entry at the path, which did not open as a Mach-O file, cannot be
// sent: the cases a user can act on first.
std::string whyNotMachO(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error) return "cannot be read (" + error.message() + ")";
  if (fs::is_directory(status)) return "is a folder";
  if (!fs::is_regular_file(status)) return "is not a regular file";
  if (fs::file_size(path, error) == 0 && !error) return "is empty";
  if (!platform::isReadableFile(path)) return "cannot be read (permission denied)";
  return "cannot be read as a Mach-O file";
}

DWARFFileLook lookAt(const QVXMachOBinary& binary) {
  return DWARFFileLook{binary.path(), binary.uuidArchitecturePairs(), binary.isComplete(),
                       binary.identity()};
}

bool isUnchanged(const DWARFFileLook& before) {
  auto binary = QVXMachOBinary::MachOBinaryWithPath(before.path);
  if (!binary) return false;
  const DWARFFileLook now = lookAt(*binary);
  return now.complete && now.identity == before.identity && now.pairs == before.pairs;
}

}  // namespace

std::string uuidSliceLine(const std::string& uuid, const std::string& architecture) {
  return platform::format("UUID:%@ Slice:%@\n", uuid, architecture);
}

std::vector<DWARFFileLook> lookAtDWARFFiles(const std::string& dsymPath) {
  std::vector<DWARFFileLook> files;
  auto dSYM = QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(dsymPath));
  if (dSYM)
    dSYM->enumerateDWARFFiles([&](const QVXMachOBinary& file) { files.push_back(lookAt(file)); });
  return files;
}

std::vector<std::string> dwarfFolderEntries(const std::string& dsymPath) {
  std::vector<std::string> entries;
  auto names = platform::contentsOfDirectoryAtPath(dwarfFolderOf(dsymPath));
  if (!names) return entries;
  for (auto& name : *names)
    if (!name.starts_with(".")) entries.push_back(std::move(name));
  std::sort(entries.begin(), entries.end());
  return entries;
}

DWARFFolderLook lookAtDWARFFolder(const std::string& dsymPath) {
  DWARFFolderLook look;
  look.entries = dwarfFolderEntries(dsymPath);
  for (const auto& name : look.entries) {
    const std::string path = platform::appendPathComponent(dwarfFolderOf(dsymPath), name);
    auto binary = QVXMachOBinary::MachOBinaryWithPath(path);
    if (binary && binary->isMachO())
      look.files.push_back(lookAt(*binary));
    else
      look.unreadable.emplace_back(path, binary ? "is not a Mach-O file" : whyNotMachO(path));
  }
  return look;
}

bool holdsDWARFEntries(const std::string& dsymPath) {
  return !dwarfFolderEntries(dsymPath).empty();
}

bool acceptsDSYMBundle(const std::string& dsymPath) {
  if (!lookAtDWARFFiles(dsymPath).empty()) return true;
  if (debugMode)
    QVXLog("Skipping %@: not a dSYM bundle (no Mach-O file in its DWARF folder)", dsymPath);
  return false;
}

DSYMMatch matchOfEveryFile(const std::vector<DWARFFileLook>& files,
                           std::vector<std::string> entries) {
  DSYMMatch match{{}, files, std::move(entries)};
  for (const auto& file : files)
    match.pairs.insert(match.pairs.end(), file.pairs.begin(), file.pairs.end());
  return match;
}

bool dSYMIsUnchanged(const std::string& dsymPath, const DSYMMatch& match) {
  return std::all_of(match.files.begin(), match.files.end(), isUnchanged) &&
         dwarfFolderEntries(dsymPath) == match.entries;
}
