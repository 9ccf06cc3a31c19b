#include "uploader/Plan.h"

#include <set>

#include "driver/Console.h"
#include "driver/DSYMMatch.h"
#include "driver/DWARFFiles.h"
#include "macho/QVXdSYM.h"
#include "platform/FileURL.h"
#include "platform/Format.h"
#include "platform/Path.h"

namespace {

const char* const kStaleReason =
    "%@ at path %@ does not describe the executable %@ of the archive, so it is not sent.\nThe "
    "executable holds:\n%@The dSYM holds:\n%@";

// Why the bundle's DWARF files cannot be sent, if they cannot.
std::optional<std::string> dwarfFault(const std::vector<DWARFFileLook>& files) {
  if (files.empty()) return "the dSYM bundle holds no DWARF file";
  for (const auto& file : files) {
    if (file.pairs.empty()) return "its DWARF file " + file.path + " has no UUID";
    if (!file.complete)
      return "its DWARF file " + file.path +
             " is incomplete (shorter than its load commands state)";
  }
  return std::nullopt;
}

// The platform of the DWARF file's slices; a DWARF file without version
// command (older dsymutil writes none) takes its product's.
std::optional<std::uint32_t> platformOf(const QVXMachOBinary& dwarf,
                                        const QVXMachOBinary* product) {
  for (const QVXMachOBinary* binary : {&dwarf, product}) {
    if (!binary) continue;
    for (const auto& slice : binary->slices())
      if (slice->buildPlatform()) return slice->buildPlatform();
  }
  return std::nullopt;
}

class Planner {
 public:
  Planner(const UploadOptions& options, const std::string& zipFolder)
      : options_(options), zipFolder_(zipFolder) {}

  UploadPlan plan(const std::vector<FoundDSYM>& found) {
    for (const auto& dsym : found) planOne(dsym);
    return std::move(plan_);
  }

 private:
  void bad(const std::string& path, const std::string& why) {
    QVXLog("%@: %@", path, why);
    ++plan_.badInputs;
  }

  // The archive's product the dSYM describes, when it can be read.
  static std::shared_ptr<QVXMachOBinary> productOf(const FoundDSYM& found) {
    return found.productExecutable ? QVXMachOBinary::MachOBinaryWithPath(*found.productExecutable)
                                   : nullptr;
  }

  bool isStale(const FoundDSYM& found, const QVXMachOBinary* product) {
    if (!product) return false;
    auto disagreement = dSYMDisagreement(found.path, *product);
    if (!disagreement) return false;
    QVXLog(
        "%@\n\n%@", "dSYM Error",
        platform::format(kStaleReason, platform::lastPathComponent(found.path), found.path,
                         product->path(), disagreement->executableLines, disagreement->dsymLines));
    ++plan_.refused;
    return true;
  }

  void planOne(const FoundDSYM& found) {
    const std::vector<DWARFFileLook> files = lookAtDWARFFiles(found.path);
    if (auto fault = dwarfFault(files)) return bad(found.path, *fault);
    // Read again: null only when the bundle went away since the look.
    auto dSYM = QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(found.path));
    auto dwarf = QVXMachOBinary::MachOBinaryWithPath(files.front().path);
    if (!dSYM || !dwarf) return bad(found.path, "the dSYM bundle changed while it was read");
    DSYMUploadDescription description;
    for (const auto& [uuid, architecture] : matchOfEveryFile(files).pairs)
      description.pairs.push_back({uuid, architecture});
    description.matchedFiles = files;
    const std::shared_ptr<QVXMachOBinary> product = productOf(found);
    if (isStale(found, product.get())) return;
    if (!seen_.insert(dedupKey(description.pairs)).second) {
      if (debugMode) QVXLog("%@ holds the UUIDs of a dSYM met before; it is sent once", found.path);
      return;
    }
    const DSYMFacts facts{dSYM->shortBundleVersion().value_or(platform::Value()),
                          dSYM->bundleVersion().value_or(platform::Value()),
                          platformOf(*dwarf, product.get())};
    resolveIdentity(options_, found.archive ? &found.archive->identity : nullptr, facts,
                    description);
    if (!description.identifier.is_string())
      return bad(found.path,
                 "no app identifier: the archive's Info.plist names none in "
                 "ApplicationProperties; give --app-id");
    const std::size_t slash = found.path.find_last_of('/');
    description.dsymFolder = slash == std::string::npos ? "." : found.path.substr(0, slash);
    description.dsymName = platform::lastPathComponent(found.path);
    description.zipFolder = zipFolder_;
    plan_.uploads.push_back(std::move(description));
  }

  const UploadOptions& options_;
  const std::string& zipFolder_;
  std::set<std::vector<UUIDArchitecturePair>> seen_;
  UploadPlan plan_;
};

}  // namespace

UploadPlan planUploads(const std::vector<FoundDSYM>& found, const UploadOptions& options,
                       const std::string& zipFolder) {
  return Planner(options, zipFolder).plan(found);
}

int uploadExitStatus(int badInputs, int uploaded, int total) {
  return badInputs == 0 && uploaded == total ? 0 : 1;
}
