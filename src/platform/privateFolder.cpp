#include "privateFolder.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vantle::platform {
namespace {

[[noreturn]] void fail(int code, const std::string& what, const std::string& path) {
    throw std::system_error(code, std::generic_category(), what + " " + path);
}

} // namespace

void createPrivateFolders(const std::string& path) {
    // Each prefix that ends a path component, the whole path last.
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string folder = path.substr(0, end);
        if (!folder.empty() && folder != "/") {
            if (::mkdir(folder.c_str(), 0700) != 0) {
                const int code = errno;
                struct stat st {};
                if (code != EEXIST)
                    fail(code, "cannot create folder", folder);
                if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                    fail(ENOTDIR, "cannot create folder", folder);
            }
        }
        if (end == std::string::npos || end + 1 >= path.size())
            return;
    }
}

void ensureOwnPrivateFolder(const std::string& folder) {
    createPrivateFolders(folder);
    // Without a trailing separator, so that a link in its place is seen as one.
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        fail(errno, "cannot read", path);
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        fail(EPERM, "not a private folder of this user:", path);
    if ((st.st_mode & 077) != 0 && ::chmod(path.c_str(), 0700) != 0)
        fail(errno, "cannot make private", path);
}

} // namespace vantle::platform
