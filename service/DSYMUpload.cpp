#include "service/DSYMUpload.h"

#include <cstdint>
#include <cstdlib>

#include "driver/Console.h"
#include "driver/Validation.h"
#include "platform/FileReadability.h"
#include "platform/FileRemoval.h"
#include "platform/Format.h"
#include "platform/InterruptCleanup.h"
#include "platform/MainBundle.h"
#include "platform/Path.h"
#include "platform/RandomUUID.h"
#include "service/AppPlatform.h"
#include "service/ServiceRequest.h"
#include "service/WebServiceInterface.h"
#include "shared/Categories/NSTask+Convenience.h"

namespace {

// The framework's own archiver, next to the tool: with "-c -k --keepParent
// DSYM ZIP" it writes a zip whose top entry is the bundle's own folder,
// under a temporary name that becomes ZIP only when the archive is whole.
std::string archiverPath() {
  return platform::joinWithSlash(platform::mainBundlePath(), "archiver");
}

struct UploadPaths {
  std::string dsymFolder;  // DWARF_DSYM_FOLDER_PATH
  std::string dsymName;    // DWARF_DSYM_FILE_NAME
  std::string dsymPath;    // the two joined with "%@/%@"
  std::string zipName;     // a new unique name with the extension "zip"
  std::string zipPath;     // the zip next to the dSYM bundle
};

UploadPaths uploadPaths(const std::string& dsymFolder, const std::string& dsymName) {
  UploadPaths paths;
  paths.dsymFolder = dsymFolder;
  paths.dsymName = dsymName;
  paths.dsymPath = platform::joinWithSlash(paths.dsymFolder, paths.dsymName);
  paths.zipName = platform::newUUIDString() + ".zip";
  paths.zipPath = platform::joinWithSlash(paths.dsymFolder, paths.zipName);
  return paths;
}

// What one upload sends: a dSYM bundle, and what its check matched.
struct UploadSubject {
  std::string dsymFolder;
  std::string dsymName;
  const DSYMMatch& match;
};

// The Info.plist's value for the key; null (an absent value) when missing.
platform::Value infoValue(const platform::Value& info, const std::string& key) {
  auto found = info.find(key);
  return found == info.end() ? platform::Value() : *found;
}

// Rows 1 to 6 of the form. The app's build number goes out as the display
// version and its short version string as the build version.
void addProjectFields(QVXWebRequest& request, const platform::Value& info,
                      const platform::Environment& environment) {
  request.addValue_forFormField(infoValue(info, "CFBundleIdentifier"), "project[identifier]");
  request.addValue_forFormField(infoValue(info, "CFBundleVersion"), "project[display_version]");
  request.addValue_forFormField(infoValue(info, "CFBundleShortVersionString"),
                                "project[build_version]");
  request.addValue_forFormField(platform::valueFor(environment, "CONFIGURATION"),
                                "code_mapping[build_configuration]");
  request.addValue_forFormField("dsym", "code_mapping[type]");
  request.addValue_forFormField(clientBuildVersion(), "com_quorvex_run_version");
}

// One identifier/arch pair per pair given, in order; returns the UUID summary.
std::string addPairs(QVXWebRequest& request, const std::vector<UUIDPair>& pairs) {
  std::string summary;
  for (const auto& [uuid, architecture] : pairs) {
    summary += platform::format("UUID:%@ Slice:%@\n", uuid, architecture);
    request.addValue_forFormField(uuid, "code_mapping[executables][][identifier]");
    request.addValue_forFormField(architecture, "code_mapping[executables][][arch]");
  }
  return summary;
}

// Zips the bundle next to itself, or ends the run. An archiver that exists
// but cannot be started fails like one that exits with an error; whatever
// a failed archiver left at the zip path is removed.
void compressDSYM(const UploadPaths& paths) {
  const std::string archiver = archiverPath();
  if (!platform::fileExists(archiver)) {
    QVXLog("ditto tool unavailable at path %@\n\n", archiver);
    exit(1);
  }
  auto zipped = NSTask_Convenience::runTaskWithLaunchPath_arguments(
      archiver,
      std::vector<std::string>{"-c", "-k", "--keepParent", paths.dsymPath, paths.zipPath});
  if (!zipped.launched() || !zipped.value) {
    platform::removeItemAtPath(paths.zipPath);
    QVXLog("Compression of %@ failed, unable to upload.\n\n", paths.dsymName);
    exit(1);
  }
}

// Attaches the zip as the file part; its bytes are read from the file while
// the body is sent, never held in memory whole.
void attachZip(QVXWebRequest& request, const UploadPaths& paths) {
  if (!platform::isReadableFile(paths.zipPath)) {
    platform::removeItemAtPath(paths.zipPath);
    failWithTitleAndReason("Failed to Load File",
                           platform::format("%@ data could not be loaded", paths.dsymPath));
  }
  request.addFileData_MIMEType_fileName_forFormField(paths.zipPath, "application/zip",
                                                     paths.zipName, "code_mapping[file]");
}

void reportUploadFailure(const QVXWebResponse& response, const UploadPaths& paths,
                         const std::string& summary) {
  const auto status = static_cast<std::int32_t>(response.statusCode());
  if (response.error())
    QVXLog("%@ could not be uploaded statusCode %i %@\n%@", paths.dsymName, status,
           *response.error(), summary);
  else
    QVXLog("%@ could not be uploaded statusCode %i\n%@", paths.dsymName, status, summary);
}

}  // namespace

