#pragma once

#include <httplib.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>

#include "stand-ins/service/FaultPlan.h"
#include "stand-ins/service/Options.h"
#include "stand-ins/service/ReadPace.h"
#include "stand-ins/service/RequestChecks.h"
#include "stand-ins/service/UploadStore.h"

namespace standin {

// The two requests of the web service: it checks what arrives, stores a
// record of every request (and each upload's zip) in the data folder and
// answers as its fault plan says (201 by default; 400 for a request that is
// not as the tool sends it, unless told to be lenient; 411 for a body without
// a Content-Length when told to require one).
class StandInService {
 public:
  explicit StandInService(const Options& options);

  // Registers the routes on the server.
  void route(httplib::Server& server);
  // Ends stalled answers (at shutdown).
  void stop() { stopping_ = true; }

 private:
  void handle(RequestKind kind, const httplib::Request& request, httplib::Response& response,
              const httplib::ContentReader& reader);
  // Reads the body to its end at the read rate, giving each piece to USE
  // and counting its bytes in *BYTES; false when it did not arrive whole.
  bool readBody(const httplib::Request& request, const httplib::ContentReader& reader,
                const std::function<void(const char*, std::size_t)>& use, std::uint64_t* bytes);
  // With --length-required: a body without a Content-Length is read and
  // answered 411, outside the fault plan's attempts.
  void refuseWithoutLength(RequestKind kind, const httplib::Request& request,
                           httplib::Response& response, const httplib::ContentReader& reader);
  void handleUnexpected(const httplib::Request& request, httplib::Response& response);
  void answer(const Answer& planned, const std::vector<std::string>& problems,
              const httplib::Request& request, httplib::Response& response);
  void checkZip(int sequence, nlohmann::ordered_json& record, std::vector<std::string>& problems);

  Options options_;
  UploadStore store_;
  FaultPlan notificationPlan_;
  FaultPlan uploadPlan_;
  ReadPace readPace_;
  std::atomic<bool> stopping_{false};
};

}  // namespace standin
