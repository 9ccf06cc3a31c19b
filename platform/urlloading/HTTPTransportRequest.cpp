#include "platform/urlloading/HTTPTransportRequest.h"

namespace platform {

bool sameHeaderName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

MutableURLRequest MutableURLRequest::requestWithURL_cachePolicy_timeoutInterval(
    std::optional<URL> url, int cachePolicy, double timeoutInterval) {
  MutableURLRequest request;
  request.url_ = std::move(url);
  request.cachePolicy_ = cachePolicy;
  request.timeoutInterval_ = timeoutInterval;
  return request;
}

void MutableURLRequest::addValue_forHTTPHeaderField(const std::string& value,
                                                    const std::string& field) {
  for (auto& [name, existing] : headers_) {
    if (sameHeaderName(name, field)) {
      existing += "," + value;
      return;
    }
  }
  headers_.emplace_back(field, value);
}

std::optional<std::string> MutableURLRequest::valueForHTTPHeaderField(
    const std::string& field) const {
  for (const auto& [name, value] : headers_) {
    if (sameHeaderName(name, field)) return value;
  }
  return std::nullopt;
}

}  // namespace platform
