#include "platform/urlloading/HTTPTransportResponse.h"

#include "platform/urlloading/HTTPTransportRequest.h"

namespace platform {

std::optional<std::string> headerFieldValue(const HeaderFields& fields, const std::string& name) {
  auto exact = fields.find(name);
  if (exact != fields.end()) return exact->second;
  for (const auto& [field, value] : fields) {
    if (sameHeaderName(field, name)) return value;
  }
  return std::nullopt;
}

}  // namespace platform