namespace {

bool uploadSubject(const platform::Environment& environment, const UploadSubject& subject,
                   const std::string& apiKey, bool finalAttempt) {
  const platform::Value info = infoPlistDictionary(environment);
  const std::string baseURL = codeMappingBaseURL(environment);
  auto request = QVXWebRequest::requestWithMethod_path(
      "POST", platform::format("/api/v3/platforms/%@/code_mappings", getAppPlatform(environment)));
  addClientHeaders(*request, apiKey);
  addClientVersionHeaders(*request);
  addProjectFields(*request, info, environment);
  const std::string summary = addPairs(*request, subject.match.pairs);
  const UploadPaths paths = uploadPaths(subject.dsymFolder, subject.dsymName);
  // A build cancelled from here on leaves no zip beside the bundle.
  const platform::RemovalOnInterrupt zipRemoval(paths.zipPath);
  compressDSYM(paths);
  if (!dSYMIsUnchanged(subject.match)) {
    platform::removeItemAtPath(paths.zipPath);
    QVXLog("%@ changed while it was zipped, unable to upload.\n\n", paths.dsymName);
    return false;
  }
  attachZip(*request, paths);
  if (debugMode) QVXLog("Uploading dSYM at path %@", paths.dsymPath);

  bool success = false;
  sendServiceRequest(baseURL, request, [&](std::shared_ptr<QVXWebResponse> response) {
    if (auto error = platform::removeItemAtPath(paths.zipPath))
      QVXLog("Could not delete zipped dSYM at path %@ %@", paths.zipPath, *error);
    const std::uint64_t status = response->statusCode();
    if (status >= 200 && status <= 300) {
      QVXLog("%@ uploaded statusCode %i\n%@", paths.dsymName, static_cast<std::int32_t>(status),
             summary);
      success = true;
    } else if (finalAttempt) {
      reportUploadFailure(*response, paths, summary);
    }
  });
  return success;
}

}  // namespace

bool uploadDSYM(const platform::Environment& environment, const DSYMMatch& match,
                const std::string& apiKey, const std::string& buildSecret, bool finalAttempt) {
  (void)buildSecret;  // the upload never carries the build secret
  UploadSubject app{platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or(""),
                    platform::valueFor(environment, "DWARF_DSYM_FILE_NAME").value_or(""), match};
  return uploadSubject(environment, app, apiKey, finalAttempt);
}

bool uploadOtherDSYM(const platform::Environment& environment, const std::string& dsymName,
                     const DSYMMatch& match, const std::string& apiKey, bool finalAttempt) {
  const std::string folder = platform::valueFor(environment, "DWARF_DSYM_FOLDER_PATH").value_or("");
  UploadSubject other{folder, dsymName, match};
  return uploadSubject(environment, other, apiKey, finalAttempt);
}
