#pragma once

#include <string>
#include <vector>

#include "platform/Environment.h"

// The service endpoint text: the built app's "QuorvexAPIEndpoint", else the
// default API base URL. Never fails and prints nothing.
std::string endpoint(const platform::Environment& environment);

// The cache root for one service endpoint: the user's caches directory (the
// home directory when there is none), then "com.quorvex.mac", the MD5 hex
// digest of the endpoint text and "builds". Creates it with its parents;
// on failure prints the object-store message and the error, and still
// returns the path.
std::string cacheDirectory(const std::string& endpointText);

// Whether an entry of a products folder is a dSYM bundle: its extension is
// exactly "dSYM".
bool isDSYMEntryName(const std::string& name);

// Copies every entry of sourceDirectory whose extension is exactly "dSYM"
// into destinationDirectory under the same name, in listing order, and
// returns the destination paths. Ends the process with status 1 when the
// source cannot be listed or a copy fails with an error.
std::vector<std::string> cacheDSYMsAtPath(const std::string& sourceDirectory,
                                          const std::string& destinationDirectory);
