#include "service/StreamedZip.h"

#include <algorithm>

#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"
#include "dsymcheck/DWARFFiles.h"
#include "platform/files/FileWriting.h"
#include "platform/files/Path.h"
#include "shared/Categories/NSTask+Convenience.h"

std::string formDelimiter() { return "--" + QVXWebRequest::defaultBoundary(); }

std::shared_ptr<StreamedZip> StreamedZip::start(const DSYMUploadDescription& description,
                                                ZipFailure* failure) {
  const std::string archiver = archiverPath();
  if (!platform::fileExists(archiver)) {
    *failure = ZipFailure::archiverMissing;
    return nullptr;
  }
  const auto [name, path] = newZipName(description);
  std::shared_ptr<StreamedZip> zip(new StreamedZip(description, name, path));
  zip->thread_ = std::thread([zip = zip.get(), archiver] { zip->pump(archiver); });
  return zip;
}

StreamedZip::StreamedZip(const DSYMUploadDescription& description, std::string name,
                         std::string path)
    : description_(description), zip_(std::move(name), std::move(path)) {}

StreamedZip::~StreamedZip() {
  if (thread_.joinable()) thread_.join();
}

// Keeps the archiver's bytes in the file, then hands them on unless they
// hold the delimiter, which is looked for across the pieces' joins.
bool StreamedZip::take(const std::uint8_t* bytes, std::size_t count) {
  if (!file_->append(bytes, count)) return false;
  const std::string& needle = delimiterText_;
  kept_ += count;
  tail_.append(reinterpret_cast<const char*>(bytes), count);
  const bool found = tail_.find(needle) != std::string::npos;
  tail_.erase(0, tail_.size() - std::min(tail_.size(), needle.size() - 1));
  std::lock_guard<std::mutex> lock(mutex_);
  delimiter_ = delimiter_ || found;
  if (!delimiter_) handedOn_ += count;
  changed_.notify_all();
  return true;
}

void StreamedZip::pump(const std::string& archiver) {
  file_ = platform::NewFile::create(zip_.path());
  bool zipped = false;
  if (file_) {
    auto run = NSTask_Convenience::runTaskWithLaunchPath_arguments_outputHandler(
        archiver, {"-c", "-k", "--keepParent", description_.dsymPath(), "-"},
        [this](const std::uint8_t* bytes, std::size_t count) { return take(bytes, count); });
    zipped = run.launched() && run.value;
    file_.reset();
  }
  std::optional<ZipFailure> failure;
  if (!zipped)
    failure = ZipFailure::archiverFailed;
  else if (kept_ == 0)
    failure = ZipFailure::zipUnreadable;
  else if (!dSYMIsUnchanged(description_.dsymPath(),
                            DSYMMatch{{}, description_.matchedFiles, description_.dwarfEntries}))
    failure = ZipFailure::dSYMChanged;
  std::lock_guard<std::mutex> lock(mutex_);
  failure_ = failure;
  done_ = true;
  changed_.notify_all();
}

std::optional<std::uint64_t> StreamedZip::waitBeyond(std::uint64_t offset) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return handedOn_ > offset || done_ || delimiter_; });
  if (delimiter_ || failure_) return std::nullopt;
  return handedOn_;
}

std::optional<ZipFailure> StreamedZip::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return done_; });
  return failure_;
}

bool StreamedZip::holdsDelimiter() {
  std::lock_guard<std::mutex> lock(mutex_);
  return delimiter_;
}
