// Hands memory the program no longer uses back to the system.
#pragma once

namespace vantle::platform {

// Returns free heap pages to the system; never fails.
void trimMemory() noexcept;

} // namespace vantle::platform
