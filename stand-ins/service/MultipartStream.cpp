#include "stand-ins/service/MultipartStream.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace standin {

namespace {

const std::size_t kMemoryPartLimit = 1 << 20;
const std::size_t kHeaderBlockLimit = 16 << 10;
const std::size_t kEpilogueLimit = 1 << 10;

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The quoted value of PARAMETER="..." in a disposition, or nothing.
bool quotedParameter(const std::string& disposition, const std::string& parameter,
                     std::string* value) {
  std::string key = "; " + parameter + "=\"";
  std::size_t at = disposition.find(key);
  if (at == std::string::npos) return false;
  std::size_t start = at + key.size();
  std::size_t end = disposition.find('"', start);
  if (end == std::string::npos) return false;
  *value = disposition.substr(start, end - start);
  return true;
}

}  // namespace

MultipartStream::MultipartStream(std::string boundary, FileOpener opener)
    : delimiter_("\r\n--" + boundary), opener_(std::move(opener)) {
  // The body starts right at its first delimiter when it has no preamble;
  // a CR LF in front makes that delimiter look like every other one.
  pending_ = "\r\n";
}

bool MultipartStream::feed(const char* data, std::size_t length) {
  if (!error_.empty()) return false;
  pending_.append(data, length);
  while (step()) {
  }
  return error_.empty();
}

bool MultipartStream::finish() {
  if (!error_.empty()) return false;
  if (state_ != State::Epilogue) return fail("the body ends before its closing delimiter");
  epilogue_ += pending_;
  return true;
}

bool MultipartStream::step() {
  if (!error_.empty() || pending_.empty()) return false;
  switch (state_) {
    case State::Body:
      return scanBody();
    case State::AfterDelimiter:
      return readDelimiterEnd();
    case State::Headers:
      return readHeaders();
    case State::Epilogue:
      if (epilogue_.size() + pending_.size() > kEpilogueLimit)
        return fail("more than 1 KiB after the closing delimiter");
      epilogue_ += pending_;
      pending_.clear();
      return false;
  }
  return false;
}

bool MultipartStream::scanBody() {
  auto found =
      std::search(pending_.begin(), pending_.end(),
                  std::boyer_moore_horspool_searcher(delimiter_.begin(), delimiter_.end()));
  if (found == pending_.end()) {
    // Keep what could still be the start of a delimiter split across pieces.
    std::size_t keep = std::min(pending_.size(), delimiter_.size() - 1);
    emit(pending_.data(), pending_.size() - keep);
    pending_.erase(0, pending_.size() - keep);
    return false;
  }
  std::size_t at = static_cast<std::size_t>(found - pending_.begin());
  emit(pending_.data(), at);
  pending_.erase(0, at + delimiter_.size());
  // Leave out the CR LF put in front of the body.
  if (inPreamble_ && !preamble_.empty()) preamble_.erase(0, 2);
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  inPreamble_ = false;
  state_ = State::AfterDelimiter;
  return error_.empty();
}

bool MultipartStream::readDelimiterEnd() {
  if (pending_.size() < 2) return false;
  std::string end = pending_.substr(0, 2);
  pending_.erase(0, 2);
  if (end == "\r\n") {
    state_ = State::Headers;
  } else if (end == "--") {
    state_ = State::Epilogue;
  } else {
    return fail("a delimiter is followed by neither CR LF nor \"--\"");
  }
  return true;
}

bool MultipartStream::readHeaders() {
  std::size_t end = pending_.find("\r\n\r\n");
  if (end == std::string::npos) {
    if (pending_.size() > kHeaderBlockLimit) return fail("a part's header block is too long");
    return false;
  }
  FormPart part;
  if (!parseHeaders(pending_.substr(0, end), part)) return false;
  pending_.erase(0, end + 4);
  if (part.hasFilename && opener_) file_ = opener_(part);
  part.streamed = file_ != nullptr;
  parts_.push_back(std::move(part));
  state_ = State::Body;
  return true;
}

bool MultipartStream::parseHeaders(const std::string& block, FormPart& part) {
  std::size_t start = 0;
  while (start <= block.size()) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    part.headerLines.push_back(block.substr(start, end - start));
    start = end + 2;
  }
  bool disposition = false;
  for (const std::string& line : part.headerLines) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) return fail("a part header line has no colon: " + line);
    std::string key = lowercase(line.substr(0, colon));
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    if (key == "content-type") part.contentType = value;
    if (key != "content-disposition") continue;
    if (value.rfind("form-data;", 0) != 0) return fail("a part is not form-data: " + line);
    if (!quotedParameter(value, "name", &part.name)) return fail("a part has no name: " + line);
    part.hasFilename = quotedParameter(value, "filename", &part.filename);
    disposition = true;
  }
  if (!disposition) return fail("a part has no Content-Disposition");
  return true;
}

void MultipartStream::emit(const char* data, std::size_t length) {
  if (length == 0) return;
  if (inPreamble_) {
    if (preamble_.size() + length > kMemoryPartLimit) {
      fail("the preamble is larger than 1 MiB");
      return;
    }
    preamble_.append(data, length);
    return;
  }
  FormPart& part = parts_.back();
  part.size += length;
  if (file_) {
    if (std::fwrite(data, 1, length, file_) != length) fail("the part could not be stored");
    return;
  }
  if (part.value.size() + length > kMemoryPartLimit) {
    fail("a part kept in memory is larger than 1 MiB: " + part.name);
    return;
  }
  part.value.append(data, length);
}

bool MultipartStream::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  return false;
}

}  // namespace standin
