#include "platform/files/Bundle.h"

#include "platform/files/Path.h"
#include "platform/propertylists/PropertyList.h"

namespace platform {

std::optional<Bundle> Bundle::bundleWithPath(const std::string& path) {
  if (!directoryExists(path)) return std::nullopt;
  auto info = dictionaryWithContentsOfFile(appendPathComponent(path, "Contents/Info.plist"));
  if (!info) info = dictionaryWithContentsOfFile(appendPathComponent(path, "Info.plist"));
  return Bundle(path, info ? std::move(*info) : Value::object());
}

std::optional<std::string> Bundle::bundleIdentifier() const {
  const std::string* identifier = textForKey(info_, "CFBundleIdentifier");
  if (!identifier) return std::nullopt;
  return *identifier;
}

}  // namespace platform

namespace platform {

std::optional<std::string> Bundle::executablePath() const {
  const std::string* name = textForKey(info_, "CFBundleExecutable");
  if (!name || name->empty() || *name == "." || *name == ".." ||
      name->find('/') != std::string::npos)
    return std::nullopt;
  const std::string contents = appendPathComponent(path_, "Contents");
  if (directoryExists(contents)) return appendPathComponent(contents, "MacOS/" + *name);
  return appendPathComponent(path_, *name);
}

}  // namespace platform
