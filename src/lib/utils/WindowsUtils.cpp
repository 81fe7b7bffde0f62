#include "WindowsUtils.h"

#include "platform/memoryTrim.h"

namespace vantle {

void TrimWorkingSet() noexcept {
    platform::trimMemory();
}

} // namespace vantle
