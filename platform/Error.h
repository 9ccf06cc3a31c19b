#pragma once

#include <string>

namespace platform {

// An error value: a domain, a code and a description, as the system's
// errors carry them. Its text form is Foundation's:
// Error Domain=DOMAIN Code=N "DESCRIPTION".
struct Error {
  std::string domain;
  long long code = 0;
  std::string localizedDescription;

  std::string description() const {
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" +
           localizedDescription + "\"";
  }

  // The generic description Foundation gives an error made without user info.
  static Error withDomain(std::string domain, long long code) {
    std::string text = "The operation couldn\u2019t be completed. (" + domain + " error " +
                       std::to_string(code) + ".)";
    return Error{std::move(domain), code, std::move(text)};
  }
};

}  // namespace platform
