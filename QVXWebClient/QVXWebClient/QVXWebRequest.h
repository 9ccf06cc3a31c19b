#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Value.h"
#include "platform/urlloading/HTTPTransportBody.h"
#include "platform/urlloading/HTTPTransportProtectionSpace.h"
#include "platform/urlloading/HTTPTransportRequest.h"
#include "platform/urlloading/URL.h"

// One HTTP request before it is sent: method, path or absolute URL, query
// parameters, header fields and form records. It turns itself into the
// transport's request record, with the full URL and the multipart body.
//
// A form record is a dictionary: "field" (the field name), "value" (a text
// for a text record, bytes for a data record; any other value gives no
// part), "mime-type" and, for data records, "filename". A data record whose
// bytes stay in a file carries "file-path" (the file) instead of "value";
// its bytes are read only while the body is sent.
class QVXWebRequest {
 public:
  // Answers whether the request authenticates against a TLS server-trust space.
  using ProtectionSpaceHandler = std::function<bool(const platform::ProtectionSpace&)>;
  // Header fields or query parameters: name to value, one value per name.
  using TextMap = std::map<std::string, std::string>;

  // A request with the method and the path. Both are required: an absent one
  // stops the process with the assertion report.
  static std::shared_ptr<QVXWebRequest> requestWithMethod_path(std::optional<std::string> method,
                                                               std::optional<std::string> path);
  // A request with the method (required, as above), no path and no URL.
  static std::shared_ptr<QVXWebRequest> initWithMethod(std::optional<std::string> method);

  // The path, resolved later against the client's base URL.
  const std::optional<std::string>& path() const { return _path; }
  void setPath(std::optional<std::string> path) { _path = std::move(path); }
  // The HTTP method.
  const std::string& method() const { return _method; }
  void setMethod(std::string method) { _method = std::move(method); }
  // The absolute URL; absent until the client sets it.
  const std::optional<platform::URL>& URL() const { return _URL; }
  void setURL(std::optional<platform::URL> url) { _URL = std::move(url); }
  // The query parameters fullURL appends; absent after creation.
  const std::optional<TextMap>& parameters() const { return _parameters; }
  void setParameters(std::optional<TextMap> parameters) { _parameters = std::move(parameters); }
  // The server-trust answer; absent after creation.
  const ProtectionSpaceHandler& protectionSpaceHandler() const { return _protectionSpaceHandler; }
  void setProtectionSpaceHandler(ProtectionSpaceHandler handler) {
    _protectionSpaceHandler = std::move(handler);
  }
  // Told how much of the body the peer has taken while it is sent; none
  // after creation. The transport request carries it.
  void setUploadProgressHandler(platform::MutableURLRequest::UploadProgressHandler handler) {
    _uploadProgressHandler = std::move(handler);
  }
  // The request's header fields, names keyed by exact text.
  const TextMap& customHeaders() const { return _customHeaders; }
  // The form records in the order added (a list); absent until the first.
  const std::optional<platform::Value>& formFields() const { return _formFields; }

  // Stores the header value, replacing an earlier value of the same name.
  void addValue_forHTTPHeaderField(const std::string& value, const std::string& field);
  // Stores each header whose name the request has no value for yet.
  void addHeaders(const TextMap& headers);

  // Appends a form record.
  void addFormRecord(platform::Value record);
  // Appends the text record {"value", "field", "mime-type": "text/plain"};
  // an absent (null) value appends an empty record, which gives no part.
  void addValue_forFormField(const platform::Value& value, const std::string& field);
  void addValue_forFormField(const std::optional<std::string>& value, const std::string& field);
  void addValue_forFormField(const std::string& value, const std::string& field);
  void addValue_forFormField(const char* value, const std::string& field);
  // Appends the data record {"value": data, "field", "mime-type", "filename"};
  // without a MIME type the "mime-type" key is left out.
  void addData_MIMEType_fileName_forFormField(const platform::Bytes& data,
                                              const std::optional<std::string>& MIMEType,
                                              const std::string& fileName,
                                              const std::string& field);
  // Appends a data record whose bytes are the file's, read in pieces while
  // the body is sent; the body is the same as with the bytes in memory.
  void addFileData_MIMEType_fileName_forFormField(const std::string& filePath,
                                                  const std::optional<std::string>& MIMEType,
                                                  const std::string& fileName,
                                                  const std::string& field);
  // For each key k of the dictionary, addValue_forFormField with the field
  // name "prefix[k]" (one level: a nested dictionary gives no part).
  void addValueForFormFromDict_withPrefix(const platform::Value& dictionary,
                                          const std::string& prefix);
  // The same with the empty prefix: key k gives the field name "[k]".
  void addValueForFormFromDict(const platform::Value& dictionary);
  // For each key, addValue_forFormField with the key as field name; appends.
  void setFormData(const platform::Value& dictionary);

  // The multipart body; absent without form records (or when a file record's
  // file cannot be read whole). Sets the multipart "Content-Type" header.
  std::optional<platform::Bytes> formData();
  // URL with the query string of parameters; URL itself without parameters.
  std::optional<platform::URL> fullURL() const;
  // The transport request: fullURL, method, the body streamed from the form
  // records, every custom header; 15-second time-out, no cached answers.
  platform::MutableURLRequest URLRequest();

 private:
  explicit QVXWebRequest(std::string method) : _method(std::move(method)) {}
  // The multipart body as pieces, files left in place; null without
  // records. Sets the multipart "Content-Type" header.
  std::shared_ptr<platform::RequestBody> formBody();

  std::string _method;
  std::optional<std::string> _path;
  std::optional<platform::URL> _URL;
  std::optional<TextMap> _parameters;
  TextMap _customHeaders;
  std::optional<platform::Value> _formFields;
  ProtectionSpaceHandler _protectionSpaceHandler;
  platform::MutableURLRequest::UploadProgressHandler _uploadProgressHandler;
};
