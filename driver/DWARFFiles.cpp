#include "driver/DWARFFiles.h"

#include <algorithm>

#include "driver/Console.h"
#include "macho/QVXdSYM.h"
#include "platform/FileURL.h"
#include "platform/Format.h"

namespace {

DWARFFileLook lookAt(const QVXMachOBinary& binary) {
  DWARFFileLook look{binary.path(), {}, binary.isComplete(), binary.identity()};
  binary.enumerateUUIDs([&](const std::optional<std::string>& uuid, const std::string& arch) {
    if (uuid) look.pairs.emplace_back(*uuid, arch);
  });
  return look;
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

bool acceptsDSYMBundle(const std::string& dsymPath) {
  if (!lookAtDWARFFiles(dsymPath).empty()) return true;
  if (debugMode)
    QVXLog("Skipping %@: not a dSYM bundle (no Mach-O file in its DWARF folder)", dsymPath);
  return false;
}

DSYMMatch matchOfEveryFile(const std::vector<DWARFFileLook>& files) {
  DSYMMatch match{{}, files};
  for (const auto& file : files)
    match.pairs.insert(match.pairs.end(), file.pairs.begin(), file.pairs.end());
  return match;
}

bool dSYMIsUnchanged(const DSYMMatch& match) {
  return std::all_of(match.files.begin(), match.files.end(), isUnchanged);
}
