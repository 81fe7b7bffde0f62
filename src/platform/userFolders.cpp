#include "userFolders.h"

#include <cstdlib>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

namespace vantle::platform {
namespace {

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string baseFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return withoutTrailingSlashes(value);
    return withoutTrailingSlashes(homeFolder()) + fallbackBelowHome;
}

} // namespace

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    throw std::runtime_error("The home folder of this user is unknown: HOME is not set and the "
                             "account has no home folder");
}

std::string configHome() {
    return baseFolder("XDG_CONFIG_HOME", "/.config");
}

std::string dataHome() {
    return baseFolder("XDG_DATA_HOME", "/.local/share");
}

std::string cacheHome() {
    return baseFolder("XDG_CACHE_HOME", "/.cache");
}

} // namespace vantle::platform
