#include "uploader/Inputs.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "driver/Console.h"
#include "driver/DWARFFiles.h"
#include "platform/Bundle.h"
#include "platform/Path.h"
#include "platform/PropertyList.h"
#include "platform/ZipExtraction.h"

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

// Every .dSYM bundle under the folder, in name order; links are neither
// taken nor followed, so nothing outside the folder is read. The __MACOSX
// folder of a zip made by a Mac's Finder (its .dSYM folders hold only ._
// files) and any other .dSYM folder that is no bundle are skipped.
std::vector<std::string> dSYMsUnder(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code error;
  fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                        error);
  for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
    if (walk->is_symlink(error) || !walk->is_directory(error)) continue;
    const std::string name = walk->path().filename();
    if (name == "__MACOSX") walk.disable_recursion_pending();
    if (!isDSYMName(name)) continue;
    walk.disable_recursion_pending();
    if (acceptsDSYMBundle(walk->path())) found.push_back(walk->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The executable of a product bundle: the one its Info.plist names, else
// the file named after the bundle inside it.
std::optional<std::string> productExecutable(const std::string& product) {
  auto bundle = platform::Bundle::bundleWithPath(product);
  if (!bundle) return std::nullopt;
  if (auto executable = bundle->executablePath())
    if (platform::fileExists(*executable)) return executable;
  const std::string named =
      platform::appendPathComponent(product, fs::path(product).stem().string());
  return platform::fileExists(named) ? std::optional<std::string>(named) : std::nullopt;
}

// The folders directly inside a folder, links left out; none when it
// cannot be read.
std::vector<fs::path> foldersIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator();
       entry.increment(error)) {
    std::error_code typeError;
    if (!entry->is_symlink(typeError) && entry->is_directory(typeError))
      found.push_back(entry->path());
  }
  return found;
}

// The products of an archive by bundle name: each app under
// Products/Applications and the frameworks and extensions it embeds (iOS
// and macOS layouts).
std::map<std::string, std::string> archiveProducts(const std::string& archive) {
  std::map<std::string, std::string> products;
  for (const auto& app : foldersIn(fs::path(archive) / "Products" / "Applications")) {
    products[app.filename()] = app;
    for (const char* inner : {"Frameworks", "PlugIns", "Contents/Frameworks", "Contents/PlugIns"})
      for (const auto& embedded : foldersIn(app / inner)) products[embedded.filename()] = embedded;
  }
  return products;
}

platform::Value entry(const platform::Value& dictionary, const char* key) {
  auto found = dictionary.find(key);
  return found == dictionary.end() ? platform::Value() : *found;
}

class Scanner {
 public:
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
      if (isDSYMName(name)) return add({path, nullptr, std::nullopt});
      if (name.ends_with(".xcarchive")) return scanArchive(path);
      return scanFolder(path, path);
    }
    if (name.ends_with(".zip")) return scanZip(path);
    bad(path + ": not an .xcarchive, a .dSYM bundle, a folder or a .zip");
  }

  void add(FoundDSYM found) { result_.dsyms.push_back(std::move(found)); }

  void scanFolder(const std::string& folder, const std::string& named) {
    const std::vector<std::string> found = dSYMsUnder(folder);
    if (found.empty()) return bad(named + ": holds no .dSYM bundle");
    for (const auto& path : found) add({path, nullptr, std::nullopt});
  }

  void scanZip(const std::string& path) {
    std::string error;
    auto folder = platform::extractZipToPrivateFolder(path, error);
    if (!folder) return bad(path + ": cannot be read as a zip of dSYMs: " + error);
    // Extracted inside the run's guarded work folder, the run's TMPDIR.
    result_.extractedZips.push_back(std::make_unique<OwnedFolder>(*folder, false));
    scanFolder(*folder, path);
  }

  void scanArchive(const std::string& path) {
    const std::string plist = platform::appendPathComponent(path, "Info.plist");
    auto info = platform::dictionaryWithContentsOfFile(plist);
    if (!info) return bad(path + ": the archive's Info.plist is missing or damaged");
    const platform::Value properties = entry(*info, "ApplicationProperties");
    auto archive = std::make_shared<ArchiveInput>();
    archive->path = path;
    if (properties.is_object()) {
      archive->identity = {entry(properties, "CFBundleIdentifier"),
                           entry(properties, "CFBundleShortVersionString"),
                           entry(properties, "CFBundleVersion")};
    }
    const std::vector<std::string> found = dSYMsUnder(platform::appendPathComponent(path, "dSYMs"));
    if (found.empty()) return bad(path + ": the archive holds no .dSYM bundle in dSYMs/");
    const auto products = archiveProducts(path);
    for (const auto& dsym : found) {
      const std::string name = platform::lastPathComponent(dsym);
      auto product = products.find(name.substr(0, name.size() - kDSYMExtension.size()));
      add({dsym, archive,
           product == products.end() ? std::nullopt : productExecutable(product->second)});
    }
  }

  InputScan result_;
};

}  // namespace

InputScan scanInputs(const std::vector<std::string>& paths) { return Scanner().scan(paths); }
