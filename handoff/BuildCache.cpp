#include "handoff/BuildCache.h"

#include <cstdlib>

#include "platform/Log.h"
#include "platform/files/CachesDirectory.h"
#include "platform/files/DirectoryCreation.h"
#include "platform/files/DirectoryListing.h"
#include "platform/files/FileCopy.h"
#include "platform/files/Path.h"
#include "shared/Categories/NSString+MD5.h"

namespace {

// The user's caches directory, or the home directory when there is none.
std::string cachesBaseDirectory() {
  auto directories = platform::userCachesDirectories();
  return directories.empty() ? platform::homeDirectory() : directories.front();
}

// Copies one dSYM entry into the private cache, owner-only. An entry that is
// a symbolic link is copied as the bundle it points to, since a relative
// link means nothing in the cache and an absolute one would follow the next
// build's dSYM. A copy that reports an error ends the run.
void copyDSYM(const std::string& source, const std::string& destination) {
  const platform::CopyOptions options{.followTopLink = true, .ownerOnly = true};
  if (auto error = platform::copyItemAtPath(source, destination, options)) {
    platform::NSLog("Unable to copy dSYM at path %@ to path %@ %@", source, destination, *error);
    std::exit(1);
  }
}

}  // namespace

std::string cacheDirectory(const std::string& endpointText) {
  std::string path = platform::appendPathComponent(cachesBaseDirectory(), "com.quorvex.mac");
  path = platform::appendPathComponent(path, NSString_MD5::MD5(endpointText));
  path = platform::appendPathComponent(path, "builds");
  if (auto error = platform::createDirectoryWithIntermediates(path)) {
    platform::NSLog("ERROR: unable to write directory for object store.");
    platform::NSLog("%@", *error);
  }
  return path;
}

bool isDSYMEntryName(const std::string& name) { return platform::pathExtension(name) == "dSYM"; }

std::vector<std::string> cacheDSYMsAtPath(const std::string& sourceDirectory,
                                          const std::string& destinationDirectory) {
  platform::Error listingError;
  auto names = platform::contentsOfDirectoryAtPath(sourceDirectory, &listingError);
  if (!names) {
    platform::NSLog("Unable to get contents of path %@ \n%@", sourceDirectory, listingError);
    std::exit(1);
  }
  std::vector<std::string> copies;
  for (const auto& name : *names) {
    if (!isDSYMEntryName(name)) continue;
    std::string destination = platform::appendPathComponent(destinationDirectory, name);
    copies.push_back(destination);
    copyDSYM(platform::appendPathComponent(sourceDirectory, name), destination);
  }
  return copies;
}
