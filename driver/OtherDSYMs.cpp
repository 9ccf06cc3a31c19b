#include "driver/OtherDSYMs.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "driver/DSYMCheck.h"
#include "handoff/BuildCache.h"
#include "macho/QVXMachOBinary.h"
#include "platform/BooleanValue.h"
#include "platform/Log.h"
#include "platform/files/Bundle.h"
#include "platform/files/DirectoryListing.h"
#include "platform/files/Path.h"

namespace {

std::string dsymFolder(const platform::Environment& environment) {
  return platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or("");
}

// The executable of the product a dSYM describes: Foo.framework.dSYM
// describes Foo.framework, whose Info.plist names its executable; a product
// that is a file (libFoo.dylib) is its own executable.
std::shared_ptr<QVXMachOBinary> productExecutable(const std::string& dsymPath) {
  const std::string product = dsymPath.substr(0, dsymPath.size() - std::string(".dSYM").size());
  if (!platform::directoryExists(product)) return QVXMachOBinary::MachOBinaryWithPath(product);
  auto bundle = platform::Bundle::bundleWithPath(product);
  auto executable = bundle ? bundle->executablePath() : std::nullopt;
  return executable ? QVXMachOBinary::MachOBinaryWithPath(*executable) : nullptr;
}

}  // namespace

bool uploadsAllDSYMs(const platform::Environment& environment) {
  auto setting = platform::valueFor(environment, "QUORVEX_UPLOAD_ALL_DSYMS");
  return setting && platform::isBooleanTrue(std::string_view(*setting));
}

std::vector<std::string> otherDSYMNames(const platform::Environment& environment) {
  const std::string folder = dsymFolder(environment);
  platform::Error listingError;
  auto names = platform::contentsOfDirectoryAtPath(folder, &listingError);
  if (!names) {
    platform::NSLog("Unable to get contents of path %@ \n%@", folder, listingError);
    std::exit(1);
  }
  const std::string appDSYM = platform::valueFor(environment, "DWARF_DSYM_FILE_NAME").value_or("");
  std::vector<std::string> others;
  for (const auto& name : *names)
    if (isDSYMEntryName(name) && name != appDSYM) others.push_back(name);
  std::sort(others.begin(), others.end());
  return others;
}

std::vector<OtherDSYM> checkOtherDSYMsMatchTheirProducts(const platform::Environment& environment,
                                                         const std::vector<std::string>& names) {
  std::vector<OtherDSYM> others;
  for (const auto& name : names) {
    const std::string dsymPath = platform::joinWithSlash(dsymFolder(environment), name);
    if (!acceptsDSYMBundle(dsymPath)) continue;
    auto executable = productExecutable(dsymPath);
    others.push_back({name, executable ? requireDSYMMatchesExecutable(dsymWait(environment),
                                                                      dsymPath, *executable)
                                       : requireCompleteDSYM(dsymWait(environment), dsymPath)});
  }
  return others;
}
