// The per-user start-at-login entry: a desktop entry in the XDG autostart folder.
#pragma once

#include <optional>
#include <string>

namespace vantle::platform {

// $XDG_CONFIG_HOME/autostart/vantle.desktop (see userFolders.h).
std::string autostartEntryPath();

// The program the entry starts: the first word of its Exec key, unquoted; nothing when there
// is no entry, it has no Exec key, or it is hidden (the desktop's way of switching it off).
std::optional<std::string> autostartProgram();

// Writes the entry for the program; raises std::system_error on failure.
void writeAutostartEntry(const std::string& programPath);
// Removes the entry; no entry is no failure. Raises std::system_error otherwise.
void removeAutostartEntry();

// The Exec value that starts the program with no arguments, quoted and escaped as the Desktop
// Entry rules require, and its inverse.
std::string desktopExecValue(const std::string& programPath);
std::optional<std::string> programOfExecValue(const std::string& value);

} // namespace vantle::platform
