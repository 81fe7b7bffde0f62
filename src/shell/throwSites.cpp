#include "throwSites.h"

#include <boost/stacktrace/safe_dump_to.hpp>

#include <atomic>
#include <cxxabi.h>
#include <dlfcn.h>

namespace vantle::crash {
namespace {

constexpr std::size_t FramesPerThrow = 48;
// A few, because a handler may throw and catch another failure before the first is reported.
constexpr std::size_t ThrowsKept = 4;

struct ThrowRecord {
    const void* object = nullptr;
    const std::type_info* type = nullptr;
    unsigned long sequence = 0; // 0: unused
    void* frames[FramesPerThrow] = {};
};

std::atomic<bool> recording{false};
thread_local ThrowRecord records[ThrowsKept];
thread_local unsigned long throwCount = 0;

[[gnu::noinline]] void record(void* object, std::type_info* type) noexcept {
    ThrowRecord& slot = records[throwCount % ThrowsKept];
    slot.object = object;
    slot.type = type;
    slot.sequence = ++throwCount;
    // Skips this function and the hook, so the thrower comes first.
    const std::size_t count = boost::stacktrace::safe_dump_to(2, slot.frames, sizeof slot.frames);
    if (count < FramesPerThrow)
        slot.frames[count] = nullptr;
}

} // namespace

void recordThrowSites() {
    recording.store(true);
}

std::vector<void*> throwSite(const void* object, const std::type_info* type) {
    const ThrowRecord* found = nullptr;
    for (const ThrowRecord& slot : records) {
        if (slot.sequence == 0 || (found != nullptr && slot.sequence < found->sequence))
            continue;
        const bool same = object != nullptr
                              ? slot.object == object
                              : type != nullptr && slot.type != nullptr && *slot.type == *type;
        if (same)
            found = &slot;
    }
    std::vector<void*> frames;
    if (found != nullptr)
        for (void* frame : found->frames) {
            if (frame == nullptr)
                break;
            frames.push_back(frame);
        }
    return frames;
}

} // namespace vantle::crash

// Every throw, the C++ runtime's own included, passes here before the runtime's function runs.
namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type,
                            void(_GLIBCXX_CDTOR_CALLABI* destructor)(void*)) {
    using Throw = void (*)(void*, std::type_info*, void(_GLIBCXX_CDTOR_CALLABI*)(void*));
    static const auto runtimeThrow = reinterpret_cast<Throw>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (vantle::crash::recording.load(std::memory_order_relaxed))
        vantle::crash::record(object, type);
    runtimeThrow(object, type, destructor);
    __builtin_unreachable();
}
} // namespace __cxxabiv1
