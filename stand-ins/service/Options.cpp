#include "stand-ins/service/Options.h"

#include <charconv>

namespace standin {

namespace {

std::optional<int> wholeNumber(const std::string& text, int high) {
  int value = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || end != text.data() + text.size() || value < 0 || value > high)
    return std::nullopt;
  return value;
}

// Applies one option with its value; false when the value is malformed.
bool apply(Options& options, const std::string& name, const std::string& value) {
  if (name == "--port") {
    auto port = wholeNumber(value, 65535);
    if (port) options.port = *port;
    return port.has_value();
  }
  if (name == "--delay-ms") {
    auto delay = wholeNumber(value, 600000);
    if (delay) options.delayMilliseconds = *delay;
    return delay.has_value();
  }
  if (name == "--read-rate") {
    auto rate = wholeNumber(value, 1 << 30);
    if (rate) options.readBytesPerSecond = *rate;
    return rate.has_value();
  }
  if (name == "--notification-answers" || name == "--upload-answers") {
    auto answers = parseAnswers(value);
    if (!answers) return false;
    (name == "--upload-answers" ? options.uploadAnswers : options.notificationAnswers) = *answers;
    return true;
  }
  if (name == "--cert") return options.certificate = value, true;
  if (name == "--key") return options.key = value, true;
  if (name == "--data") return options.dataFolder = value, !value.empty();
  return false;
}

}  // namespace

std::string usage() {
  return "usage: quorvex-service [--port N] [--cert PEM --key PEM] [--data FOLDER]\n"
         "         [--notification-answers LIST] [--upload-answers LIST] [--delay-ms N]\n"
         "         [--read-rate BYTES-PER-SECOND] [--lenient] [--length-required]\n"
         "LIST: answers per attempt, e.g. 500,drop,stall,200@1500 (status[@delay-ms],\n"
         "drop: close without an answer, stall: answer nothing until the client hangs up);\n"
         "later attempts get 201. --read-rate reads request bodies no faster, as over\n"
         "a link of that speed shared by all connections. --length-required reads a\n"
         "body sent without a Content-Length (chunked) to its end and answers 411.\n"
         "The chosen port is printed as \"port N\".\n";
}

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string* error) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--lenient" || name == "--length-required") {
      (name == "--lenient" ? options.lenient : options.lengthRequired) = true;
      continue;
    }
    if (i + 1 >= arguments.size() || !apply(options, name, arguments[i + 1])) {
      *error = "bad option or value: " + name;
      return std::nullopt;
    }
    ++i;
  }
  if (options.certificate.empty() != options.key.empty()) {
    *error = "--cert and --key go together";
    return std::nullopt;
  }
  return options;
}

}  // namespace standin
