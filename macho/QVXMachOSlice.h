#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "macho/MachORecords.h"

// The version triple the object layer reports; the reader's record.
using QVXMachOVersion = machofile::QVXMachOVersion;

// One architecture slice of a Mach-O image, decoded once at creation by a
// single walk over its load commands.
class QVXMachOSlice {
 public:
  // A slice object for the running process's main image; on Linux it has
  // no image, so no UUID, no libraries, versions 0.0.0 and name "unknown".
  static std::shared_ptr<QVXMachOSlice> runningSlice();

  // A slice object decoded from a copy of the record, which must be present.
  static std::shared_ptr<QVXMachOSlice> initWithSlice(const machofile::QVXMachOSlice* slice);

  // The same, for a slice of an image that lives as long as `imageLifetime`:
  // once it has expired, the section getters give nullptr instead of
  // reading an unmapped image.
  static std::shared_ptr<QVXMachOSlice> initWithSlice(const machofile::QVXMachOSlice* slice,
                                                      std::weak_ptr<const void> imageLifetime);

  // The UUID string of the slice's last UUID command; nothing when it has none.
  const std::optional<std::string>& uuid() const { return _uuidString; }

  // The architecture name of the slice (Apple's toolchain names; "unknown").
  std::string architectureName() const;

  // Paths of the slice's LC_LOAD_DYLIB commands in command order (weak,
  // re-exported, lazy and upward loads are not listed).
  const std::vector<std::string>& linkedDylibs() const { return _linkedDylibs; }

  // Minimum OS and SDK versions of the last version command (a version-minimum
  // command, or LC_BUILD_VERSION for macOS, iOS, Mac Catalyst or the iOS
  // simulator); 0.0.0 without one.
  QVXMachOVersion minimumOSVersion() const { return _minimumOSVersion; }
  QVXMachOVersion linkedSDKVersion() const { return _linkedSDKVersion; }

  // The system the slice is built for, as LC_BUILD_VERSION numbers it
  // (PLATFORM_MACOS, PLATFORM_IOS, ...), from its last version command: a
  // version-minimum command for macOS or iOS counts as that platform. Nothing
  // without one.
  const std::optional<std::uint32_t>& buildPlatform() const { return _buildPlatform; }

  // Starts of the slice's "__eh_frame" and "__unwind_info" sections, or
  // nullptr; they point into the binary's mapping and are usable only
  // while the binary that made the slice lives (nullptr once it is gone).
  const std::uint8_t* ehFrameData() const;
  const std::uint8_t* unwindInfoData() const;

  // Whether the slice starts with a Mach-O header; an image of any other
  // kind has no load commands, so its facts are all defaults.
  bool hasMachOHeader() const { return _hasMachOHeader; }

  // The slice's record, its CPU fields as its own Mach-O header states them.
  const machofile::QVXMachOSlice& sliceRecord() const { return _slice; }

  QVXMachOSlice(const QVXMachOSlice&) = delete;
  QVXMachOSlice& operator=(const QVXMachOSlice&) = delete;

 private:
  explicit QVXMachOSlice(const machofile::QVXMachOSlice& slice) : _slice(slice) {}
  void decodeLoadCommand(std::uint32_t cmd, const void* command);
  bool imageIsMapped() const;

  machofile::QVXMachOSlice _slice;
  std::optional<std::string> _uuidString;
  std::vector<std::string> _linkedDylibs;
  QVXMachOVersion _minimumOSVersion;
  QVXMachOVersion _linkedSDKVersion;
  std::optional<std::uint32_t> _buildPlatform;
  bool _hasMachOHeader = false;
  std::weak_ptr<const void> _imageLifetime;
  bool _imageLifetimeTracked = false;
};
