#include "platform/zip/ZipExtraction.h"

#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/Text.h"
#include "platform/files/FileRemoval.h"
#include "platform/files/TemporaryFolder.h"
#include "platform/urlloading/PercentEscape.h"
#include "platform/zip/ZipEntryNames.h"

namespace platform {
namespace {

using ArchiveHandle = std::unique_ptr<archive, int (*)(archive*)>;

// The data of an entry passes through this buffer, so that its size is
// counted as it is read, whatever its header says.
constexpr std::size_t kBlockSize = 256 * 1024;

// The write side refuses ".." and links on the way (the names are checked
// before, and no link is ever made, so this only guards against our own
// mistakes). Absolute names are refused by our own check instead: the
// destination is an absolute path, and leaving it for the working folder
// would change the whole process's state.
constexpr int kWriteFlags =
    ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_TIME;

// A new folder only this user can enter, its path without links so that
// the write side's link check passes through it.
std::optional<std::string> makePrivateFolder(std::string& errorText) {
  Error madeError;
  auto folder = makePrivateTemporaryFolder("run-zip-", &madeError);
  if (!folder) {
    errorText = madeError.localizedDescription + " to extract into";
    return std::nullopt;
  }
  std::error_code error;
  std::string resolved = std::filesystem::canonical(*folder, error).string();
  if (!error) return resolved;
  removeItemAtPath(*folder);
  errorText = "cannot resolve the folder " + *folder;
  return std::nullopt;
}

// The number of path components of a name in the folder.
std::size_t depthOf(const std::string& name) {
  return static_cast<std::size_t>(std::count(name.begin(), name.end(), '/')) + 1;
}

// The entry's name as it is shown: escaped when it is not UTF-8.
std::string shownName(const std::string& name) {
  return isValidUTF8(name) ? "\"" + name + "\"" : percentEscapeQueryText(name);
}

// The name in the folder: "." and empty components dropped; nothing when
// the name is absolute or has a ".." component.
std::optional<std::string> nameInFolder(const std::string& name) {
  if (name.empty() || name.front() == '/') return std::nullopt;
  std::string result;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string component = name.substr(start, end - start);
    if (component == "..") return std::nullopt;
    if (!component.empty() && component != ".") result += (result.empty() ? "" : "/") + component;
    start = end + 1;
  }
  return result;
}

// While it lives, this thread's text conversions take UTF-8 for the local
// character set, whatever the process's locale is: libarchive converts the
// names a zip marks as UTF-8 to that set, which in the "C" locale cannot
// hold anything but ASCII.
class UTF8Names {
 public:
  UTF8Names() : utf8_(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0))) {
    if (utf8_) previous_ = uselocale(utf8_);
  }
  ~UTF8Names() {
    if (!utf8_) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  UTF8Names(const UTF8Names&) = delete;
  UTF8Names& operator=(const UTF8Names&) = delete;

 private:
  locale_t utf8_;
  locale_t previous_ = LC_GLOBAL_LOCALE;
};

class Extraction {
 public:
  Extraction(const std::string& zipPath, const std::string& folder,
             const ZipExtractionLimits& limits)
      : zip_(zipPath),
        folder_(folder),
        limits_(limits),
        reader_(archive_read_new(), archive_read_free),
        writer_(archive_write_disk_new(), archive_write_free) {}

  // Every entry extracted; false with errorText set otherwise.
  bool run(std::string& errorText) {
    if (!open() || !extractEntries()) {
      errorText = error_;
      return false;
    }
    return true;
  }

 private:
  bool fail(const std::string& text) {
    error_ = text;
    return false;
  }

  // "the entry NAME of the zip PATH", as errors name an entry.
  std::string entryText(const std::string& name) const {
    return "the entry " + shownName(name) + " of the zip " + zip_;
  }

  bool failWriting(const std::string& name) {
    return fail("cannot extract " + entryText(name) + ": " + archive_error_string(writer_.get()));
  }

  bool failReading(const std::string& what) {
    return fail("the zip " + zip_ + " is damaged or not a zip (" + what +
                archive_error_string(reader_.get()) + ")");
  }

  bool open() {
    if (!reader_ || !writer_) return fail("cannot read the zip " + zip_ + ": out of memory");
    archive_read_support_format_zip_seekable(reader_.get());
    archive_write_disk_set_options(writer_.get(), kWriteFlags);
    if (archive_read_open_filename(reader_.get(), zip_.c_str(), kBlockSize) != ARCHIVE_OK)
      return failReading("");
    return true;
  }

  bool extractEntries() {
    archive_entry* entry = nullptr;
    while (true) {
      int status = archive_read_next_header(reader_.get(), &entry);
      if (status == ARCHIVE_EOF) return true;
      if (status != ARCHIVE_OK && status != ARCHIVE_WARN) return failReading("");
      if (++entries_ > limits_.maxEntries)
        return fail("the zip " + zip_ + " holds more than " + std::to_string(limits_.maxEntries) +
                    " entries");
      if (!extractEntry(entry)) return false;
    }
  }

