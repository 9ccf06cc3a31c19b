#include "uploader/Inputs.h"

#include <algorithm>
#include <filesystem>
#include <functional>

#include "console/Console.h"
#include "dsymcheck/DWARFFiles.h"
#include "macho/QVXMachOBinary.h"
#include "platform/files/Bundle.h"
#include "platform/files/Path.h"
#include "platform/propertylists/PropertyList.h"
#include "platform/zip/ZipExtraction.h"

namespace fs = std::filesystem;

namespace {

const std::string kDSYMExtension = ".dSYM";

bool isDSYMName(const std::string& name) {
  return name.size() > kDSYMExtension.size() && name.ends_with(kDSYMExtension);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// What a folder holds: its .dSYM bundles and its zips, each in name order.
struct FolderContents {
  std::vector<std::string> dsyms, zips;
};

// Every .dSYM bundle and .zip file under the folder; links are neither
// taken nor followed, so nothing outside the folder is read. The __MACOSX
// folder of a zip made by a Mac's Finder (its .dSYM folders hold only ._
// files) and any other .dSYM folder without DWARF entries are skipped. A
// folder that cannot be read on the way (too many open files in a deep
// tree) ends the walk with *error, since dSYMs after it would go unseen.
FolderContents contentsOf(const std::string& folder, std::error_code* error) {
  FolderContents found;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                        *error);
  for (; !*error && walk != fs::recursive_directory_iterator(); walk.increment(*error)) {
    std::error_code typeError;
    const std::string name = walk->path().filename();
    if (walk->is_symlink(typeError)) continue;
    if (name.ends_with(".zip") && walk->is_regular_file(typeError))
      found.zips.push_back(walk->path());
    if (!walk->is_directory(typeError)) continue;
    if (name == "__MACOSX") walk.disable_recursion_pending();
    if (!isDSYMName(name)) continue;
    walk.disable_recursion_pending();
    if (holdsDWARFEntries(walk->path()))
      found.dsyms.push_back(walk->path());
    else if (debugMode)
      QVXLog("Skipping %@: not a dSYM bundle (nothing in its DWARF folder)", walk->path().string());
  }
  std::sort(found.dsyms.begin(), found.dsyms.end());
  std::sort(found.zips.begin(), found.zips.end());
  return found;
}

// The executable of a product: the one its Info.plist names, else the file
// named after the bundle inside it; a product that is a file (a library)
// is its own executable.
std::optional<std::string> productExecutable(const std::string& product) {
  if (!platform::directoryExists(product)) return product;
  auto bundle = platform::Bundle::bundleWithPath(product);
  if (bundle)
    if (auto executable = bundle->executablePath())
      if (platform::fileExists(*executable)) return executable;
  const std::string named =
      platform::appendPathComponent(product, fs::path(product).stem().string());
  return platform::fileExists(named) ? std::optional<std::string>(named) : std::nullopt;
}

bool isProductName(const std::string& name) {
  static const char* const kExtensions[] = {".app",    ".appex", ".framework",
                                            ".bundle", ".xpc",   ".plugin",
                                            ".kext",   ".dylib", ".systemextension"};
  return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                     [&](const char* extension) { return name.ends_with(extension); });
}

std::vector<UUIDArchitecturePair> pairsOf(const std::string& executable) {
  auto binary = QVXMachOBinary::MachOBinaryWithPath(executable);
  return binary ? binary->uuidArchitecturePairs() : std::vector<UUIDArchitecturePair>();
}

// Every product of an archive, at any depth under Products/ (apps and their
// app clips, watch apps, extensions, frameworks and bundles, nested in each
// other, in the iOS and the macOS layouts), links neither taken nor
// followed.
std::vector<ArchiveProduct> archiveProducts(const std::string& archive) {
  std::vector<ArchiveProduct> products;
  std::error_code error;
  fs::recursive_directory_iterator walk(fs::path(archive) / "Products",
                                        fs::directory_options::skip_permission_denied, error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    std::error_code typeError;
    const std::string name = walk->path().filename();
    if (walk->is_symlink(typeError)) continue;
    if (isDSYMName(name)) walk.disable_recursion_pending();
    if (!isProductName(name)) continue;
    if (auto executable = productExecutable(walk->path()))
      products.push_back({name, *executable, pairsOf(*executable)});
  }
  return products;
}

platform::Value entry(const platform::Value& dictionary, const char* key) {
  auto found = dictionary.find(key);
  return found == dictionary.end() ? platform::Value() : *found;
}

