#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace platform {

// The location, as a URL text, of the application the desktop would open the
// URL with, found by the URL's scheme; nothing when no application is
// registered for it. Here an application is its desktop entry, and its
// location is the file:// URL of that entry. A look-up that takes more than
// a few seconds (a configuration file that is a FIFO, a hung file system)
// counts as none.
std::optional<std::string> applicationURLForURL(const std::string& url);

// The information dictionary of the application at a location given by
// applicationURLForURL. The desktop entry stands for the bundle's
// Contents/Info.plist: its key "X-Quorvex-Bundle-Version" gives
// "CFBundleVersion", absent when the entry has no such key. Nothing when the
// location is no readable desktop entry, or reading it takes more than a
// few seconds.
std::optional<Value> applicationInfoDictionary(const std::string& applicationURL);

}  // namespace platform
