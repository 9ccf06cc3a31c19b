#include "service/BuildNotification.h"

#include <cstdint>

#include "console/Console.h"
#include "platform/Format.h"
#include "service/ServiceRequest.h"
#include "service/WebServiceInterface.h"

namespace {

void reportNotOnboarded(const QVXWebResponse& response) {
  const auto status = static_cast<std::int32_t>(response.statusCode());
  if (response.error())
    QVXLog("Could not be onboarded statusCode %i %@", status, *response.error());
  else
    QVXLog("Could not be onboarded statusCode %i", status);
}

}  // namespace

bool buildConfigure(const BuildNotificationDescription& description, const std::string& apiKey,
                    const std::string& buildSecret) {
  const std::string path = platform::format("/spi/v1/platforms/%@/apps/%@/built",
                                            description.platformWord, description.identifier);
  auto request = QVXWebRequest::requestWithMethod_path("POST", path);
  addClientHeaders(*request, apiKey);
  request->addValue_forFormField(description.appName, "app_name");
  addClientVersionHeaders(*request);
  request->addValue_forFormField("build server", "tool_details");
  if (buildSecret != "")
    request->addValue_forHTTPHeaderField(buildSecret, "X-Quorvex-Build-Secret");

  bool success = false;
  sendServiceRequest(description.baseURL, request,
                     [&success](std::shared_ptr<QVXWebResponse> response) {
                       if (response->statusCode() == 201 || response->statusCode() == 200)
                         success = true;
                       else
                         reportNotOnboarded(*response);
                     });
  return success;
}
