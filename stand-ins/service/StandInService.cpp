#include "stand-ins/service/StandInService.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "stand-ins/service/ConnectionControl.h"
#include "stand-ins/service/MultipartStream.h"
#include "stand-ins/service/NameEscaping.h"
#include "stand-ins/service/ZipDirectory.h"

namespace standin {

namespace {

const char* const kNotificationPattern = R"(/spi/v1/platforms/([^/]+)/apps/([^/]+)/built)";
const char* const kUploadPattern = R"(/api/v3/platforms/([^/]+)/code_mappings)";

const char* kindName(RequestKind kind) {
  return kind == RequestKind::Upload ? "upload" : "notification";
}

// The boundary parameter of a multipart Content-Type, or "".
std::string boundaryOf(const std::string& contentType) {
  std::size_t at = contentType.find("boundary=");
  if (at == std::string::npos) return "";
  std::string boundary = contentType.substr(at + 9);
  std::size_t end = boundary.find(';');
  if (end != std::string::npos) boundary.erase(end);
  if (boundary.size() >= 2 && boundary.front() == '"' && boundary.back() == '"')
    boundary = boundary.substr(1, boundary.size() - 2);
  return boundary;
}

nlohmann::ordered_json headersRecord(const httplib::Headers& headers) {
  nlohmann::ordered_json record = nlohmann::ordered_json::object();
  for (const auto& [name, value] : headers) {
    // The library files the connection's addresses among the headers.
    if (name == "LOCAL_ADDR" || name == "LOCAL_PORT" || name == "REMOTE_ADDR" ||
        name == "REMOTE_PORT")
      continue;
    record[name] = value;
  }
  return record;
}

nlohmann::ordered_json fieldsRecord(const MultipartStream& body) {
  nlohmann::ordered_json fields = nlohmann::ordered_json::array();
  for (const FormPart& part : body.parts()) {
    nlohmann::ordered_json field{{"name", part.name}};
    if (part.hasFilename) {
      field["filename"] = part.filename;
      field["contentType"] = part.contentType;
      field["size"] = part.size;
    } else {
      field["value"] = part.value;
    }
    fields.push_back(field);
  }
  return fields;
}

std::string problemText(const std::vector<std::string>& problems) {
  std::string text;
  for (const auto& problem : problems) text += problem + "\n";
  return text;
}

// The multipart body is read here piece by piece; the library would parse
// a multipart body itself (keeping files in memory), so the request is made
// to look like a plain body before it is read.
void readAsPlainBody(const httplib::Request& request) {
  const_cast<httplib::Request&>(request).headers.erase("Content-Type");
}

}  // namespace

StandInService::StandInService(const Options& options)
    : options_(options),
      store_(options.dataFolder),
      notificationPlan_(options.notificationAnswers),
      uploadPlan_(options.uploadAnswers),
      readPace_(options.readBytesPerSecond) {}

void StandInService::route(httplib::Server& server) {
  server.Post(kNotificationPattern,
              [this](const httplib::Request& request, httplib::Response& response,
                     const httplib::ContentReader& reader) {
                handle(RequestKind::Notification, request, response, reader);
              });
  server.Post(kUploadPattern, [this](const httplib::Request& request, httplib::Response& response,
                                     const httplib::ContentReader& reader) {
    handle(RequestKind::Upload, request, response, reader);
  });
  auto unexpected = [this](const httplib::Request& request, httplib::Response& response) {
    handleUnexpected(request, response);
  };
  server.Get(".*", unexpected);
  server.Post(".*", unexpected);
  server.Put(".*", unexpected);
  server.Patch(".*", unexpected);
  server.Delete(".*", unexpected);
  server.Options(".*", unexpected);
}

bool StandInService::readBody(const httplib::Request& request, const httplib::ContentReader& reader,
                              const std::function<void(const char*, std::size_t)>& use,
                              std::uint64_t* bytes) {
  readAsPlainBody(request);
  return reader([&](const char* data, std::size_t length) {
    readPace_.take(length);
    *bytes += length;
    use(data, length);
    return true;
  });
}

void StandInService::handle(RequestKind kind, const httplib::Request& request,
                            httplib::Response& response, const httplib::ContentReader& reader) {
  if (options_.lengthRequired && !request.has_header("Content-Length"))
    return refuseWithoutLength(kind, request, response, reader);
  const int sequence = store_.nextSequence();
  auto [attempt, planned] = (kind == RequestKind::Upload ? uploadPlan_ : notificationPlan_).next();
  std::vector<std::string> problems = headerProblems(kind, request.headers);
  const nlohmann::ordered_json headers = headersRecord(request.headers);
  const std::string platform = request.matches[1];
  if (platform != "ios" && platform != "mac" && platform != "unknown")
    problems.push_back("unknown platform word " + platform);

  std::string boundary = boundaryOf(request.get_header_value("Content-Type"));
  if (boundary.empty()) boundary = kBoundary;
  const std::string partial = store_.pathFor(sequence, "upload.zip.partial");
  MultipartStream body(boundary, [&](const FormPart&) -> std::FILE* {
    if (kind != RequestKind::Upload) return nullptr;
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file) std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
    return file;
  });
  std::uint64_t bodyBytes = 0;
  const bool received = readBody(
      request, reader, [&](const char* data, std::size_t length) { body.feed(data, length); },
      &bodyBytes);
  if (!received) problems.push_back("the body did not arrive whole");
  body.finish();
  auto formProblems =
      kind == RequestKind::Upload ? uploadFormProblems(body) : notificationFormProblems(body);
  problems.insert(problems.end(), formProblems.begin(), formProblems.end());

