// Replacing a file's content so that a crash or power loss never leaves it half written.
#pragma once

#include <string>
#include <string_view>

namespace vantle::platform {

// Writes the bytes to a new file beside path, flushes it to disk and renames it over path, so
// a reader sees either the old or the new content. The file gets the given mode. On failure
// the temporary file is removed and std::system_error names the step and the path.
void replaceFileDurably(const std::string& path, std::string_view bytes, unsigned mode);

} // namespace vantle::platform
