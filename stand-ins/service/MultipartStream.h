#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace standin {

// One part of a multipart/form-data body as it arrived.
struct FormPart {
  std::vector<std::string> headerLines;  // the part's header lines, without CR LF
  std::string name;                      // the disposition's name parameter
  bool hasFilename = false;
  std::string filename;     // the disposition's filename parameter, when present
  std::string contentType;  // the part's Content-Type value, or ""
  std::string value;        // the bytes of a part kept in memory
  std::uint64_t size = 0;   // the part's length in bytes
  bool streamed = false;    // whether the bytes went to a file instead of value
};

// Splits a multipart/form-data body fed in pieces of any size. Parts with a
// file name are written to the file that the caller's opener gives (so a body
// of hundreds of megabytes is never held in memory); other parts are kept.
class MultipartStream {
 public:
  // Gives the file a part with a file name is written to; null keeps it in memory.
  using FileOpener = std::function<std::FILE*(const FormPart&)>;

  MultipartStream(std::string boundary, FileOpener opener);

  // Takes the next bytes of the body; false once the body is malformed.
  bool feed(const char* data, std::size_t length);
  // Ends the body; false when it is malformed or ended before its closing delimiter.
  bool finish();

  // The text before the first delimiter (without the CR LF that ends it).
  const std::string& preamble() const { return preamble_; }
  // The parts in body order.
  const std::vector<FormPart>& parts() const { return parts_; }
  // The text after the closing delimiter.
  const std::string& epilogue() const { return epilogue_; }
  // Why the body is malformed, or "".
  const std::string& error() const { return error_; }

 private:
  enum class State { Body, AfterDelimiter, Headers, Epilogue };

  bool step();
  bool scanBody();
  bool readDelimiterEnd();
  bool readHeaders();
  void emit(const char* data, std::size_t length);
  bool fail(const std::string& why);
  bool parseHeaders(const std::string& block, FormPart& part);

  std::string delimiter_;  // CR LF "--" boundary
  FileOpener opener_;
  State state_ = State::Body;
  std::string pending_;
  bool inPreamble_ = true;
  std::FILE* file_ = nullptr;
  std::string preamble_;
  std::vector<FormPart> parts_;
  std::string epilogue_;
  std::string error_;
};

}  // namespace standin
