#pragma once

#include <string>
#include <vector>

#include "platform/Environment.h"

// Whether build-server mode uploads every dSYM bundle of the build, not only
// the app's: QUORVEX_UPLOAD_ALL_DSYMS, by the boolean-true rule.
bool uploadsAllDSYMs(const platform::Environment& environment);

// The dSYM bundles directly inside DWARF_DSYM_FOLDER_PATH other than the
// app's own (a framework's, an extension's), chosen as the build cache
// chooses them, in name order. Ends the run when the folder cannot be listed.
std::vector<std::string> otherDSYMNames(const platform::Environment& environment);

// Stops the run with "dSYM Error" unless each bundle describes the product
// beside it (Foo.framework.dSYM and the executable of Foo.framework), after
// the same wait as the app's dSYM. A bundle without a readable product
// beside it has nothing to compare.
void checkOtherDSYMsMatchTheirProducts(const platform::Environment& environment,
                                       const std::vector<std::string>& names);
