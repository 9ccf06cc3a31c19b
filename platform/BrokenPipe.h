#pragma once

namespace platform {

// Ignores SIGPIPE for the process, so that a write to a pipe or socket
// whose reader has gone fails with an error instead of ending the process.
// Child processes start with it at its default again (see Task).
void ignoreBrokenPipes();

}  // namespace platform
