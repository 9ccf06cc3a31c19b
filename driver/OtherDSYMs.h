#pragma once

#include <string>
#include <vector>

#include "dsymcheck/DWARFFiles.h"
#include "platform/Environment.h"

// Whether build-server mode uploads every dSYM bundle of the build, not only
// the app's: QUORVEX_UPLOAD_ALL_DSYMS, by the boolean-true rule.
bool uploadsAllDSYMs(const platform::Environment& environment);

// The dSYM bundles directly inside DWARF_DSYM_FOLDER_PATH other than the
// app's own (a framework's, an extension's), chosen as the build cache
// chooses them, in name order. Ends the run when the folder cannot be listed.
std::vector<std::string> otherDSYMNames(const platform::Environment& environment);

// A dSYM bundle to upload besides the app's, and what its check matched.
struct OtherDSYM {
  std::string name;
  DSYMMatch match;
};

// Stops the run with "dSYM Error" unless each bundle describes the product
// beside it (Foo.framework.dSYM and the executable of Foo.framework), after
// the same wait as the app's dSYM; returns the bundles to upload, each with
// the pairs of the DWARF file that holds its product's UUIDs. A bundle
// without a readable product beside it (or one without UUIDs) has nothing
// to compare and carries the pairs of its Mach-O files, once each of them is
// complete (the same wait, and "dSYM Error" at its end). An entry that is no
// dSYM bundle (no DWARF folder holding a Mach-O file) is skipped with a
// debug line.
std::vector<OtherDSYM> checkOtherDSYMsMatchTheirProducts(const platform::Environment& environment,
                                                         const std::vector<std::string>& names);