  nlohmann::ordered_json record{{"sequence", sequence}, {"kind", kindName(kind)},
                                {"attempt", attempt},   {"method", request.method},
                                {"path", request.path}, {"target", request.target},
                                {"platform", platform}};
  if (kind == RequestKind::Notification) record["bundleIdentifier"] = request.matches[2];
  record["headers"] = headers;
  record["bodyBytes"] = bodyBytes;
  record["fields"] = fieldsRecord(body);
  if (kind == RequestKind::Upload) checkZip(sequence, record, problems);
  record["problems"] = problems;
  const bool refused = !problems.empty() && !options_.lenient;
  record["answer"] = refused                               ? nlohmann::ordered_json(400)
                     : planned.kind == Answer::Kind::Drop  ? nlohmann::ordered_json("drop")
                     : planned.kind == Answer::Kind::Stall ? nlohmann::ordered_json("stall")
                                                           : nlohmann::ordered_json(planned.status);
  store_.writeRecord(sequence, kindName(kind), record);
  answer(refused ? Answer{Answer::Kind::Status, 400, 0} : planned, problems, request, response);
}

void StandInService::checkZip(int sequence, nlohmann::ordered_json& record,
                              std::vector<std::string>& problems) {
  const std::string partial = store_.pathFor(sequence, "upload.zip.partial");
  const std::string stored = store_.pathFor(sequence, "upload.zip");
  std::error_code failure;
  if (!std::filesystem::exists(partial, failure)) return;
  std::filesystem::rename(partial, stored, failure);
  nlohmann::ordered_json zip{{"file", std::filesystem::path(stored).filename().string()},
                             {"size", std::filesystem::file_size(stored, failure)}};
  std::string error;
  auto names = zipEntryNames(stored, &error);
  if (names) {
    // The archiver stores names that are not UTF-8 as raw bytes.
    zip["entries"] = nlohmann::ordered_json::array();
    for (const auto& name : *names) zip["entries"].push_back(escapedName(name));
    zip["top"] = dsymTopFolder(*names, &error);
  }
  if (!error.empty()) problems.push_back("the zip: " + error);
  record["zip"] = zip;
}

void StandInService::answer(const Answer& planned, const std::vector<std::string>& problems,
                            const httplib::Request& request, httplib::Response& response) {
  if (planned.kind == Answer::Kind::Drop) {
    dropConnection(request);
    response.status = 500;
    return;
  }
  if (planned.kind == Answer::Kind::Stall) {
    stallConnection(request, stopping_);
    response.status = 500;
    return;
  }
  std::this_thread::sleep_for(
      std::chrono::milliseconds(options_.delayMilliseconds + planned.delayMilliseconds));
  response.status = planned.status;
  if (planned.status == 204 || planned.status == 304) return;
  if (planned.status == 400 && !problems.empty())
    response.set_content(problemText(problems), "text/plain");
  else
    response.set_content("{\"status\":" + std::to_string(planned.status) + "}\n",
                         "application/json");
}

void StandInService::refuseWithoutLength(RequestKind kind, const httplib::Request& request,
                                         httplib::Response& response,
                                         const httplib::ContentReader& reader) {
  const int sequence = store_.nextSequence();
  const nlohmann::ordered_json headers = headersRecord(request.headers);
  std::uint64_t bodyBytes = 0;
  const bool received = readBody(
      request, reader, [](const char*, std::size_t) {}, &bodyBytes);
  nlohmann::ordered_json record{{"sequence", sequence},     {"kind", kindName(kind)},
                                {"method", request.method}, {"path", request.path},
                                {"target", request.target}, {"platform", request.matches[1].str()},
                                {"headers", headers},       {"bodyBytes", bodyBytes}};
  std::vector<std::string> problems;
  if (!received) problems.push_back("the body did not arrive whole");
  record["problems"] = problems;
  record["answer"] = 411;
  store_.writeRecord(sequence, kindName(kind), record);
  response.status = 411;
  response.set_content("a Content-Length is required\n", "text/plain");
}

void StandInService::handleUnexpected(const httplib::Request& request,
                                      httplib::Response& response) {
  const int sequence = store_.nextSequence();
  bool knownPath = std::regex_match(request.path, std::regex(kNotificationPattern)) ||
                   std::regex_match(request.path, std::regex(kUploadPattern));
  response.status = knownPath ? 405 : 404;
  nlohmann::ordered_json record{{"sequence", sequence},
                                {"kind", "unexpected"},
                                {"method", request.method},
                                {"path", request.path},
                                {"headers", headersRecord(request.headers)},
                                {"problems", {knownPath ? "unexpected method" : "unknown path"}},
                                {"answer", response.status}};
  store_.writeRecord(sequence, "unexpected", record);
  response.set_content(knownPath ? "method not allowed\n" : "not found\n", "text/plain");
}

}  // namespace standin
