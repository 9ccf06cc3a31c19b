#include "uploader/DryRun.h"

#include "platform/Format.h"

std::string dryRunListing(const std::vector<DSYMUploadDescription>& uploads) {
  std::string listing;
  for (const auto& upload : uploads) {
    listing += upload.dsymPath() + "\n";
    listing += platform::format("  project[identifier] %@\n", upload.identifier);
    listing += platform::format("  project[display_version] %@\n", upload.displayVersion);
    listing += platform::format("  project[build_version] %@\n", upload.buildVersion);
    listing += platform::format("  code_mapping[build_configuration] %@\n", upload.configuration);
    listing += platform::format("  platform %@\n", upload.platformWord);
    for (const auto& pair : upload.pairs)
      listing += "  " + uuidSliceLine(pair.uuid, pair.architecture);
  }
  return listing;
}