class Scanner {
 public:
  Scanner(bool appIdGiven, const std::function<bool()>& roomForZips)
      : appIdGiven_(appIdGiven), roomForZips_(roomForZips) {}

  InputScan scan(const std::vector<std::string>& paths) {
    for (const auto& path : paths) scanPath(withoutTrailingSlashes(path));
    return std::move(result_);
  }

 private:
  void bad(const std::string& message) {
    QVXLog("%@", message);
    ++result_.badInputs;
  }

  void scanPath(const std::string& path) {
    if (!platform::fileExists(path)) return bad(path + ": no such file or folder");
    const std::string name = platform::lastPathComponent(path);
    if (platform::directoryExists(path)) {
      if (isDSYMName(name)) return add({path, nullptr, "", ""});
      if (name.ends_with(".xcarchive")) return scanArchive(path);
      return scanFolder(path, path, "");
    }
    if (name.ends_with(".zip")) return scanZip(path);
    bad(path + ": not an .xcarchive, a .dSYM bundle, a folder or a .zip");
  }

  void add(FoundDSYM found) { result_.dsyms.push_back(std::move(found)); }

  // The bundles under FOLDER, which messages name NAMED, and those of the
  // zips in it; EXTRACTED is the folder a zip was extracted into, when it
  // was (a zip in a zip is left as it is).
  void scanFolder(const std::string& folder, const std::string& named,
                  const std::string& extracted) {
    std::error_code error;
    FolderContents found = contentsOf(folder, &error);
    if (error) return bad(named + ": cannot be read whole: " + error.message());
    if (!extracted.empty()) found.zips.clear();
    if (found.dsyms.empty() && found.zips.empty()) return bad(named + ": holds no .dSYM bundle");
    for (const auto& path : found.dsyms)
      add({path, nullptr, extracted.empty() ? "" : named, extracted});
    for (const auto& zip : found.zips) scanZip(zip);
  }

  void scanZip(const std::string& path) {
    if (roomForZips_ && !roomForZips_()) return bad(path + ": no folder to extract it into");
    std::string error;
    auto folder = platform::extractZipToPrivateFolder(path, error);
    if (!folder) return bad(path + ": cannot be read as a zip of dSYMs: " + error);
    // Extracted inside the run's guarded work folder, the run's TMPDIR.
    result_.extractedZips.push_back(std::make_unique<OwnedFolder>(*folder, false));
    scanFolder(*folder, path, *folder);
  }

  // The archive's identity; nothing, reported, when it has none to give
  // and --app-id gives none either.
  std::optional<AppIdentity> archiveIdentity(const std::string& path) {
    const std::string plist = platform::appendPathComponent(path, "Info.plist");
    auto info = platform::dictionaryWithContentsOfFile(plist);
    if (!info && !appIdGiven_) {
      bad(path + ": the archive's Info.plist is missing or damaged; give --app-id");
      return std::nullopt;
    }
    if (!info) return AppIdentity{};
    const platform::Value properties = entry(*info, "ApplicationProperties");
    if (!properties.is_object()) return AppIdentity{};
    return AppIdentity{entry(properties, "CFBundleIdentifier"),
                       entry(properties, "CFBundleShortVersionString"),
                       entry(properties, "CFBundleVersion")};
  }

  void scanArchive(const std::string& path) {
    auto identity = archiveIdentity(path);
    if (!identity) return;
    std::error_code error;
    const std::string dsyms = platform::appendPathComponent(path, "dSYMs");
    const std::vector<std::string> found = contentsOf(dsyms, &error).dsyms;
    if (error) return bad(dsyms + ": cannot be read whole: " + error.message());
    if (found.empty()) return bad(path + ": the archive holds no .dSYM bundle in dSYMs/");
    auto archive = std::make_shared<ArchiveInput>();
    archive->path = path;
    archive->identity = *identity;
    archive->products = archiveProducts(path);
    for (const auto& dsym : found) add({dsym, archive, "", ""});
  }

  const bool appIdGiven_;
  const std::function<bool()>& roomForZips_;
  InputScan result_;
};

}  // namespace

std::string FoundDSYM::shown(const std::string& inside) const {
  if (extractedFolder.empty() || !inside.starts_with(extractedFolder + "/")) return inside;
  return zip + ":" + inside.substr(extractedFolder.size() + 1);
}

InputScan scanInputs(const std::vector<std::string>& paths, bool appIdGiven,
                     const std::function<bool()>& roomForZips) {
  return Scanner(appIdGiven, roomForZips).scan(paths);
}
