#include "programVersion.h"

#include "lib/runtime/DateTime.h"
#include "lib/utils/FileUtils.h"
#include "platform/programFile.h"

#include <exception>
#include <mutex>
#include <optional>

namespace vantle {
namespace {

// Empty when the system cannot tell.
const std::string& runningFile() {
    static const std::string path = [] {
        try {
            return platform::programPath();
        } catch (const std::exception&) {
            return std::string();
        }
    }();
    return path;
}

std::string readVersion(const std::string& path) {
    return runtime::formatDateTime("yyyymmdd.hhnnss", ProgramBuildTime(path));
}

} // namespace

std::string programVersionText(const std::string& path) {
    if (path.empty() || path != runningFile())
        return readVersion(path);
    static std::mutex lock;
    static std::optional<std::string> running;
    const std::lock_guard guard(lock);
    // A failure is raised and leaves it to the next call.
    if (!running)
        running = readVersion(path);
    return *running;
}

} // namespace vantle
