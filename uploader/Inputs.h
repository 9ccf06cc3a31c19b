#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dsymcheck/DWARFFiles.h"
#include "uploader/Identity.h"
#include "uploader/OwnedFolder.h"

// A product of an archive (an app, app clip, watch app, extension,
// framework, bundle or library, at any depth under Products/): its bundle
// name ("Foo.framework"), its executable and the executable's pairs.
struct ArchiveProduct {
  std::string name;
  std::string executable;
  std::vector<UUIDArchitecturePair> pairs;
};

// An archive given as a PATH, with the app's identity its Info.plist gives
// (null values when it has none) and its products.
struct ArchiveInput {
  std::string path;
  AppIdentity identity;
  std::vector<ArchiveProduct> products;
};

// One dSYM bundle found under a PATH.
struct FoundDSYM {
  std::string path;
  std::shared_ptr<const ArchiveInput> archive;  // the archive it is in, or null
  // For a bundle from a zip: the zip's PATH and the folder it was
  // extracted into, which is gone after the run.
  std::string zip;
  std::string extractedFolder;

  // How messages name a path of the bundle: as it is, or for a bundle from
  // a zip, the zip and the entry ("dSYMs.zip:App.app.dSYM/Contents").
  std::string shown(const std::string& inside) const;
  std::string shownPath() const { return shown(path); }
};

// What the PATHs hold: the dSYM bundles, in the order of the PATHs (and of
// names within a folder), the number of PATHs that were bad input (each
// reported, naming it), and the folders of the extracted zips, kept while
// the bundles are read and sent (removed at the end; an interrupt removes
// them with the work folder they are made in).
struct InputScan {
  std::vector<FoundDSYM> dsyms;
  int badInputs = 0;
  std::vector<std::unique_ptr<OwnedFolder>> extractedZips;
};

// Reads each PATH by its kind: an .xcarchive (identity from its Info.plist,
// the bundles of its dSYMs folder, and every product under Products/), a
// .dSYM bundle, a folder (every .dSYM bundle and .zip under it, symbolic
// links not followed; __MACOSX folders and .dSYM folders without DWARF
// entries are skipped) or a .zip (extracted, then read as a folder; a zip
// in it is left as it is). A missing PATH, one of no such kind, a damaged
// zip, a folder that cannot be read whole, an archive without Info.plist
// (unless appIdGiven) or one holding no dSYM is bad input. Before a zip is
// extracted, roomForZips (when given) makes the run's TMPDIR ready; a zip
// is bad input when it answers false.
InputScan scanInputs(const std::vector<std::string>& paths, bool appIdGiven,
                     const std::function<bool()>& roomForZips = {});
