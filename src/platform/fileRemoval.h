// Deleting a directory entry as a file.
#pragma once

#include <string>

namespace vantle::platform {

// Removes a file (or a link); a folder is never removed, empty or not. False on any failure.
bool removeFileEntry(const std::string& path) noexcept;

} // namespace vantle::platform
