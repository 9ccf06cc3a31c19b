#pragma once

#include "platform/Environment.h"

#include <string>

// The service endpoint text: the built app's "QuorvexAPIEndpoint", else the
// default API base URL. Never fails and prints nothing.
std::string endpoint(const platform::Environment& environment);
