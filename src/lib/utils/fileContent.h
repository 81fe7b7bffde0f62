// Whether a file already holds given bytes, so that an output made again with the same content
// is left alone: no new inode, no new times, no write-back started by a rename.
#pragma once

#include <string>
#include <string_view>

namespace vantle {

// True when path is a regular file (not a link) whose whole content equals bytes; false when it
// differs, is missing or cannot be read.
bool fileHolds(const std::string& path, std::string_view bytes);

} // namespace vantle
