#pragma once

#include <httplib.h>

#include <atomic>

namespace standin {

// Closes the request's connection at once, so that the client gets no
// answer at all. False when the connection's socket cannot be found.
bool dropConnection(const httplib::Request& request);

// Blocks while the client keeps the request's connection open (or until
// STOP is set), then closes it without an answer.
void stallConnection(const httplib::Request& request, const std::atomic<bool>& stop);

}  // namespace standin
