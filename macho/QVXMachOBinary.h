#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "macho/MachORecords.h"
#include "macho/QVXMachOSlice.h"
#include "macho/UUIDArchitecturePair.h"
#include "platform/files/FileURL.h"

// One Mach-O file, fat or thin, open for the object's whole life (its
// headers and load commands read at creation, see MachOFile.h), with every slice decoded into a
// QVXMachOSlice at creation.
class QVXMachOBinary {
 public:
  // Called once per slice with its UUID string (nothing without one) and
  // its architecture name.
  using UUIDCallback =
      std::function<void(const std::optional<std::string>& uuid, const std::string& architecture)>;

  // A binary for the file at path (made into a file URL); nullptr when the
  // file cannot be opened and mapped.
  static std::shared_ptr<QVXMachOBinary> MachOBinaryWithPath(const std::string& path);

  // A binary for the file the URL names; nullptr for an absent URL, one
  // without a file path, or a file that cannot be opened and mapped
  // (missing, unreadable, shorter than 16 bytes, not a regular file).
  static std::shared_ptr<QVXMachOBinary> initWithURL(const std::optional<platform::FileURL>& url);

  ~QVXMachOBinary();
  QVXMachOBinary(const QVXMachOBinary&) = delete;
  QVXMachOBinary& operator=(const QVXMachOBinary&) = delete;

  // The URL given at creation, and its file-system path.
  const platform::FileURL& URL() const { return _url; }
  std::string path() const;

  // The slice objects in the order of the file's slice walk.
  const std::vector<std::shared_ptr<QVXMachOSlice>>& slices() const { return _slices; }

  // Passes each slice's UUID and architecture name to the callback, in
  // the order of slices(). The callback must be present.
  void enumerateUUIDs(const UUIDCallback& callback) const;

  // The UUID and architecture of each slice that has a UUID, in the order
  // of slices().
  std::vector<UUIDArchitecturePair> uuidArchitecturePairs() const;

  // Whether a slice starts with a Mach-O header: a file of another kind
  // (a .DS_Store) opens too, as one slice without facts.
  bool isMachO() const;

  // Whether the file was complete when it was opened (see
  // QVXMachOFileIsComplete), and its identity then.
  bool isComplete() const { return _complete; }
  const platform::FileIdentity& identity() const { return _file.identity; }

  // The first slice whose architecture name equals the text, or nullptr.
  std::shared_ptr<QVXMachOSlice> sliceForArchitecture(const std::string& architecture) const;

  // SHA-1 (40 lowercase hexadecimal digits) of the slices' UUID strings
  // joined in ascending order of architecture name; computed once.
  std::string instanceIdentifier();

 private:
  explicit QVXMachOBinary(platform::FileURL url) : _url(std::move(url)) {}

  platform::FileURL _url;
  machofile::QVXMachOFile _file;
  // Expires when the mapping goes, so that surviving slices stop using it.
  std::shared_ptr<const void> _mappingLifetime = std::make_shared<const int>(0);
  std::vector<std::shared_ptr<QVXMachOSlice>> _slices;
  std::optional<std::string> _instanceIdentifier;
  bool _complete = false;
};
