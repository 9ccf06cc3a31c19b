#include "service/DSYMUpload.h"

#include <cstdlib>

#include "console/Console.h"
#include "platform/Format.h"
#include "platform/MainBundle.h"
#include "platform/RandomUUID.h"
#include "platform/files/FileReadability.h"
#include "platform/files/FileRemoval.h"
#include "platform/files/Path.h"
#include "service/ServiceRequest.h"
#include "service/StreamedUpload.h"
#include "service/WebServiceInterface.h"
#include "shared/Categories/NSTask+Convenience.h"

// The framework's own archiver, next to the tool: with "-c -k --keepParent
// DSYM ZIP" it writes a zip whose top entry is the bundle's own folder,
// under a temporary name that becomes ZIP only when the archive is whole
// (or, with "-" for ZIP, to its standard output as it goes).
std::string archiverPath() {
  return platform::joinWithSlash(platform::mainBundlePath(), "archiver");
}

std::pair<std::string, std::string> newZipName(const DSYMUploadDescription& description) {
  const std::string name = platform::newUUIDString() + ".zip";
  return {name, platform::joinWithSlash(description.zipFolder, name)};
}

namespace {

// Rows 1 to 6 of the form. The app's build number goes out as the display
// version and its short version string as the build version.
void addProjectFields(QVXWebRequest& request, const DSYMUploadDescription& description) {
  request.addValue_forFormField(description.identifier, "project[identifier]");
  request.addValue_forFormField(description.displayVersion, "project[display_version]");
  request.addValue_forFormField(description.buildVersion, "project[build_version]");
  request.addValue_forFormField(description.configuration, "code_mapping[build_configuration]");
  request.addValue_forFormField("dsym", "code_mapping[type]");
  request.addValue_forFormField(clientBuildVersion(), "com_quorvex_run_version");
}

void addPairs(QVXWebRequest& request, const std::vector<UUIDArchitecturePair>& pairs) {
  for (const auto& pair : pairs) {
    request.addValue_forFormField(pair.uuid, "code_mapping[executables][][identifier]");
    request.addValue_forFormField(pair.architecture, "code_mapping[executables][][arch]");
  }
}

// One "UUID:%@ Slice:%@\n" line per pair, in order: the summary the
// reports end with.
std::string uuidSummary(const std::vector<UUIDArchitecturePair>& pairs) {
  std::string summary;
  for (const auto& pair : pairs) summary += uuidSliceLine(pair.uuid, pair.architecture);
  return summary;
}

}  // namespace

std::string DSYMUploadDescription::dsymPath() const {
  return platform::joinWithSlash(dsymFolder, dsymName);
}

std::unique_ptr<ZippedDSYM> zipDescribedDSYM(const DSYMUploadDescription& description,
                                             ZipFailure* failure) {
  const std::string archiver = archiverPath();
  if (!platform::fileExists(archiver)) {
    *failure = ZipFailure::archiverMissing;
    return nullptr;
  }
  const auto [name, path] = newZipName(description);
  // An interrupt from here on leaves no zip behind.
  auto zip = std::make_unique<ZippedDSYM>(name, path);
  auto zipped = NSTask_Convenience::runTaskWithLaunchPath_arguments(
      archiver,
      std::vector<std::string>{"-c", "-k", "--keepParent", description.dsymPath(), zip->path()});
  if (!zipped.launched() || !zipped.value) {
    *failure = ZipFailure::archiverFailed;
  } else if (!platform::isReadableFile(zip->path())) {
    *failure = ZipFailure::zipUnreadable;
  } else if (!dSYMIsUnchanged(description.dsymPath(),
                              DSYMMatch{{}, description.matchedFiles, description.dwarfEntries})) {
    *failure = ZipFailure::dSYMChanged;
  } else {
    return zip;
  }
  platform::removeItemAtPath(zip->path());
  return nullptr;
}

