#include "macho/QVXMachOSlice.h"

#include "macho/QVXMachO.h"
#include "platform/Assert.h"
#include "platform/Text.h"

std::shared_ptr<QVXMachOSlice> QVXMachOSlice::runningSlice() {
  machofile::QVXMachOSlice current = machofile::QVXMachOSliceGetCurrent();
  return initWithSlice(&current);
}

std::shared_ptr<QVXMachOSlice> QVXMachOSlice::initWithSlice(const machofile::QVXMachOSlice* slice) {
  QVX_ASSERT(slice, "slice", "-[QVXMachOSlice initWithSlice:]", __FILE__, __LINE__);
  std::shared_ptr<QVXMachOSlice> object(new QVXMachOSlice(*slice));
  object->_hasMachOHeader = machofile::QVXMachOSliceHasHeader(slice);
  machofile::QVXMachOSliceEnumerateLoadCommands(
      &object->_slice, [&](std::uint32_t cmd, std::uint32_t, const void* command) {
        object->decodeLoadCommand(cmd, command);
      });
  return object;
}

std::shared_ptr<QVXMachOSlice> QVXMachOSlice::initWithSlice(
    const machofile::QVXMachOSlice* slice, std::weak_ptr<const void> imageLifetime) {
  auto object = initWithSlice(slice);
  object->_imageLifetime = std::move(imageLifetime);
  object->_imageLifetimeTracked = true;
  return object;
}

bool QVXMachOSlice::imageIsMapped() const {
  return !_imageLifetimeTracked || !_imageLifetime.expired();
}

namespace {

// LC_BUILD_VERSION counts as a version command only for the systems whose
// version-minimum commands are read (macOS and iOS, with Mac Catalyst and
// the iOS simulator): a tvOS, watchOS or visionOS version says nothing
// about the iOS or OS X rules, so such a slice reads as having none.
bool buildVersionSetsMinimum(const void* command) {
  using namespace machofile;
  auto platform = QVXMachOGetBuildPlatform(command);
  return platform && (*platform == PLATFORM_MACOS || *platform == PLATFORM_IOS ||
                      *platform == PLATFORM_MACCATALYST || *platform == PLATFORM_IOSSIMULATOR);
}

}  // namespace

// A later command of a kind replaces the earlier result. LC_BUILD_VERSION
// counts as a version command beside the version-minimum ones, since
// current toolchains write only it.
void QVXMachOSlice::decodeLoadCommand(std::uint32_t cmd, const void* command) {
  using namespace machofile;
  switch (cmd) {
    case LC_VERSION_MIN_MACOSX:
    case LC_VERSION_MIN_IPHONEOS:
      _buildPlatform = cmd == LC_VERSION_MIN_MACOSX ? PLATFORM_MACOS : PLATFORM_IOS;
      _minimumOSVersion = QVXMachOGetMinimumOSVersion(command);
      _linkedSDKVersion = QVXMachOGetLinkedSDKVersion(command);
      break;
    case LC_BUILD_VERSION:
      _buildPlatform = QVXMachOGetBuildPlatform(command);
      if (!buildVersionSetsMinimum(command)) break;
      _minimumOSVersion = QVXMachOGetBuildMinimumOSVersion(command);
      _linkedSDKVersion = QVXMachOGetBuildSDKVersion(command);
      break;
    case LC_LOAD_DYLIB:
      // A path that is not UTF-8 cannot become text and is skipped.
      if (const char* path = QVXMachOGetDylibPath(command); path && platform::isValidUTF8(path))
        _linkedDylibs.emplace_back(path);
      break;
    case LC_UUID:
      if (const std::uint8_t* bytes = QVXMachOGetUUID(command))
        _uuidString = QVXMachONormalizeUUID(bytes);
      break;
    default:
      break;
  }
}

std::string QVXMachOSlice::architectureName() const {
  return machofile::QVXMachOSliceGetArchitectureName(&_slice);
}

const std::uint8_t* QVXMachOSlice::ehFrameData() const {
  const std::uint8_t* ehFrame = nullptr;
  if (!imageIsMapped()) return nullptr;
  machofile::QVXMachOSliceGetUnwindInformation(&_slice, &ehFrame, nullptr);
  return ehFrame;
}

const std::uint8_t* QVXMachOSlice::unwindInfoData() const {
  const std::uint8_t* unwindInfo = nullptr;
  if (!imageIsMapped()) return nullptr;
  machofile::QVXMachOSliceGetUnwindInformation(&_slice, nullptr, &unwindInfo);
  return unwindInfo;
}
