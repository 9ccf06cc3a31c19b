#pragma once

// A build of four bundles for the benchmarks that upload every dSYM: the
// sample app (scripts/build-sample-app.sh), two frameworks and an app
// extension, each with its dSYM made by dsymutil from a real Mach-O file,
// and the DWARF files grown to 150, 60, 60 and 30 MB of real debug
// information, each from its own place in it; the same laid out as an
// archive; and the same upload done by hand, `zip -r` and `curl -F` of
// each dSYM.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/DebugInfo.h"
#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"

namespace bench {

struct Bundle {
  std::string product;  // the product's folder: App.app, Bar.framework...
  std::string dwarf;    // its dSYM's DWARF file's name
  size_t megabytes;
  std::string dsym() const { return product + ".dSYM"; }
};

inline const std::vector<Bundle> kFourBundles = {{"App.app", "App", 150},
                                                 {"Bar.framework", "Bar", 60},
                                                 {"Foo.framework", "Foo", 60},
                                                 {"Share.appex", "Share", 30}};

namespace detail {

inline bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

// PRODUCT (a framework's dylib or an extension's executable NAME) with its
// Info.plist, and PRODUCT.dSYM beside it; object files go to OBJECTS.
inline bool addProduct(const std::filesystem::path& products, const std::filesystem::path& objects,
                       const std::string& product, const std::string& name, bool dylib) {
  const std::string source = (objects / (name + ".c")).string();
  const std::string binary = (objects / name).string();
  std::ofstream(source) << "int " << name << "Value = 1;\nint main(void) { return " << name
                        << "Value - 1; }\n";
  const std::string link = dylib ? "-dylib -install_name @rpath/" + name : "-e _main";
  const std::filesystem::path folder = products / product;
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "Info.plist")
      << "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>" << name
      << "</string></dict></plist>\n";
  return shell("clang-14 -target arm64-apple-ios9.0 -g -c '" + source + "' -o '" + binary +
               ".o'") &&
         shell("ld64.lld-14 -arch arm64 -platform_version ios 9.0 14.0 " + link + " '" + binary +
               ".o' -o '" + binary + "'") &&
         shell("dsymutil-14 '" + binary + "' -o '" + (products / (product + ".dSYM")).string() +
               "'") &&
         shell("cp '" + binary + "' '" + (folder / name).string() + "'");
}

}  // namespace detail

// Lays out the four products and their dSYMs side by side in PRODUCTS, as
// a build leaves them, with object files in OBJECTS; false when a tool fails.
inline bool buildFourBundles(const std::filesystem::path& products,
                             const std::filesystem::path& objects) {
  std::filesystem::create_directories(objects);
  if (!buildSampleApp(products) ||
      !detail::addProduct(products, objects, "Foo.framework", "Foo", true) ||
      !detail::addProduct(products, objects, "Bar.framework", "Bar", true) ||
      !detail::addProduct(products, objects, "Share.appex", "Share", false))
    return false;
  size_t skip = 0;
  for (const auto& bundle : kFourBundles) {
    growWithDebugInfo(products / bundle.dsym() / "Contents/Resources/DWARF" / bundle.dwarf,
                      bundle.megabytes, skip);
    skip += bundle.megabytes;
  }
  return true;
}

// The archive's Info.plist: the app's identity, as an archive action writes it.
inline const char* const kArchiveInfo = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
	<key>ApplicationProperties</key>
	<dict>
		<key>ApplicationPath</key>
		<string>Applications/App.app</string>
		<key>CFBundleIdentifier</key>
		<string>com.example.App</string>
		<key>CFBundleShortVersionString</key>
		<string>1.0</string>
		<key>CFBundleVersion</key>
		<string>42</string>
	</dict>
	<key>ArchiveVersion</key>
	<integer>2</integer>
	<key>Name</key>
	<string>App</string>
</dict>
</plist>
)";

// Moves the four-bundle build in PRODUCTS into the layout of an archive:
// the app with its frameworks and extension embedded, the dSYMs beside.
inline bool layOutArchive(const std::filesystem::path& products,
                          const std::filesystem::path& archive) {
  namespace fs = std::filesystem;
  const fs::path app = archive / "Products/Applications/App.app";
  try {
    fs::create_directories(app.parent_path());
    fs::create_directories(archive / "dSYMs");
    fs::rename(products / "App.app", app);
    fs::create_directory(app / "Frameworks");
    fs::create_directory(app / "PlugIns");
    for (const auto& bundle : kFourBundles) {
      const char* inner = bundle.product.ends_with(".framework") ? "Frameworks" : "PlugIns";
      if (bundle.product != "App.app")
        fs::rename(products / bundle.product, app / inner / bundle.product);
      fs::rename(products / bundle.dsym(), archive / "dSYMs" / bundle.dsym());
    }
  } catch (const fs::filesystem_error& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return false;
  }
  return static_cast<bool>(std::ofstream(archive / "Info.plist") << kArchiveInfo);
}

// `zip -r` and `curl -F` (with KEY) of each of the four dSYMs in DSYMS to
// the service, one after the other, through the file ZIP; the seconds of
// all of them, and status 1 when one failed.
inline Outcome zipAndCurlEach(const std::filesystem::path& dsyms, const std::filesystem::path& zip,
                              const Service& service, const std::string& key) {
  Outcome total;
  total.status = 0;
  for (const auto& bundle : kFourBundles) {
    auto zipped = measure({"/usr/bin/zip", "-r", "-y", "-q", zip, bundle.dsym()}, nullptr, dsyms);
    auto sent = measure(curlUpload(zip, service.baseURL(), key), nullptr, "");
    std::filesystem::remove(zip);
    total.seconds += zipped.seconds + sent.seconds;
    if (zipped.status != 0 || sent.status != 0) total.status = 1;
  }
  return total;
}

}  // namespace bench
