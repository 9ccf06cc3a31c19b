#include "macho/QVXMachOBinary.h"

#include <algorithm>
#include <cstring>

#include "macho/QVXMachO.h"
#include "platform/Assert.h"
#include "platform/Digest.h"

namespace {

// Bytes as lowercase hexadecimal text through the table "0123456789abcdef";
// the empty text for no bytes.
std::string QVXSafeHexToString(const std::uint8_t* bytes, std::size_t length) {
  if (!bytes || length == 0) return "";
  return platform::lowercaseHex(bytes, length);
}

}  // namespace

std::shared_ptr<QVXMachOBinary> QVXMachOBinary::MachOBinaryWithPath(const std::string& path) {
  return initWithURL(platform::FileURL::fileURLWithPath(path));
}

std::shared_ptr<QVXMachOBinary> QVXMachOBinary::initWithURL(
    const std::optional<platform::FileURL>& url) {
  if (!url || !url->path()) return nullptr;
  std::shared_ptr<QVXMachOBinary> binary(new QVXMachOBinary(*url));
  if (!machofile::QVXMachOFileInitWithPath(&binary->_file, url->path()->c_str())) return nullptr;
  machofile::QVXMachOFileEnumerateSlices(
      &binary->_file, [&](const machofile::QVXMachOSlice* slice) {
        binary->_slices.push_back(QVXMachOSlice::initWithSlice(slice, binary->_mappingLifetime));
      });
  binary->_complete = machofile::QVXMachOFileIsComplete(&binary->_file);
  return binary;
}

QVXMachOBinary::~QVXMachOBinary() {
  _mappingLifetime.reset();
  machofile::QVXMachOFileDestroy(&_file);
}

std::string QVXMachOBinary::path() const { return _url.path().value_or(""); }

void QVXMachOBinary::enumerateUUIDs(const UUIDCallback& callback) const {
  QVX_ASSERT(callback, "callback", "-[QVXMachOBinary enumerateUUIDs:]", __FILE__, __LINE__);
  for (const auto& slice : _slices) callback(slice->uuid(), slice->architectureName());
}

std::vector<UUIDArchitecturePair> QVXMachOBinary::uuidArchitecturePairs() const {
  std::vector<UUIDArchitecturePair> pairs;
  enumerateUUIDs([&](const std::optional<std::string>& uuid, const std::string& architecture) {
    if (uuid) pairs.push_back({*uuid, architecture});
  });
  return pairs;
}

bool QVXMachOBinary::isMachO() const {
  return std::any_of(_slices.begin(), _slices.end(),
                     [](const auto& slice) { return slice->hasMachOHeader(); });
}

std::shared_ptr<QVXMachOSlice> QVXMachOBinary::sliceForArchitecture(
    const std::string& architecture) const {
  for (const auto& slice : _slices)
    if (slice->architectureName() == architecture) return slice;
  return nullptr;
}

// A slice without UUID contributes nothing; slices of one name keep their
// file order (the sort is stable).
std::string QVXMachOBinary::instanceIdentifier() {
  if (_instanceIdentifier) return *_instanceIdentifier;
  auto sorted = _slices;
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
    return a->architectureName() < b->architectureName();
  });
  std::string joined;
  for (const auto& slice : sorted) joined += slice->uuid().value_or("");
  const std::size_t length = std::strlen(joined.c_str());
  platform::SHA1Digest digest = platform::sha1(joined.data(), static_cast<std::uint32_t>(length));
  _instanceIdentifier = QVXSafeHexToString(digest.data(), digest.size());
  return *_instanceIdentifier;
}
