#include "service/DSYMUploadPipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "service/StreamedUpload.h"

namespace {

// A bundle's turn in the pipeline: its zip (made whole first, or being
// made while it is sent), or why there is none.
struct Zipped {
  std::unique_ptr<ZippedDSYM> zip;
  std::shared_ptr<StreamedZip> streamed;
  ZipFailure failure{};
  const ZippedDSYM* kept() const { return streamed ? &streamed->zip() : zip.get(); }
};

// Zips on a thread of its own, in order, as long as fewer than `jobs`
// bundles are zipped or being sent; the sender takes them in order.
class ZipStage {
 public:
  ZipStage(const std::vector<DSYMUploadDescription>& descriptions, int jobs, bool streams)
      : descriptions_(descriptions),
        jobs_(static_cast<std::size_t>(std::max(jobs, 1))),
        streams_(streams) {
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
      // A streamed zip is handed on as soon as it starts, so that its upload
      // begins with it; the next is started while this one is sent.
      if (streams_)
        zipped.streamed = StreamedZip::start(description, &zipped.failure);
      else
        zipped.zip = zipDescribedDSYM(description, &zipped.failure);
      std::lock_guard<std::mutex> lock(mutex_);
      ready_.push_back(std::move(zipped));
      changed_.notify_all();
    }
  }

  const std::vector<DSYMUploadDescription>& descriptions_;
  const std::size_t jobs_;
  const bool streams_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Zipped> ready_;
  std::size_t inFlight_ = 0;
  std::thread thread_;
};

// Up to 1 + retries attempts: the first with the zip as it is made, when it
// is streamed, the others with the kept zip whole. The zip is removed after
// the last.
bool sendWithRetry(const UploadService& service, const DSYMUploadDescription& description,
                   const Zipped& zipped, UploadProgressDisplay* display, int retries) {
  UploadProgressHandler progress;
  if (display)
    progress = [display](std::uint64_t sent, std::uint64_t total) {
      display->bytesSent(sent, total);
    };
  bool uploaded = false;
  std::optional<ZipFailure> zipFailure;
  for (int attempts = 0; !uploaded && !zipFailure && attempts <= retries; ++attempts) {
    if (display) display->sendBegins(description);
    const UploadAttempt attempt =
        attempts == 0 && zipped.streamed
            ? sendStreamedDSYM(service, description, zipped.streamed, progress, &zipFailure)
            : sendZippedDSYM(service, description, *zipped.kept(), progress);
    if (display) display->sendEnds();
    if (!zipFailure) reportUploadAttempt(description, attempt, attempts == retries);
    uploaded = attempt.succeeded();
  }
  if (zipFailure) reportZipFailure(description, *zipFailure);
  removeZip(*zipped.kept());
  return uploaded;
}

}  // namespace

std::vector<bool> uploadDescribedDSYMs(const UploadService& service,
                                       const std::vector<DSYMUploadDescription>& descriptions,
                                       int jobs, UploadProgressDisplay* display, int retries) {
  std::vector<bool> uploaded;
  if (descriptions.empty()) return uploaded;
  ZipStage zipping(descriptions, jobs, service.streams);
  for (const auto& description : descriptions) {
    Zipped zipped = zipping.take();
    if (zipped.kept()) {
      uploaded.push_back(sendWithRetry(service, description, zipped, display, retries));
    } else {
      reportZipFailure(description, zipped.failure);
      uploaded.push_back(false);
    }
    zipped.zip.reset();
    zipped.streamed.reset();
    zipping.finished();
  }
  return uploaded;
}
