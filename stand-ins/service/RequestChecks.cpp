#include "stand-ins/service/RequestChecks.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace standin {

namespace {

const char* const kDeveloperToken = "c0ffee1d5ea5e0ffb0a7d1ce5ca1ab1e0bad5eed";
const char* const kAccept = "application/json, application/x-plist";
const char* const kSecretHeader = "X-Quorvex-Build-Secret";

// Header names are matched without regard to case, as HTTP defines them
// (HTTP/2 always sends them in lower case); httplib::Headers does the same.
struct CaselessLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
  }
};
using HeaderNameMap = std::map<std::string, std::string, CaselessLess>;

// The identity headers every request carries, with their exact values
// ("" for the API key, whose value is only measured).
HeaderNameMap identityHeaders() {
  return {
      {"X-Quorvex-API-Key", ""},
      {"X-Quorvex-Developer-Token", kDeveloperToken},
      {"X-Quorvex-API-Client-Id", RUN_IDENTIFIER},
      {"User-Agent", std::string("run/") + RUN_VERSION},
      {"X-Quorvex-API-Client-Build-Version", RUN_BUILD_NUMBER},
      {"X-Quorvex-API-Client-Display-Version", RUN_VERSION},
  };
}

// The number of characters of a UTF-8 text.
std::size_t characterCount(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
  }));
}

