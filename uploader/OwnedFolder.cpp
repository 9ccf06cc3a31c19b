#include "uploader/OwnedFolder.h"

#include "console/Console.h"
#include "platform/files/FileRemoval.h"
#include "platform/files/TemporaryFolder.h"

OwnedFolder::~OwnedFolder() { platform::removeItemTreeAtPath(path_); }

std::unique_ptr<OwnedFolder> makeWorkFolder() {
  platform::Error error;
  auto folder = platform::makePrivateTemporaryFolder("upload-dsyms.", &error);
  if (!folder) {
    QVXLog("Cannot make a folder for the zips: %@", error);
    return nullptr;
  }
  auto work = std::make_unique<OwnedFolder>(*folder, true);
  platform::setTemporaryDirectory(work->path());
  return work;
}
