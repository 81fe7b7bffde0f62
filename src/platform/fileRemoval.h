// Deleting a directory entry as a file.
#pragma once

#include <string>

namespace vantle::platform {

// Removes a file (or a link); a folder is never removed, empty or not. False on any failure.
bool removeFileEntry(const std::string& path) noexcept;

// Removes every file and link directly in the folder; links are removed, never followed, and
// sub-folders stay. A link in the folder's own place is not followed either: nothing is
// removed then. Failed removals are ignored.
void removeFilesIn(const std::string& folder) noexcept;

} // namespace vantle::platform
