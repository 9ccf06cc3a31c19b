#pragma once

namespace platform {

// Removes the file or the folder tree at the path (links are removed, never
// followed) with async-signal-safe calls only, so that a signal handler may
// use it. Best effort: what cannot be removed stays, and nothing is reported.
void removeTreeSignalSafe(const char* path);

}  // namespace platform
