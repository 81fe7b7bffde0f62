// Where the status window's helper process listens, and what the tray program may ask of it:
// one line per request, "show", "reload" or "quit".
#pragma once

#include <string>

namespace vantle {

// The argument that starts the program as the status window's helper, and the option that sets
// how long the helper outlives its closed window.
inline constexpr char StatusWindowSwitch[] = "--status-window";
inline constexpr char StatusGraceOption[] = "--status-window-grace-ms=";
inline constexpr int DefaultStatusGraceMs = 60000;

// The helper's socket and lock files: one of each per user and per data folder. Raises Error
// when the user's runtime folder cannot be made.
std::string statusWindowSocketPath();
std::string statusWindowLockFolder();

} // namespace vantle
