// Process-wide system helpers.
#pragma once

namespace vantle {

// Gives memory that the program no longer uses back to the system after a burst of work.
// Never fails.
void TrimWorkingSet() noexcept;

} // namespace vantle
