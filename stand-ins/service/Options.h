#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stand-ins/service/FaultPlan.h"

namespace standin {

// What the stand-in service is told on its command line.
struct Options {
  int port = 0;             // 0: any free port (printed on stdout)
  std::string certificate;  // PEM certificate; with key: HTTPS
  std::string key;          // PEM private key
  std::string dataFolder = "service-data";
  std::vector<Answer> notificationAnswers;  // one per notification attempt
  std::vector<Answer> uploadAnswers;        // one per upload attempt
  int delayMilliseconds = 0;                // waited before every answer
  int readBytesPerSecond = 0;               // request bodies read at most this fast; 0: no limit
  bool lenient = false;                     // problems are recorded but do not change the answer
  bool lengthRequired = false;  // a body without a Content-Length is read, then answered 411
};

// The usage text.
std::string usage();

// Parses the arguments after the program name; nothing, with the reason in
// *error, when they are malformed.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string* error);

}  // namespace standin
