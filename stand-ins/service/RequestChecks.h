#pragma once

#include <httplib.h>

#include <string>
#include <vector>

#include "stand-ins/service/MultipartStream.h"

namespace standin {

// The two requests of the web service interface.
enum class RequestKind { Notification, Upload };

// The multipart boundary the tool always uses.
inline constexpr const char* kBoundary = "AaB03x";

// What is wrong with the request's headers: the identity header set (with
// the build secret only on a notification, and only 64 bytes long), no other
// X-Quorvex- header, the Accept and Content-Type values, a Content-Length or
// else a chunked transfer, and no Expect. Empty when all is as expected.
std::vector<std::string> headerProblems(RequestKind kind, const httplib::Headers& headers);

// What is wrong with a notification's body: the MIME-Version preamble, the
// parts "app_name" (optional) and "tool_details" ("build server") in that
// order, each a text/plain part, and nothing after the closing delimiter.
std::vector<std::string> notificationFormProblems(const MultipartStream& body);

// What is wrong with an upload's body: the six project fields in order,
// then identifier/arch pairs (32 lowercase hexadecimal digits, a name), then
// the zip as the last part, "application/zip" with a binary transfer encoding.
std::vector<std::string> uploadFormProblems(const MultipartStream& body);

}  // namespace standin
