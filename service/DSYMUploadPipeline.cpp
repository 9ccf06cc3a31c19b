#include "service/DSYMUploadPipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// A bundle's turn in the pipeline: its zip, or why there is none.
struct Zipped {
  std::unique_ptr<ZippedDSYM> zip;
  ZipFailure failure{};
};

// Zips on a thread of its own, in order, as long as fewer than `jobs`
// bundles are zipped or being sent; the sender takes them in order.
class ZipStage {
 public:
  ZipStage(const std::vector<DSYMUploadDescription>& descriptions, int jobs)
      : descriptions_(descriptions), jobs_(static_cast<std::size_t>(std::max(jobs, 1))) {
    thread_ = std::thread([this] { zipAll(); });
  }
  ~ZipStage() { thread_.join(); }

  // The next bundle's zip, once it is made.
  Zipped take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty(); });
    Zipped next = std::move(ready_.front());
    ready_.pop_front();
    return next;
  }

  // The sender is done with a bundle; its room goes to the next.
  void finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    --inFlight_;
    changed_.notify_all();
  }

 private:
  void zipAll() {
    for (const auto& description : descriptions_) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return inFlight_ < jobs_; });
        ++inFlight_;
      }
      Zipped zipped;
      zipped.zip = zipDescribedDSYM(description, &zipped.failure);
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(std::move(zipped));
      changed_.notify_all();
    }
  }

  const std::vector<DSYMUploadDescription>& descriptions_;
  const std::size_t jobs_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Zipped> ready_;
  std::size_t inFlight_ = 0;
  std::thread thread_;
};

// Up to 1 + retries attempts with the same zip; the zip is removed after
// the last.
bool sendWithRetry(const UploadService& service, const DSYMUploadDescription& description,
                   const ZippedDSYM& zip, UploadProgressDisplay* display, int retries) {
  UploadProgressHandler progress;
  if (display)
    progress = [display](std::uint64_t sent, std::uint64_t total) {
      display->bytesSent(sent, total);
    };
  bool uploaded = false;
  for (int attempts = 0; !uploaded && attempts <= retries; ++attempts) {
    if (display) display->sendBegins(description);
    const UploadAttempt attempt = sendZippedDSYM(service, description, zip, progress);
    if (display) display->sendEnds();
    reportUploadAttempt(description, attempt, attempts == retries);
    uploaded = attempt.succeeded();
  }
  removeZip(zip);
  return uploaded;
}

}  // namespace

std::vector<bool> uploadDescribedDSYMs(const UploadService& service,
                                       const std::vector<DSYMUploadDescription>& descriptions,
                                       int jobs, UploadProgressDisplay* display, int retries) {
  std::vector<bool> uploaded;
  if (descriptions.empty()) return uploaded;
  ZipStage zipping(descriptions, jobs);
  for (const auto& description : descriptions) {
    Zipped zipped = zipping.take();
    if (zipped.zip) {
      uploaded.push_back(sendWithRetry(service, description, *zipped.zip, display, retries));
    } else {
      reportZipFailure(description, zipped.failure);
      uploaded.push_back(false);
    }
    zipped.zip.reset();
    zipping.finished();
  }
  return uploaded;
}
