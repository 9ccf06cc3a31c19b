#include "uploader/Plan.h"

#include <algorithm>
#include <set>

#include "console/Console.h"
#include "dsymcheck/DSYMMatch.h"
#include "dsymcheck/DWARFFiles.h"
#include "macho/QVXdSYM.h"
#include "platform/Format.h"
#include "platform/files/FileURL.h"
#include "platform/files/Path.h"

namespace {

const char* const kStaleReason =
    "%@ at path %@ does not describe the executable %@ of the archive, so it is not sent.\nThe "
    "executable holds:\n%@The dSYM holds:\n%@";

// Why the bundle's DWARF files cannot be sent, if they cannot. Every entry
// of the DWARF folder goes into the zip, so each must be a complete Mach-O
// file with a UUID.
std::optional<std::string> dwarfFault(const DWARFFolderLook& look, const FoundDSYM& found) {
  if (!look.unreadable.empty())
    return "its DWARF file " + found.shown(look.unreadable.front().first) + " " +
           look.unreadable.front().second;
  if (look.files.empty()) return "the dSYM bundle holds no DWARF file";
  for (const auto& file : look.files) {
    if (file.pairs.empty()) return "its DWARF file " + found.shown(file.path) + " has no UUID";
    if (!file.complete)
      return "its DWARF file " + found.shown(file.path) +
             " is incomplete (shorter than its load commands state)";
  }
  return std::nullopt;
}

bool sharesAUUID(const std::vector<UUIDArchitecturePair>& some,
                 const std::vector<UUIDArchitecturePair>& others) {
  return std::any_of(some.begin(), some.end(), [&](const UUIDArchitecturePair& pair) {
    return std::any_of(others.begin(), others.end(),
                       [&](const UUIDArchitecturePair& other) { return other.uuid == pair.uuid; });
  });
}

// The archive's product the dSYM describes: the one whose executable holds
// one of its UUIDs, else the one it is named after (a stale dSYM shares no
// UUID with its product); null when there is none.
const ArchiveProduct* productOf(const FoundDSYM& found,
                                const std::vector<UUIDArchitecturePair>& pairs) {
  if (!found.archive) return nullptr;
  const auto& products = found.archive->products;
  for (const auto& product : products)
    if (sharesAUUID(product.pairs, pairs)) return &product;
  const std::string name = platform::lastPathComponent(found.path);
  const std::string productName = name.substr(0, name.size() - std::string(".dSYM").size());
  for (const auto& product : products)
    if (product.name == productName) return &product;
  return nullptr;
}

// The platform of the DWARF file's slices; a DWARF file without version
// command (older dsymutil writes none) takes its product's.
std::optional<std::uint32_t> platformOf(const std::string& dwarf, const ArchiveProduct* product) {
  for (const std::string* path : {&dwarf, product ? &product->executable : nullptr}) {
    auto binary = path ? QVXMachOBinary::MachOBinaryWithPath(*path) : nullptr;
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
    for (const auto& id : options_.ids)
      if (!idsFound_.contains(id)) plan_.idsNotFound.push_back(id);
    return std::move(plan_);
  }

 private:
  void bad(const std::string& path, const std::string& why) {
    QVXLog("%@: %@", path, why);
    ++plan_.badInputs;
  }

  bool isStale(const FoundDSYM& found, const std::vector<UUIDArchitecturePair>& pairs,
               const ArchiveProduct* product) {
    if (!product) return false;
    auto disagreement = pairsDisagreement(pairs, product->pairs);
    if (!disagreement) return false;
    QVXLog("%@\n\n%@", "dSYM Error",
           platform::format(kStaleReason, platform::lastPathComponent(found.path),
                            found.shownPath(), product->executable, disagreement->executableLines,
                            disagreement->dsymLines));
    ++plan_.refused;
    return true;
  }

  // Whether --id leaves the bundle out: its readable DWARF files hold none
  // of the UUIDs asked for. One with nothing readable might hold one.
  bool isUnwanted(const FoundDSYM& found, const DWARFFolderLook& look) const {
    if (options_.ids.empty() || look.files.empty()) return false;
    for (const auto& file : look.files)
      for (const auto& pair : file.pairs)
        if (std::find(options_.ids.begin(), options_.ids.end(), pair.uuid) != options_.ids.end())
          return false;
    if (debugMode) QVXLog("%@ holds none of the UUIDs given with --id", found.shownPath());
    return true;
  }

  void markFound(const std::vector<UUIDArchitecturePair>& pairs) {
    for (const auto& pair : pairs) idsFound_.insert(pair.uuid);
  }

  void planOne(const FoundDSYM& found) {
    const DWARFFolderLook look = lookAtDWARFFolder(found.path);
    if (isUnwanted(found, look)) return;
    if (auto fault = dwarfFault(look, found)) return bad(found.shownPath(), *fault);
    // Read again: null only when the bundle went away since the look.
    auto dSYM = QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(found.path));
    if (!dSYM) return bad(found.shownPath(), "the dSYM bundle changed while it was read");
    const DSYMMatch match = matchOfEveryFile(look.files, look.entries);
    const ArchiveProduct* product = productOf(found, match.pairs);
    if (isStale(found, match.pairs, product)) return;
    DSYMUploadDescription description;
    description.pairs = match.pairs;
    description.matchedFiles = match.files;
    description.dwarfEntries = match.entries;
    const DSYMFacts facts{dSYM->shortBundleVersion().value_or(platform::Value()),
                          dSYM->bundleVersion().value_or(platform::Value()),
                          platformOf(look.files.front().path, product)};
    resolveIdentity(options_, found.archive ? &found.archive->identity : nullptr, facts,
                    description);
    if (!description.identifier.is_string())
      return bad(found.shownPath(),
                 "no app identifier: the archive's Info.plist names none in "
                 "ApplicationProperties; give --app-id");
    markFound(description.pairs);
    if (!seen_.insert(dedupKey(description)).second) {
      if (debugMode)
        QVXLog("%@ holds the UUIDs of a dSYM met before for the same app; it is sent once",
               found.shownPath());
      return;
    }
    const std::size_t slash = found.path.find_last_of('/');
    description.dsymFolder = slash == std::string::npos ? "." : found.path.substr(0, slash);
    description.dsymName = platform::lastPathComponent(found.path);
    description.shownPath = found.shownPath();
    description.zipFolder = zipFolder_;
    plan_.uploads.push_back(std::move(description));
  }

  const UploadOptions& options_;
  const std::string& zipFolder_;
  std::set<std::string> seen_;
  std::set<std::string> idsFound_;
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
