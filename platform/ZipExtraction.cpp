#include "platform/ZipExtraction.h"

namespace platform {

std::optional<std::string> extractZipToPrivateFolder(const std::string&, std::string& errorText,
                                                     const ZipExtractionLimits&) {
  errorText = "zip files are not supported yet";
  return std::nullopt;
}

}  // namespace platform
