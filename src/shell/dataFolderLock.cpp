#include "dataFolderLock.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/utils/programFolders.h"
#include "platform/privateFolder.h"

#include <exception>

namespace vantle {

std::unique_ptr<platform::TfolderLock> lockDataFolder() {
    std::string folder;
    try {
        folder = programDataFolder();
        platform::createPrivateFolders(folder);
    } catch (const std::exception& e) {
        // The configuration meets the same failure at start-up and says so.
        runtime::outputDebugString(e.what());
    }
    auto lock = std::make_unique<platform::TfolderLock>(folder);
    if (lock->state() == platform::TfolderLock::Tstate::unavailable)
        runtime::outputDebugString("The data folder cannot be locked: " + lock->problem());
    return lock;
}

} // namespace vantle
