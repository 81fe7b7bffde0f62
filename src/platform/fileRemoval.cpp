#include "fileRemoval.h"

#include <unistd.h>

namespace vantle::platform {

bool removeFileEntry(const std::string& path) noexcept {
    return ::unlink(path.c_str()) == 0;
}

} // namespace vantle::platform
