#include "service/StreamedUpload.h"

#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"

namespace {

constexpr std::uint64_t kLengthRequired = 411;

}  // namespace

UploadAttempt sendStreamedDSYM(const UploadService& service,
                               const DSYMUploadDescription& description,
                               const std::shared_ptr<StreamedZip>& zip,
                               const UploadProgressHandler& progress,
                               std::optional<ZipFailure>* zipFailure) {
  // Nothing goes out before the archiver's first bytes: one that fails at
  // once sends no request at all.
  const bool streamable = zip->waitBeyond(0).has_value();
  UploadAttempt attempt;
  if (streamable) {
    auto request = uploadRequest(service, description);
    request->addGrowingFileData_MIMEType_fileName_forFormField(
        zip, "application/zip", zip->zip().name(), "code_mapping[file]");
    attempt = sendUploadRequest(service, description, request, progress);
  }
  if ((*zipFailure = zip->finish())) return UploadAttempt{};
  if (!streamable || attempt.status == kLengthRequired || zip->holdsDelimiter())
    attempt = sendZippedDSYM(service, description, zip->zip(), progress);
  return attempt;
}

bool uploadStreamedDSYM(const UploadService& service, const DSYMUploadDescription& description,
                        bool finalAttempt) {
  ZipFailure failure{};
  const std::shared_ptr<StreamedZip> zip = StreamedZip::start(description, &failure);
  if (!zip) {
    endAttemptForZipFailure(description, failure);
    return false;
  }
  std::optional<ZipFailure> zipFailure;
  const UploadAttempt attempt = sendStreamedDSYM(service, description, zip, {}, &zipFailure);
  removeZip(zip->zip());
  if (zipFailure) {
    endAttemptForZipFailure(description, *zipFailure);
    return false;
  }
  reportUploadAttempt(description, attempt, finalAttempt);
  return attempt.succeeded();
}
