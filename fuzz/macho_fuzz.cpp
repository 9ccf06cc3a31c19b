// libFuzzer target over the Mach-O reader and its objects: opening,
// walking slices and load commands, every command reader, section lookup,
// and the binary, slice and dSYM objects. The input is read twice: in
// place (the buffer libFuzzer hands over has exactly the input's size, so
// AddressSanitizer catches any read past its end) and as a file, the way
// the tool opens an executable.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "macho/QVXMachO.h"
#include "macho/QVXMachOBinary.h"
#include "macho/QVXdSYM.h"

namespace {

// A dSYM bundle folder of our own whose DWARF file each input replaces.
struct Workspace {
  Workspace() {
    std::random_device random;
    root = std::filesystem::temp_directory_path() /
           ("macho-fuzz-" + std::to_string(random()) + std::to_string(random()));
    bundle = root / "Fuzz.dSYM";
    dwarf = bundle / "Contents/Resources/DWARF/Fuzz";
    std::filesystem::create_directories(dwarf.parent_path());
    std::ofstream(bundle / "Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleIdentifier</key><string>com.apple.xcode.dsym.Fuzz</string>"
           "</dict></plist>\n";
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
  std::filesystem::path root, bundle, dwarf;
};

void readCommand(std::uint32_t, std::uint32_t, const void* command) {
  machofile::QVXMachONormalizeUUID(machofile::QVXMachOGetUUID(command));
  machofile::QVXMachOGetDylibPath(command);
  machofile::QVXMachOGetEncrypted(command);
  machofile::QVXMachOVersion versions[] = {machofile::QVXMachOGetMinimumOSVersion(command),
                                           machofile::QVXMachOGetLinkedSDKVersion(command),
                                           machofile::QVXMachOGetBuildMinimumOSVersion(command),
                                           machofile::QVXMachOGetBuildSDKVersion(command)};
  for (const auto& version : versions) machofile::QVXMachOFormatVersion(&version);
}

void walkInPlace(const std::uint8_t* data, std::size_t size) {
  machofile::QVXMachOEnumerateSlicesAtAddress(data, size, [](const machofile::QVXMachOSlice* s) {
    machofile::QVXMachOSlice slice = *s;
    machofile::QVXMachOSliceGetArchitectureName(&slice);
    machofile::QVXMachOSliceIs64Bit(&slice);
    machofile::QVXMachOSliceHasHeader(&slice);
    const std::uint8_t* ehFrame = nullptr;
    const std::uint8_t* unwindInfo = nullptr;
    machofile::QVXMachOSliceGetUnwindInformation(&slice, &ehFrame, &unwindInfo);
    machofile::QVXMachOSliceEnumerateLoadCommands(
        &slice, [](std::uint32_t cmd, std::uint32_t cmdsize, const void* command) {
          readCommand(cmd, cmdsize, command);
        });
    auto object = QVXMachOSlice::initWithSlice(&slice);
    object->architectureName();
    object->ehFrameData();
    object->unwindInfoData();
  });
}

void openAsFiles(const Workspace& workspace) {
  auto binary = QVXMachOBinary::MachOBinaryWithPath(workspace.dwarf.string());
  if (binary) {
    // A few lookups by name: each walks the slices, and a fuzzed table may
    // hold thousands.
    int lookups = 0;
    binary->enumerateUUIDs([&](const std::optional<std::string>&, const std::string& arch) {
      if (lookups++ < 4) binary->sliceForArchitecture(arch);
    });
    binary->instanceIdentifier();
    for (const auto& slice : binary->slices()) {
      slice->ehFrameData();
      slice->unwindInfoData();
    }
  }
  machofile::QVXMachOFile file;
  if (machofile::QVXMachOFileInitWithPath(&file, workspace.dwarf.c_str())) {
    machofile::QVXMachOFileSliceWithArchitectureName(&file, "arm64");
    machofile::QVXMachOFileDestroy(&file);
  }
  if (auto dSYM = QVXdSYM::dSYMWithURL(platform::FileURL::fileURLWithPath(workspace.bundle))) {
    dSYM->bundleIdentifier();
    dSYM->enumerateUUIDs([](const std::optional<std::string>&, const std::string&) {});
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Workspace workspace;
  walkInPlace(data, size);
  {
    std::ofstream out(workspace.dwarf, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  openAsFiles(workspace);
  return 0;
}
