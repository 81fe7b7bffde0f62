#include "DebugOutput.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace vantle::runtime {
namespace {

std::mutex sinkLock;
DebugSink installedSink;

void standardError(std::string_view line) {
    std::string text(line);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

} // namespace

void outputDebugString(std::string_view line) {
    std::lock_guard guard(sinkLock);
    if (installedSink)
        installedSink(line);
    else
        standardError(line);
}

DebugSink setDebugSink(DebugSink sink) {
    std::lock_guard guard(sinkLock);
    DebugSink previous = std::move(installedSink);
    installedSink = std::move(sink);
    return previous;
}

} // namespace vantle::runtime
