#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "macho/QVXMachOBinary.h"
#include "platform/files/Bundle.h"
#include "platform/files/FileURL.h"

// One dSYM bundle: its identity and versions from the bundle's information
// property list, and the DWARF file inside it opened as a QVXMachOBinary.
class QVXdSYM {
 public:
  // The same as initWithURL.
  static std::shared_ptr<QVXdSYM> dSYMWithURL(const std::optional<platform::FileURL>& url);

  // A dSYM object for the bundle directory the URL names; nullptr when the
  // path does not exist, is not a bundle directory, has no
  // Contents/Resources/DWARF directory, or that directory is empty. A first
  // DWARF entry that does not open as Mach-O leaves the object without binary.
  static std::shared_ptr<QVXdSYM> initWithURL(const std::optional<platform::FileURL>& url);

  // The bundle identifier without the "com.apple.xcode.dsym." prefix
  // (case-sensitive); nothing when the bundle has none.
  std::optional<std::string> bundleIdentifier() const;

  // The URL and path of the DWARF file; nothing without binary.
  std::optional<platform::FileURL> executableURL() const;
  std::optional<std::string> executablePath() const;

  // The bundle's "CFBundleVersion" and "CFBundleShortVersionString", stored
  // values unchanged (any type); nothing when absent.
  std::optional<platform::Value> bundleVersion() const;
  std::optional<platform::Value> shortBundleVersion() const;

  // The DWARF file as a binary object; nullptr without one.
  const std::shared_ptr<QVXMachOBinary>& binary() const { return _binary; }

  // Passes each slice's UUID and architecture of the DWARF file to the
  // callback; never calls it without binary.
  void enumerateUUIDs(const QVXMachOBinary::UUIDCallback& callback) const;

  // Passes each Mach-O file of the DWARF directory to the callback, the
  // binary's first and the others in listing order (a bundle may carry more
  // than one DWARF file); entries that do not open, or open as some other
  // kind of file (a .DS_Store), are skipped.
  void enumerateDWARFFiles(const std::function<void(const QVXMachOBinary&)>& callback) const;

  QVXdSYM(const QVXdSYM&) = delete;
  QVXdSYM& operator=(const QVXdSYM&) = delete;

 private:
  explicit QVXdSYM(platform::Bundle bundle) : _bundle(std::move(bundle)) {}

  platform::Bundle _bundle;
  std::shared_ptr<QVXMachOBinary> _binary;
  // The DWARF directory's entries after the first, as full paths.
  std::vector<std::string> _otherDWARFEntries;
};
