#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/files/FileWriting.h"
#include "platform/urlloading/HTTPTransportBody.h"
#include "service/DSYMUpload.h"

// The needle a zip must not hold to go in a form with the usual boundary.
std::string formDelimiter();

// The zip of one bundle as the archiver makes it, written to a pipe
// ("-c -k --keepParent DSYM -") and kept in a new file of the description's
// zip folder as it comes, so that its upload can begin at once and a later
// attempt can send the file whole, with its length. Only bytes that will
// not change are handed on, and the end only once the archiver has ended
// well and the bundle is as its check found it: a body that reads it never
// ends with a zip that should not be sent.
class StreamedZip : public platform::GrowingFile {
 public:
  // Starts the archiver on a thread of its own. Nothing, with *failure,
  // when the archiver is missing.
  static std::shared_ptr<StreamedZip> start(const DSYMUploadDescription& description,
                                            ZipFailure* failure);
  ~StreamedZip() override;
  StreamedZip(const StreamedZip&) = delete;
  StreamedZip& operator=(const StreamedZip&) = delete;

  // The kept file, guarded against interrupts; removeZip removes it.
  const ZippedDSYM& zip() const { return zip_; }

  const std::string& path() const override { return zip_.path(); }
  // Nothing when the zip will not be whole, or holds the form's usual
  // delimiter (the bytes handed on stop short of it).
  std::optional<std::uint64_t> waitBeyond(std::uint64_t offset) override;

  // Blocks until the archiver has ended and the bundle has been looked at
  // again: nothing when the kept file is the whole zip of the bundle as it
  // was checked, else why it is not.
  std::optional<ZipFailure> finish();
  // Whether the zip holds the delimiter of the form's usual boundary, so
  // that its bytes cannot go in that form: it goes whole, from the kept
  // file, with a boundary of its own.
  bool holdsDelimiter();

 private:
  StreamedZip(const DSYMUploadDescription& description, std::string name, std::string path);
  void pump(const std::string& archiver);
  bool take(const std::uint8_t* bytes, std::size_t count);

  const DSYMUploadDescription description_;
  ZippedDSYM zip_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t handedOn_ = 0;  // bytes that readers may have
  bool done_ = false;           // the archiver ended and the bundle was looked at
  bool delimiter_ = false;
  std::optional<ZipFailure> failure_;
  const std::string delimiterText_ = formDelimiter();
  std::uint64_t kept_ = 0;  // bytes written to the file (the pump's own)
  std::string tail_;        // the last bytes taken, for a delimiter across two pieces
  std::unique_ptr<platform::NewFile> file_;
  std::thread thread_;
};
