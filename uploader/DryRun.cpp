#include "uploader/DryRun.h"

#include "platform/Format.h"

namespace {

// One "  FIELD VALUE" line for a text value; none for a value the form
// leaves out, as the upload does.
std::string fieldLine(const char* field, const platform::Value& value) {
  if (!value.is_string()) return "";
  return platform::format("  %@ %@\n", std::string(field), value);
}

}  // namespace

std::string dryRunListing(const std::vector<DSYMUploadDescription>& uploads) {
  std::string listing;
  for (const auto& upload : uploads) {
    listing += upload.shownDSYMPath() + "\n";
    listing += fieldLine("project[identifier]", upload.identifier);
    listing += fieldLine("project[display_version]", upload.displayVersion);
    listing += fieldLine("project[build_version]", upload.buildVersion);
    listing += fieldLine("code_mapping[build_configuration]", upload.configuration);
    listing += platform::format("  platform %@\n", upload.platformWord);
    for (const auto& pair : upload.pairs)
      listing += "  " + uuidSliceLine(pair.uuid, pair.architecture);
  }
  return listing;
}
