#pragma once

#include <string>

namespace platform {

// Whether the text parses as an absolute URL: a scheme, a well-formed rest,
// and only characters that may stand in a URL unescaped.
bool isValidURL(const std::string& text);

// Asks the desktop to open the URL with the default application of its
// scheme, without waiting for that application. The application's standard
// streams lead to /dev/null, so it never holds the caller's console open.
// Returns false when the URL does not parse, no application is registered,
// the application cannot be started, or the desktop does not answer within
// a few seconds.
bool openURLWithDefaultApplication(const std::string& url);

}  // namespace platform
