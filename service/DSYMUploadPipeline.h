#pragma once

#include <cstdint>
#include <vector>

#include "service/DSYMUpload.h"

// What the pipeline tells while it sends, from the thread that sends: one
// upload at a time, begun, then its bytes, then ended.
class UploadProgressDisplay {
 public:
  virtual ~UploadProgressDisplay() = default;
  virtual void sendBegins(const DSYMUploadDescription& description) = 0;
  virtual void bytesSent(std::uint64_t sent, std::uint64_t total) = 0;
  virtual void sendEnds() = 0;
};

// Uploads each described bundle, in order, with up to 1 + retries attempts
// that send the same zip (the last one reports a failure). With jobs above 1 the next bundles are
// zipped while one is sent, so zipping hides behind the network: at most `jobs` bundles are zipped
// or being sent at once (zips waiting their turn included); with 1 each is zipped, sent and removed
// before the next. Each zip is removed after its last attempt. Reports each zip failure and each
// outcome as the build phase does, in the order of the descriptions. Returns, per description,
// whether it was uploaded.
std::vector<bool> uploadDescribedDSYMs(const UploadService& service,
                                       const std::vector<DSYMUploadDescription>& descriptions,
                                       int jobs, UploadProgressDisplay* display = nullptr,
                                       int retries = 1);
