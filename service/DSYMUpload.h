#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dsymcheck/DWARFFiles.h"
#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/processes/InterruptCleanup.h"
#include "platform/urlloading/HTTPTransportRequest.h"

// What one code-mapping upload sends, resolved by the entry that starts it
// (the build phase from its build settings, upload-dsyms from its options
// and files); nothing here reads settings or property lists.
struct DSYMUploadDescription {
  std::string dsymFolder;                   // the folder that holds the bundle
  std::string dsymName;                     // the bundle's name, as messages name it
  platform::Value identifier;               // "project[identifier]"; null sends no part
  platform::Value displayVersion;           // "project[display_version]": the build number
  platform::Value buildVersion;             // "project[build_version]": the short version string
  platform::Value configuration;            // "code_mapping[build_configuration]"
  std::string platformWord;                 // "ios", "mac" or "unknown", for the path
  std::vector<UUIDArchitecturePair> pairs;  // identifier/arch pairs, in order
  std::string zipFolder;                    // where the zip is written
  // The DWARF files the check matched, as it found them, and the names the
  // DWARF folder held then: the zip is sent only when each file is
  // unchanged and the folder holds the same names once the bundle is zipped.
  std::vector<DWARFFileLook> matchedFiles;
  std::vector<std::string> dwarfEntries;
  // How listings name the bundle, when not by its path (a bundle from a zip).
  std::string shownPath;

  // The bundle, folder and name joined with "%@/%@".
  std::string dsymPath() const;
  // The bundle as messages and listings name it.
  std::string shownDSYMPath() const { return shownPath.empty() ? dsymPath() : shownPath; }
};

// Where uploads go and with which key, and whether a zip goes to the
// service while it is made.
struct UploadService {
  std::string baseURL;  // the code-mapping base URL
  std::string apiKey;
  bool streams = true;
};

// The zip of one bundle: a new unique name in the description's zip folder.
// An interrupt removes it while the object lives; the object does not remove
// it otherwise (removeZip does, reporting a failure).
class ZippedDSYM {
 public:
  ZippedDSYM(std::string name, std::string path)
      : name_(std::move(name)), path_(std::move(path)), guard_(path_) {}
  const std::string& name() const { return name_; }
  const std::string& path() const { return path_; }

 private:
  std::string name_, path_;
  platform::RemovalOnInterrupt guard_;
};

// Why a bundle could not be zipped: the archiver is missing, it failed, its
// zip cannot be read, or a matched DWARF file changed while it was zipped.
enum class ZipFailure { archiverMissing, archiverFailed, zipUnreadable, dSYMChanged };

// The framework's own archiver, beside the tool.
std::string archiverPath();

// A new unique zip name and its path in the description's zip folder.
std::pair<std::string, std::string> newZipName(const DSYMUploadDescription& description);

// Zips the bundle with the framework's archiver ("-c -k --keepParent DSYM
// ZIP": the zip's top entry is the bundle's own folder). Nothing, with the
// reason in *failure and whatever the archiver left removed, when it fails.
std::unique_ptr<ZippedDSYM> zipDescribedDSYM(const DSYMUploadDescription& description,
                                             ZipFailure* failure);

// Reports the failure with the build phase's message for it.
void reportZipFailure(const DSYMUploadDescription& description, ZipFailure failure);

// Removes the zip; a failure is reported ("Could not delete zipped dSYM...").
void removeZip(const ZippedDSYM& zip);

// How one attempt ended: the status (0 when no answer came) and the error.
struct UploadAttempt {
  std::uint64_t status = 0;
  std::optional<platform::Error> error;
  bool succeeded() const { return status >= 200 && status <= 300; }
};

// Told how much of the request the service has taken while it is sent.
using UploadProgressHandler = platform::MutableURLRequest::UploadProgressHandler;

class QVXWebRequest;

// The upload's request without its file part: the path, the identity
// headers, the project fields, the configuration and the pairs.
std::shared_ptr<QVXWebRequest> uploadRequest(const UploadService& service,
                                             const DSYMUploadDescription& description);

// Sends an upload's request; returns how the exchange ended.
UploadAttempt sendUploadRequest(const UploadService& service,
                                const DSYMUploadDescription& description,
                                const std::shared_ptr<QVXWebRequest>& request,
                                const UploadProgressHandler& progress);

// POSTs the zip to "/api/v3/platforms/PLATFORM/code_mappings" with the
// identity headers, the project fields, the configuration and the pairs, the
// zip sent from its file. Returns how the exchange ended; reports nothing.
UploadAttempt sendZippedDSYM(const UploadService& service, const DSYMUploadDescription& description,
                             const ZippedDSYM& zip, const UploadProgressHandler& progress = {});

// Reports the attempt: the "uploaded" line on success, the "could not be
// uploaded" line on a failed final attempt, nothing otherwise.
void reportUploadAttempt(const DSYMUploadDescription& description, const UploadAttempt& attempt,
                         bool finalAttempt);

// Reports the failure; ends the run unless the bundle changed while it was
// zipped, which fails only the attempt.
void endAttemptForZipFailure(const DSYMUploadDescription& description, ZipFailure failure);

// One upload attempt of the build phase: zips the bundle, sends it (while
// it is zipped, when the service streams), deletes the zip when the
// exchange is over and reports as above. Returns true for a status from 200
// to 300. Ends the run when the bundle cannot be zipped; a DWARF file that
// changed while it was zipped fails the attempt.
bool uploadDSYM(const UploadService& service, const DSYMUploadDescription& description,
                bool finalAttempt);
