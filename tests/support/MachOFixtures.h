#pragma once

// Real Mach-O files made by the machine's LLVM (clang-14, ld64.lld-14,
// llvm-lipo-14, dsymutil-14), and the answers llvm-dwarfdump-14 reads from
// them. Every helper throws std::runtime_error when a tool fails, so a test
// that uses one fails with the tool's own message.
//
// Typical use:
//   TempDir dir;
//   auto arm64 = buildiOSExecutable(dir.path(), "App-arm64", "9.0");
//   auto sim = buildiOSSimulatorExecutable(dir.path(), "App-sim", "9.0");
//   auto fat = buildFatFile(dir / "App", {arm64, sim});
//   auto dwarf = buildDSYM(fat, dir / "App.dSYM");
//   auto pairs = dwarfdumpUUIDs(fat);   // [(uuid, "x86_64"), (uuid, "arm64")]

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The system a Mach-O file is built for, as ld64.lld's -platform_version names it.
enum class ApplePlatform { macOS, iOS, iOSSimulator, watchOS };

// What one thin executable is built for. Older systems (iOS below 12, macOS
// below 10.14) get a version-minimum command, newer ones LC_BUILD_VERSION;
// watchOS always gets LC_BUILD_VERSION.
struct MachOTarget {
  std::string architecture;  // as ld64.lld's -arch takes it: "arm64", "x86_64", "arm64_32"
  ApplePlatform platform = ApplePlatform::iOS;
  std::string minimumVersion;  // "9.0", "10.6.8"
  std::string sdkVersion;      // empty: a default newer than the minimum
};

// One slice as `llvm-dwarfdump-14 --uuid` prints it: the UUID in the
// 32-digit lowercase form without dashes, and the architecture name.
struct UUIDAndArchitecture {
  std::string uuid;
  std::string architecture;
  bool operator==(const UUIDAndArchitecture&) const = default;
};

// Builds a thin executable at folder/name from a small C program with debug
// information. The name is compiled into the program, so executables of
// different names have different UUIDs. The object file and source stay in
// folder/.objects (dsymutil reads the object file later). Returns the path.
std::string buildThinExecutable(const std::string& folder, const std::string& name,
                                const MachOTarget& target);

// The same linked as a dynamic library (ld64.lld-14 -dylib), as the binary
// of an embedded framework is.
std::string buildThinDylib(const std::string& folder, const std::string& name,
                           const MachOTarget& target);

// Shorthands for the targets the tests use most.
std::string buildiOSExecutable(const std::string& folder, const std::string& name,
                               const std::string& minimumVersion);  // arm64 iOS
std::string buildMacOSExecutable(const std::string& folder, const std::string& name,
                                 const std::string& minimumVersion);  // x86_64 macOS
std::string buildiOSSimulatorExecutable(const std::string& folder, const std::string& name,
                                        const std::string& minimumVersion);  // x86_64 simulator
std::string buildWatchOSExecutable(const std::string& folder, const std::string& name,
                                   const std::string& minimumVersion);  // arm64_32 watchOS

// A fat file of the given thin files (llvm-lipo-14 -create) at outputPath.
// llvm-lipo orders the slices itself; dwarfdumpUUIDs gives the file order.
std::string buildFatFile(const std::string& outputPath, const std::vector<std::string>& thinPaths);

// A dSYM bundle of the executable made by dsymutil-14 at dsymPath (for
// example folder/App.app.dSYM), with its Contents/Info.plist. Fat files
// work: a folder with a `lipo` link to llvm-lipo-14 is put on dsymutil's
// PATH. Returns the path of the DWARF file inside the bundle.
std::string buildDSYM(const std::string& executablePath, const std::string& dsymPath);

// Copies a thin or fat Mach-O file to outputPath with every minimum-OS
// command (LC_VERSION_MIN_MACOSX, _IPHONEOS, _TVOS, _WATCHOS and
// LC_BUILD_VERSION) removed from each slice: the following commands move up,
// the header's command count and size shrink, the freed bytes become zero.
// Returns outputPath.
std::string writeWithoutVersionCommands(const std::string& sourcePath,
                                        const std::string& outputPath);

// The same without LC_UUID, which ld64.lld-14 always writes.
std::string writeWithoutUUIDCommand(const std::string& sourcePath, const std::string& outputPath);

// Rewrites the CPU subtype in the header of a thin Mach-O file (for
// architectures the linker does not write, such as arm64e or x86_64h).
void patchThinCPUSubtype(const std::string& path, std::uint32_t cpusubtype);

// Copies a 32-bit fat file (as llvm-lipo writes it) to outputPath with its
// table entries i and j swapped, so that the table no longer lists the
// slices in the order of their offsets. Returns outputPath.
std::string writeWithFatEntriesSwapped(const std::string& sourcePath, const std::string& outputPath,
                                       std::size_t i, std::size_t j);

// Copies a 32-bit fat file to outputPath as a 64-bit fat file: magic
// 0xcafebabf and fat_arch_64 entries (64-bit offset and size), the slices
// where they were (the wider table fits in the room before the first
// slice). Returns outputPath.
std::string writeAsFat64(const std::string& sourcePath, const std::string& outputPath);

// Copies a thin or fat Mach-O file to outputPath as a fat file that also
// holds two slices stored big-endian, as the PowerPC slices of older
// libraries and their dSYMs are (no toolchain of this machine writes them):
// a ppc and a ppc64 DWARF slice from the tests' Mach-O builder, each with an
// LC_UUID and a __DWARF segment over the whole slice, put beside the file's
// slices by llvm-lipo-14. Returns outputPath.
std::string writeWithBigEndianSlices(const std::string& sourcePath, const std::string& outputPath);

// Rewrites the platform and minimum OS version (packed, 0x00010000 for
// 1.0) of the LC_BUILD_VERSION command of a thin little-endian Mach-O
// file, for systems the linker does not know (visionOS is platform 11).
void patchBuildVersion(const std::string& path, std::uint32_t platform, std::uint32_t minos);

// The (UUID, architecture) pairs `llvm-dwarfdump-14 --uuid` prints, in
// slice order.
std::vector<UUIDAndArchitecture> dwarfdumpUUIDs(const std::string& path);

// The output of `llvm-objdump-14 --macho --private-headers` (load commands).
std::string objdumpPrivateHeaders(const std::string& path);

}  // namespace testsupport
