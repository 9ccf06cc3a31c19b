#pragma once

namespace platform {

// Catches SIGPIPE with a handler that does nothing, so that a write to a
// pipe or socket whose reader has gone fails with EPIPE instead of ending
// the process. Unlike an ignored signal, a caught one is at its default
// again in every program this process starts (exec resets it), however the
// child is started.
void ignoreBrokenPipes();

}  // namespace platform
