#include "service/BuildNotification.h"

#include <cstdint>

#include "driver/Console.h"
#include "driver/Validation.h"
#include "platform/Format.h"
#include "service/AppPlatform.h"
#include "service/ServiceRequest.h"
#include "service/WebServiceInterface.h"

namespace {

// The Info.plist's value for the key; null (an absent value) when missing.
platform::Value infoValue(const platform::Value& info, const std::string& key) {
  auto found = info.find(key);
  return found == info.end() ? platform::Value() : *found;
}

void reportNotOnboarded(const QVXWebResponse& response) {
  const auto status = static_cast<std::int32_t>(response.statusCode());
  if (response.error())
    QVXLog("Could not be onboarded statusCode %i %@", status, *response.error());
  else
    QVXLog("Could not be onboarded statusCode %i", status);
}

}  // namespace

bool buildConfigure(const platform::Environment& environment, const std::string& apiKey,
                    const std::string& buildSecret) {
  const platform::Value info = infoPlistDictionary(environment);
  const std::string baseURL = apiBaseURL(environment);
  const std::optional<std::string> bundleIdentifier =
      platform::textForKey(info, "CFBundleIdentifier")
          ? std::optional<std::string>(*platform::textForKey(info, "CFBundleIdentifier"))
          : std::nullopt;
  const std::string path = platform::format("/spi/v1/platforms/%@/apps/%@/built",
                                            getAppPlatform(environment), bundleIdentifier);
  auto request = QVXWebRequest::requestWithMethod_path("POST", path);
  addClientHeaders(*request, apiKey);
  request->addValue_forFormField(infoValue(info, "CFBundleDisplayName"), "app_name");
  addClientVersionHeaders(*request);
  request->addValue_forFormField("build server", "tool_details");
  if (buildSecret != "")
    request->addValue_forHTTPHeaderField(buildSecret, "X-Quorvex-Build-Secret");

  bool success = false;
  sendServiceRequest(baseURL, request, [&success](std::shared_ptr<QVXWebResponse> response) {
    if (response->statusCode() == 201 || response->statusCode() == 200)
      success = true;
    else
      reportNotOnboarded(*response);
  });
  return success;
}
