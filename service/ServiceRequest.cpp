#include "service/ServiceRequest.h"

#include "service/WebServiceInterface.h"

void sendServiceRequest(const std::string& baseURL, std::shared_ptr<QVXWebRequest> request,
                        const QVXWebCompletionHandler& completion) {
  auto client = QVXWebClient::initWithURL(baseURL);
  if (client) {
    client->syncStartRequest_completion(std::move(request), completion);
    return;
  }
  auto response = QVXWebResponse::init();
  response->setError(platform::Error{"NSURLErrorDomain", -1000, "bad URL: " + baseURL});
  completion(response);
}

void addClientHeaders(QVXWebRequest& request, const std::string& apiKey) {
  request.addValue_forHTTPHeaderField(apiKey, "X-Quorvex-API-Key");
  request.addValue_forHTTPHeaderField(kDeveloperToken, "X-Quorvex-Developer-Token");
  request.addValue_forHTTPHeaderField(kClientIdentifier, "X-Quorvex-API-Client-Id");
  request.addValue_forHTTPHeaderField(clientUserAgent(), "User-Agent");
}

void addClientVersionHeaders(QVXWebRequest& request) {
  request.addValue_forHTTPHeaderField(clientBuildVersion(), "X-Quorvex-API-Client-Build-Version");
  request.addValue_forHTTPHeaderField(clientDisplayVersion(),
                                      "X-Quorvex-API-Client-Display-Version");
}