void reportZipFailure(const DSYMUploadDescription& description, ZipFailure failure) {
  switch (failure) {
    case ZipFailure::archiverMissing:
      QVXLog("ditto tool unavailable at path %@\n\n", archiverPath());
      break;
    case ZipFailure::archiverFailed:
      QVXLog("Compression of %@ failed, unable to upload.\n\n", description.dsymName);
      break;
    case ZipFailure::dSYMChanged:
      QVXLog("%@ changed while it was zipped, unable to upload.\n\n", description.dsymName);
      break;
    case ZipFailure::zipUnreadable:
      QVXLog("%@\n\n%@", "Failed to Load File",
             platform::format("%@ data could not be loaded", description.shownDSYMPath()));
      break;
  }
}

void removeZip(const ZippedDSYM& zip) {
  if (auto error = platform::removeItemAtPath(zip.path()))
    QVXLog("Could not delete zipped dSYM at path %@ %@", zip.path(), *error);
}

std::shared_ptr<QVXWebRequest> uploadRequest(const UploadService& service,
                                             const DSYMUploadDescription& description) {
  auto request = QVXWebRequest::requestWithMethod_path(
      "POST", platform::format("/api/v3/platforms/%@/code_mappings", description.platformWord));
  addClientHeaders(*request, service.apiKey);
  addClientVersionHeaders(*request);
  addProjectFields(*request, description);
  addPairs(*request, description.pairs);
  return request;
}

UploadAttempt sendZippedDSYM(const UploadService& service, const DSYMUploadDescription& description,
                             const ZippedDSYM& zip, const UploadProgressHandler& progress) {
  auto request = uploadRequest(service, description);
  // The zip's bytes are read from the file while the body is sent, never
  // held in memory whole.
  request->addFileData_MIMEType_fileName_forFormField(zip.path(), "application/zip", zip.name(),
                                                      "code_mapping[file]");
  return sendUploadRequest(service, description, request, progress);
}

UploadAttempt sendUploadRequest(const UploadService& service,
                                const DSYMUploadDescription& description,
                                const std::shared_ptr<QVXWebRequest>& request,
                                const UploadProgressHandler& progress) {
  request->setUploadProgressHandler(progress);
  if (debugMode) QVXLog("Uploading dSYM at path %@", description.shownDSYMPath());
  UploadAttempt attempt;
  sendServiceRequest(service.baseURL, request, [&](std::shared_ptr<QVXWebResponse> response) {
    attempt.status = response->statusCode();
    attempt.error = response->error();
  });
  return attempt;
}

void reportUploadAttempt(const DSYMUploadDescription& description, const UploadAttempt& attempt,
                         bool finalAttempt) {
  const auto status = static_cast<std::int32_t>(attempt.status);
  const std::string summary = uuidSummary(description.pairs);
  if (attempt.succeeded())
    QVXLog("%@ uploaded statusCode %i\n%@", description.dsymName, status, summary);
  else if (finalAttempt && attempt.error)
    QVXLog("%@ could not be uploaded statusCode %i %@\n%@", description.dsymName, status,
           *attempt.error, summary);
  else if (finalAttempt)
    QVXLog("%@ could not be uploaded statusCode %i\n%@", description.dsymName, status, summary);
}

void endAttemptForZipFailure(const DSYMUploadDescription& description, ZipFailure failure) {
  reportZipFailure(description, failure);
  if (failure != ZipFailure::dSYMChanged) exit(1);
}

bool uploadDSYM(const UploadService& service, const DSYMUploadDescription& description,
                bool finalAttempt) {
  if (service.streams) return uploadStreamedDSYM(service, description, finalAttempt);
  ZipFailure failure{};
  const std::unique_ptr<ZippedDSYM> zip = zipDescribedDSYM(description, &failure);
  if (!zip) {
    endAttemptForZipFailure(description, failure);
    return false;
  }
  const UploadAttempt attempt = sendZippedDSYM(service, description, *zip);
  removeZip(*zip);
  reportUploadAttempt(description, attempt, finalAttempt);
  return attempt.succeeded();
}