  // The entry's name as stored, in UTF-8 where the zip says it is.
  static std::string storedName(archive_entry* entry) {
    const char* name = archive_entry_pathname_utf8(entry);
    if (!name) name = archive_entry_pathname(entry);
    return name ? name : "";
  }

  // Why the entry may not be extracted, or nothing when it may.
  std::optional<std::string> refusal(archive_entry* entry, const std::string& name,
                                     const std::optional<std::string>& inFolder) {
    std::string shown = entryText(name);
    if (name.empty()) return "an entry without a name in the zip " + zip_;
    if (!isValidUTF8(name)) return shown + " is not named in UTF-8";
    if (!inFolder) return shown + " reaches out of its folder";
    if (depthOf(*inFolder) > limits_.maxDepth)
      return shown + " lies deeper than " + std::to_string(limits_.maxDepth) + " folders";
    if (archive_entry_hardlink(entry) || archive_entry_filetype(entry) == AE_IFLNK)
      return shown + " is a link";
    auto type = archive_entry_filetype(entry);
    if (type != AE_IFREG && type != AE_IFDIR) return shown + " is neither a file nor a folder";
    // The later entry would replace the earlier one.
    if (names_.clashes(*inFolder, type == AE_IFDIR))
      return shown + " clashes with an earlier entry";
    return std::nullopt;
  }

  bool extractEntry(archive_entry* entry) {
    std::string name = storedName(entry);
    std::optional<std::string> named = nameInFolder(name);
    if (auto refused = refusal(entry, name, named)) return fail(*refused);
    const std::string& inFolder = *named;
    if (inFolder.empty()) return true;  // the top folder itself, as "./"
    bool folder = archive_entry_filetype(entry) == AE_IFDIR;
    bool executable = (archive_entry_perm(entry) & 0111) != 0;
    archive_entry_set_perm(entry, folder || executable ? 0755 : 0644);
    archive_entry_copy_pathname(entry, (folder_ + "/" + inFolder).c_str());
    if (archive_write_header(writer_.get(), entry) != ARCHIVE_OK) return failWriting(name);
    if (!folder && !copyData(name)) return false;
    if (archive_write_finish_entry(writer_.get()) != ARCHIVE_OK) return failWriting(name);
    return true;
  }

  // The reader's place in the zip: the bytes read of it so far.
  std::uint64_t position() const {
    return static_cast<std::uint64_t>(
        std::max<la_int64_t>(archive_filter_bytes(reader_.get(), 0), 0));
  }

  // Copies the entry's data, counting what it and the whole zip expand to
  // against the bytes taken from the zip so far, block by block.
  bool copyData(const std::string& name) {
    std::uint64_t start = position();
    std::uint64_t expanded = 0;
    while (true) {
      la_ssize_t size = archive_read_data(reader_.get(), buffer_.data(), buffer_.size());
      if (size == 0) return true;
      if (size < 0) return failReading("entry " + shownName(name) + ": ");
      expanded += static_cast<std::uint64_t>(size);
      total_ += static_cast<std::uint64_t>(size);
      if (!withinLimits(name, expanded, start)) return false;
      if (archive_write_data(writer_.get(), buffer_.data(), static_cast<std::size_t>(size)) != size)
        return failWriting(name);
    }
  }

  bool withinLimits(const std::string& name, std::uint64_t expanded, std::uint64_t start) {
    std::uint64_t read = std::max<std::uint64_t>(position(), 1);
    std::uint64_t compressed = std::max<std::uint64_t>(read - std::min(start, read), 1);
    if (expanded > limits_.ratioFloorBytes && expanded > limits_.maxRatio * compressed)
      return fail(entryText(name) + " expands to more than " + std::to_string(limits_.maxRatio) +
                  " times its compressed size");
    if (total_ > limits_.wholeRatioFloorBytes && total_ > limits_.maxRatio * read)
      return fail("the zip " + zip_ + " expands to more than " + std::to_string(limits_.maxRatio) +
                  " times the bytes read from it (at the entry " + shownName(name) + ")");
    if (total_ > limits_.totalBytes)
      return fail("the zip " + zip_ + " expands to more than " +
                  std::to_string(limits_.totalBytes) + " bytes (at the entry " + shownName(name) +
                  ")");
    return true;
  }

  std::string zip_;
  std::string folder_;
  ZipExtractionLimits limits_;
  ArchiveHandle reader_;
  ArchiveHandle writer_;
  ZipEntryNames names_;
  std::uint64_t total_ = 0;
  std::uint64_t entries_ = 0;
  std::string error_;
  std::vector<char> buffer_ = std::vector<char>(kBlockSize);
};

}  // namespace

std::optional<std::string> extractZipToPrivateFolder(const std::string& zipPath,
                                                     std::string& errorText,
                                                     const ZipExtractionLimits& limits) {
  auto folder = makePrivateFolder(errorText);
  if (!folder) return std::nullopt;
  bool extracted = false;
  {
    UTF8Names names;
    Extraction extraction(zipPath, *folder, limits);
    extracted = extraction.run(errorText);
  }  // the last file is closed before its folder goes
  if (extracted) return folder;
  removeItemTreeAtPath(*folder);
  return std::nullopt;
}

}  // namespace platform
