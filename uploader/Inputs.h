#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uploader/Identity.h"
#include "uploader/OwnedFolder.h"

// An archive given as a PATH, with the app's identity its Info.plist gives.
struct ArchiveInput {
  std::string path;
  AppIdentity identity;
};

// One dSYM bundle found under a PATH.
struct FoundDSYM {
  std::string path;
  std::shared_ptr<const ArchiveInput> archive;   // the archive it is in, or null
  std::optional<std::string> productExecutable;  // the archive's product it describes
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
// the bundles of its dSYMs folder, each paired with its product in the
// archive), a .dSYM bundle, a folder (every .dSYM bundle under it, symbolic
// links not followed; __MACOSX folders and .dSYM folders that are no bundle
// are skipped) or a .zip (extracted, then read as a folder). A missing
// PATH, one of no such kind, a damaged zip or archive, or one holding no
// dSYM is bad input.
InputScan scanInputs(const std::vector<std::string>& paths);
