#pragma once

#include <memory>
#include <optional>

#include "service/DSYMUpload.h"
#include "service/StreamedZip.h"

// Sends the zip while the archiver makes it: the form as always, its file
// part read from the growing zip, the body without a length (chunked on
// HTTP/1.1). Waits for the zip to be whole and the bundle looked at again,
// then answers. A service that asks for a length (411), or a zip that holds
// the form's usual delimiter, gets the same upload at once from the kept
// file, with its length; that is still this one attempt. *zipFailure tells
// when the zip could not be made whole (the attempt then counts as failed,
// whatever the service said).
UploadAttempt sendStreamedDSYM(const UploadService& service,
                               const DSYMUploadDescription& description,
                               const std::shared_ptr<StreamedZip>& zip,
                               const UploadProgressHandler& progress,
                               std::optional<ZipFailure>* zipFailure);

// One attempt of the build phase as uploadDSYM makes it, with the zip sent
// while it is made.
bool uploadStreamedDSYM(const UploadService& service, const DSYMUploadDescription& description,
                        bool finalAttempt);
