#include "memoryTrim.h"

#include <malloc.h>

namespace vantle::platform {

void trimMemory() noexcept {
    malloc_trim(0);
}

} // namespace vantle::platform
