#include "uploader/WorkFolder.h"

#include <cstdlib>

#include "driver/Console.h"
#include "platform/FileRemoval.h"
#include "platform/TemporaryFolder.h"

namespace {

std::string madeFolder() {
  platform::Error error;
  auto folder = platform::makePrivateTemporaryFolder("upload-dsyms.", &error);
  if (!folder) {
    QVXLog("Cannot make a folder for the zips: %@", error);
    std::exit(1);
  }
  return *folder;
}

}  // namespace

WorkFolder::WorkFolder() : path_(madeFolder()), guard_(path_) {
  platform::setTemporaryDirectory(path_);
}

WorkFolder::~WorkFolder() { platform::removeItemTreeAtPath(path_); }
