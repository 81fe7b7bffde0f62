// One running program per data folder: two starts may be given different runtime folders (and
// so not see each other's instance records), but they would write the same files.
#pragma once

#include "platform/folderLock.h"

#include <memory>

namespace vantle {

// The lock of the program's data folder, made first when missing. Its state says whether
// another program holds it. A folder that cannot be locked (unknown, or on a file system
// without locks) does not stop the start: the reason goes to the diagnostic sink.
std::unique_ptr<platform::TfolderLock> lockDataFolder();

} // namespace vantle
