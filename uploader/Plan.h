#pragma once

#include <string>
#include <vector>

#include "service/DSYMUpload.h"
#include "uploader/Inputs.h"
#include "uploader/Options.h"

// What a run of upload-dsyms will do: the uploads, each dSYM once; how
// many dSYMs were refused as stale (each counts as one not uploaded); and
// how many PATHs or bundles were bad input.
struct UploadPlan {
  std::vector<DSYMUploadDescription> uploads;
  int refused = 0;
  int badInputs = 0;
  std::vector<std::string> idsNotFound;  // the --id UUIDs no planned dSYM holds
};

// Describes each found dSYM: its pairs from all of its DWARF files, its
// identity (resolveIdentity), its zip in zipFolder. A bundle without a
// DWARF file or UUID, or without an app identifier, is bad input; one that
// does not describe its product in the archive is refused with "dSYM
// Error" naming both sets of pairs. The same app and UUID set met again is
// left out. Each is reported, naming the bundle. With --id, a bundle whose
// DWARF files hold none of the UUIDs is left out.
UploadPlan planUploads(const std::vector<FoundDSYM>& found, const UploadOptions& options,
                       const std::string& zipFolder);

// The exit status: 0 when nothing was bad and every dSYM was uploaded.
int uploadExitStatus(int badInputs, int uploaded, int total);
