#include "fileRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantle::platform {

bool removeFileEntry(const std::string& path) noexcept {
    return ::unlink(path.c_str()) == 0;
}

void removeFilesIn(const std::string& folder) noexcept {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    // With a trailing separator the last link would be followed.
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR* listing = ::fdopendir(fd);
    if (listing == nullptr) {
        ::close(fd);
        return;
    }
    try {
        std::vector<std::string> names;
        while (const dirent* entry = ::readdir(listing)) {
            struct stat st {};
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
                names.emplace_back(entry->d_name);
        }
        // Removed relative to the folder opened, whatever happens to its path meanwhile.
        for (const std::string& name : names)
            ::unlinkat(fd, name.c_str(), 0);
    } catch (...) {
        // Out of memory: what is left stays, as after a failed removal.
    }
    ::closedir(listing);
}

} // namespace vantle::platform
