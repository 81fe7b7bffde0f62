// Waiting in a test while the Qt event loop runs, so the program's D-Bus and socket traffic is
// served meanwhile.
#pragma once

#include <chrono>
#include <functional>

namespace vantle::test {

// Runs the event loop until the condition holds or the time is up; whether it held.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit);

} // namespace vantle::test
