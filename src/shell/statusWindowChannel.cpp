// Named after the data folder, so that two programs on two data folders each have a window of
// their own, and short enough for a socket address whatever the folder's length.
#include "statusWindowChannel.h"

#include "lib/runtime/Error.h"
#include "lib/utils/programFolders.h"
#include "platform/instanceRegistry.h"
#include "platform/privateFolder.h"

#include <cstdint>
#include <cstdio>
#include <system_error>

namespace vantle {
namespace {

// FNV-1a: stable across builds, so a helper of an older build is still found.
std::string folderKey() {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : programDataFolder()) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

std::string runtimeFolder() {
    try {
        return platform::instanceFolder();
    } catch (const std::system_error& e) {
        throw Error(e.what());
    }
}

} // namespace

std::string statusWindowSocketPath() {
    return runtimeFolder() + "/status-" + folderKey() + ".socket";
}

std::string statusWindowLockFolder() {
    const std::string folder = runtimeFolder() + "/status-" + folderKey() + ".lock";
    try {
        platform::createPrivateFolders(folder);
    } catch (const std::system_error& e) {
        throw Error(e.what());
    }
    return folder;
}

} // namespace vantle
