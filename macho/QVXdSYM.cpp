#include "macho/QVXdSYM.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/files/Path.h"

namespace {

constexpr std::string_view kDSYMIdentifierPrefix = "com.apple.xcode.dsym.";

// Every entry below a directory, descending into subdirectories (links are
// not followed), as paths relative to it. Sorted, so that the first entry
// does not depend on the file system's listing order; a directory comes
// before its contents.
std::vector<std::string> subpathsOfDirectory(const std::string& directory) {
  namespace fs = std::filesystem;
  std::vector<std::string> entries;
  std::error_code error;
  fs::recursive_directory_iterator it(directory, error), end;
  for (; !error && it != end; it.increment(error))
    entries.push_back(it->path().lexically_relative(directory).string());
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::optional<platform::Value> infoValue(const platform::Bundle& bundle, const std::string& key) {
  const platform::Value& info = bundle.infoDictionary();
  auto it = info.find(key);
  if (it == info.end()) return std::nullopt;
  return *it;
}

}  // namespace

std::shared_ptr<QVXdSYM> QVXdSYM::dSYMWithURL(const std::optional<platform::FileURL>& url) {
  return initWithURL(url);
}

std::shared_ptr<QVXdSYM> QVXdSYM::initWithURL(const std::optional<platform::FileURL>& url) {
  if (!url || !url->path() || !platform::fileExists(*url->path())) return nullptr;
  auto bundle = platform::Bundle::bundleWithPath(*url->path());
  if (!bundle) return nullptr;
  const std::string dwarfDirectory =
      platform::appendPathComponent(*url->path(), "Contents/Resources/DWARF");
  if (!platform::directoryExists(dwarfDirectory)) return nullptr;
  std::vector<std::string> entries = subpathsOfDirectory(dwarfDirectory);
  if (entries.empty()) return nullptr;
  std::shared_ptr<QVXdSYM> dSYM(new QVXdSYM(std::move(*bundle)));
  dSYM->_binary = QVXMachOBinary::initWithURL(platform::FileURL::fileURLWithPath(
      platform::appendPathComponent(dwarfDirectory, entries[0])));
  for (std::size_t i = 1; i < entries.size(); ++i)
    dSYM->_otherDWARFEntries.push_back(platform::appendPathComponent(dwarfDirectory, entries[i]));
  return dSYM;
}

std::optional<std::string> QVXdSYM::bundleIdentifier() const {
  auto identifier = _bundle.bundleIdentifier();
  if (identifier && identifier->starts_with(kDSYMIdentifierPrefix))
    return identifier->substr(kDSYMIdentifierPrefix.size());
  return identifier;
}

std::optional<platform::FileURL> QVXdSYM::executableURL() const {
  if (!_binary) return std::nullopt;
  return _binary->URL();
}

std::optional<std::string> QVXdSYM::executablePath() const {
  if (!_binary) return std::nullopt;
  return _binary->path();
}

std::optional<platform::Value> QVXdSYM::bundleVersion() const {
  return infoValue(_bundle, "CFBundleVersion");
}

std::optional<platform::Value> QVXdSYM::shortBundleVersion() const {
  return infoValue(_bundle, "CFBundleShortVersionString");
}

void QVXdSYM::enumerateUUIDs(const QVXMachOBinary::UUIDCallback& callback) const {
  if (_binary) _binary->enumerateUUIDs(callback);
}

void QVXdSYM::enumerateDWARFFiles(
    const std::function<void(const QVXMachOBinary&)>& callback) const {
  if (_binary && _binary->isMachO()) callback(*_binary);
  for (const std::string& path : _otherDWARFEntries)
    if (auto binary = QVXMachOBinary::MachOBinaryWithPath(path); binary && binary->isMachO())
      callback(*binary);
}
