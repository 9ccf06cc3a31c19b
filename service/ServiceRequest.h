#pragma once

#include <memory>
#include <string>

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"
#include "QVXWebClient/QVXWebClient/QVXWebRequest.h"

// Sends a service request synchronously through a client for the base URL
// and returns after the completion has run. A base URL that is no absolute
// URL gives no client: the completion then gets a response with status 0
// and a bad-URL error, as an exchange that never reached a server.
void sendServiceRequest(const std::string& baseURL, std::shared_ptr<QVXWebRequest> request,
                        const QVXWebCompletionHandler& completion);

// Sets the first four identity headers: the API key, the developer token,
// the client identifier and the User-Agent.
void addClientHeaders(QVXWebRequest& request, const std::string& apiKey);

// Sets the two client-version headers (build number, display version).
void addClientVersionHeaders(QVXWebRequest& request);
