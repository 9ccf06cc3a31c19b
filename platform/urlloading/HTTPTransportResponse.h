#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/urlloading/URL.h"

namespace platform {

// Header fields of a response, one value per name as the server spelled it;
// a field the server repeated holds its values joined by ", ".
using HeaderFields = std::map<std::string, std::string>;

// The value of a header field, the name matched without regard to case.
std::optional<std::string> headerFieldValue(const HeaderFields& fields, const std::string& name);

// The transport's response head: the URL answered, and for an HTTP response
// its status code and header fields.
struct URLResponse {
  std::optional<URL> url;
  bool isHTTPResponse = true;
  std::uint64_t statusCode = 0;
  HeaderFields allHeaderFields;
};

}  // namespace platform
