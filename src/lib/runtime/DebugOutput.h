// The diagnostic sink: where activities that run without the user report their failures.
#pragma once

#include <functional>
#include <string_view>

namespace vantle::runtime {

using DebugSink = std::function<void(std::string_view line)>;

// Sends one line to the installed sink (standard error until a program installs another).
// Safe from any thread; lines are never interleaved.
void outputDebugString(std::string_view line);

// Installs a sink and returns the previous one; an empty function restores standard error.
DebugSink setDebugSink(DebugSink sink);

} // namespace vantle::runtime
