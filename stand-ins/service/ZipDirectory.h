#pragma once

#include <optional>
#include <string>
#include <vector>

namespace standin {

// The entry names of a zip archive, in the order of its central directory;
// nothing, with the reason in *error, when the file is no readable zip.
// Archives in the zip64 form are read as well.
std::optional<std::vector<std::string>> zipEntryNames(const std::string& path, std::string* error);

// The archive's single top folder ("NAME.dSYM/") when every entry lies in
// it and the first entry is that folder itself; else "" with the reason.
std::string dsymTopFolder(const std::vector<std::string>& names, std::string* error);

}  // namespace standin