bool startsWithCaseless(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool equalsCaseless(const std::string& text, const std::string& other) {
  return text.size() == other.size() && startsWithCaseless(text, other);
}

void checkExactHeader(const httplib::Headers& headers, const std::string& name,
                      const std::string& expected, std::vector<std::string>& problems) {
  std::size_t count = headers.count(name);
  if (count != 1) {
    problems.push_back(name + " appears " + std::to_string(count) + " times");
    return;
  }
  const std::string& value = headers.find(name)->second;
  if (!expected.empty() && value != expected)
    problems.push_back(name + " is \"" + value + "\", expected \"" + expected + "\"");
}

void checkSecret(RequestKind kind, const httplib::Headers& headers,
                 std::vector<std::string>& problems) {
  std::size_t count = headers.count(kSecretHeader);
  if (kind == RequestKind::Upload && count != 0)
    problems.push_back("an upload carries X-Quorvex-Build-Secret");
  if (kind == RequestKind::Notification && count > 1)
    problems.push_back("X-Quorvex-Build-Secret appears more than once");
  if (kind == RequestKind::Notification && count == 1 &&
      headers.find(kSecretHeader)->second.size() != 64)
    problems.push_back("X-Quorvex-Build-Secret is not 64 bytes long");
}

void checkFraming(const httplib::Headers& headers, std::vector<std::string>& problems) {
  checkExactHeader(headers, "Accept", kAccept, problems);
  checkExactHeader(headers, "Content-Type",
                   std::string("multipart/form-data; boundary=") + kBoundary, problems);
  // A body of unknown length (a zip sent while it is made) comes chunked
  // instead of with its length; both at once, or any other coding, is a fault.
  const std::size_t codings = headers.count("Transfer-Encoding");
  const bool chunked =
      codings == 1 && equalsCaseless(headers.find("Transfer-Encoding")->second, "chunked");
  if (codings != 0 && !chunked)
    problems.push_back("a Transfer-Encoding other than chunked is sent");
  if (chunked && headers.count("Content-Length") != 0)
    problems.push_back("both a Content-Length and a chunked Transfer-Encoding");
  if (!chunked && headers.count("Content-Length") != 1) problems.push_back("no Content-Length");
  if (headers.count("Expect") != 0) problems.push_back("an Expect header is sent");
}

void checkBodyFrame(const MultipartStream& body, std::vector<std::string>& problems) {
  if (!body.error().empty()) problems.push_back("malformed body: " + body.error());
  if (body.preamble() != "MIME-Version: 1.0")
    problems.push_back("the body does not start with \"MIME-Version: 1.0\\r\\n\"");
  if (body.epilogue() != "\r\n")
    problems.push_back("the closing delimiter is not followed by exactly CR LF");
}

bool isTextPart(const FormPart& part) {
  return part.headerLines ==
         std::vector<std::string>{"Content-Disposition: form-data; name=\"" + part.name + "\"",
                                  "Content-Type: text/plain"};
}

bool isLowercaseHex32(const std::string& text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// Checks that the text parts' names are, in order, a subsequence of the
// expected names that keeps every required one. Returns the parts used.
std::size_t checkFieldOrder(const std::vector<FormPart>& parts,
                            const std::vector<std::pair<std::string, bool>>& expected,
                            std::vector<std::string>& problems) {
  std::size_t index = 0;
  for (const auto& [name, required] : expected) {
    if (index < parts.size() && parts[index].name == name) {
      if (!isTextPart(parts[index])) problems.push_back("part " + name + " is not a text part");
      ++index;
    } else if (required) {
      problems.push_back("missing or out of order: " + name);
    }
  }
  return index;
}

void checkFilePart(const FormPart& part, std::vector<std::string>& problems) {
  std::vector<std::string> expected{
      "Content-Disposition: form-data; name=\"code_mapping[file]\"; "
      "filename=\"" +
          part.filename + "\"",
      "Content-Type: application/zip", "Content-Transfer-Encoding: binary"};
  if (part.name != "code_mapping[file]" || !part.hasFilename)
    problems.push_back("the last part is not the code_mapping[file] file part");
  else if (part.headerLines != expected)
    problems.push_back("the file part's headers are not the expected three lines");
  if (part.filename.size() <= 4 || part.filename.find('/') != std::string::npos ||
      part.filename.compare(part.filename.size() - 4, 4, ".zip") != 0)
    problems.push_back("the file name is not a plain NAME.zip: " + part.filename);
}

}  // namespace

std::vector<std::string> headerProblems(RequestKind kind, const httplib::Headers& headers) {
  std::vector<std::string> problems;
  auto identity = identityHeaders();
  for (const auto& [name, value] : identity) checkExactHeader(headers, name, value, problems);
  auto key = headers.find("X-Quorvex-API-Key");
  if (key != headers.end() && characterCount(key->second) != 40)
    problems.push_back("X-Quorvex-API-Key is not 40 characters long");
  checkSecret(kind, headers, problems);
  for (const auto& [name, value] : headers) {
    bool secret =
        name.size() == std::strlen(kSecretHeader) && startsWithCaseless(name, kSecretHeader);
    if (startsWithCaseless(name, "X-Quorvex-") && !secret && identity.count(name) == 0)
      problems.push_back("unexpected header " + name);
  }
  checkFraming(headers, problems);
  return problems;
}

std::vector<std::string> notificationFormProblems(const MultipartStream& body) {
  std::vector<std::string> problems;
  checkBodyFrame(body, problems);
  const auto& parts = body.parts();
  std::size_t used =
      checkFieldOrder(parts, {{"app_name", false}, {"tool_details", true}}, problems);
  if (used != parts.size()) problems.push_back("unexpected parts after tool_details");
  for (const FormPart& part : parts) {
    if (part.name == "tool_details" && part.value != "build server")
      problems.push_back("tool_details is \"" + part.value + "\"");
  }
  return problems;
}

std::vector<std::string> uploadFormProblems(const MultipartStream& body) {
  std::vector<std::string> problems;
  checkBodyFrame(body, problems);
  const auto& parts = body.parts();
  if (parts.empty()) return problems.push_back("the body has no parts"), problems;
  std::vector<FormPart> fields(parts.begin(), parts.end() - 1);
  std::size_t index = checkFieldOrder(fields,
                                      {{"project[identifier]", false},
                                       {"project[display_version]", false},
                                       {"project[build_version]", false},
                                       {"code_mapping[build_configuration]", false},
                                       {"code_mapping[type]", true},
                                       {"com_quorvex_run_version", true}},
                                      problems);
  for (const FormPart& part : fields) {
    if (part.name == "code_mapping[type]" && part.value != "dsym")
      problems.push_back("code_mapping[type] is \"" + part.value + "\"");
    if (part.name == "com_quorvex_run_version" && part.value != RUN_BUILD_NUMBER)
      problems.push_back("com_quorvex_run_version is \"" + part.value + "\"");
  }
  for (; index + 1 < fields.size(); index += 2) {
    const FormPart& identifier = fields[index];
    const FormPart& arch = fields[index + 1];
    if (identifier.name != "code_mapping[executables][][identifier]" || !isTextPart(identifier) ||
        !isLowercaseHex32(identifier.value))
      problems.push_back("not an identifier part: " + identifier.name + "=" + identifier.value);
    if (arch.name != "code_mapping[executables][][arch]" || !isTextPart(arch) || arch.value.empty())
      problems.push_back("not an arch part: " + arch.name + "=" + arch.value);
  }
  if (index != fields.size()) problems.push_back("an identifier without its arch part");
  checkFilePart(parts.back(), problems);
  return problems;
}

}  // namespace standin
