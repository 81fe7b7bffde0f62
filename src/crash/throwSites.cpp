#include "throwSites.h"

#include <boost/stacktrace/safe_dump_to.hpp>

#include <algorithm>
#include <atomic>
#include <cxxabi.h>
#include <dlfcn.h>
#include <mutex>

namespace vantle::crash {
namespace {

using Destructor = void(_GLIBCXX_CDTOR_CALLABI*)(void*);

constexpr std::size_t FramesPerThrow = 48;
// Live exceptions are few; beyond these a throw goes unrecorded.
constexpr std::size_t RecordsKept = 64;

struct ThrowRecord {
    void* object = nullptr; // null: the slot is free
    const std::type_info* type = nullptr;
    Destructor destructor = nullptr; // the object's own, run when the runtime destroys it
    unsigned long sequence = 0;
    void* frames[FramesPerThrow] = {};
};

std::atomic<bool> recording{false};
std::mutex recordLock;
ThrowRecord records[RecordsKept];
unsigned long throwCount = 0;

// Given to the runtime as the exception's destructor, so that its record ends with it and a
// later exception at the same address is never taken for it.
void _GLIBCXX_CDTOR_CALLABI forgetThrow(void* object) {
    Destructor destructor = nullptr;
    {
        const std::lock_guard guard(recordLock);
        for (ThrowRecord& slot : records)
            if (slot.object == object) {
                destructor = slot.destructor;
                slot.object = nullptr;
                break;
            }
    }
    if (destructor != nullptr)
        destructor(object);
}

// Returns the destructor to hand to the runtime.
[[gnu::noinline]] Destructor record(void* object, std::type_info* type,
                                    Destructor destructor) noexcept {
    void* frames[FramesPerThrow] = {};
    // Skips this function and the hook, so the thrower comes first.
    boost::stacktrace::safe_dump_to(2, frames, sizeof frames);
    const std::lock_guard guard(recordLock);
    for (ThrowRecord& slot : records) {
        if (slot.object != nullptr)
            continue;
        slot.object = object;
        slot.type = type;
        slot.destructor = destructor;
        slot.sequence = ++throwCount;
        std::copy(std::begin(frames), std::end(frames), slot.frames);
        return forgetThrow;
    }
    return destructor;
}

} // namespace

void recordThrowSites() {
    recording.store(true);
}

std::vector<void*> throwSite(const void* object, const std::type_info* type) {
    void* frames[FramesPerThrow] = {};
    {
        const std::lock_guard guard(recordLock);
        const ThrowRecord* found = nullptr;
        for (const ThrowRecord& slot : records) {
            if (slot.object == nullptr)
                continue;
            const bool same = object != nullptr
                                  ? slot.object == object
                                  : type != nullptr && *slot.type == *type &&
                                        (found == nullptr || slot.sequence > found->sequence);
            if (same)
                found = &slot;
        }
        // Copied out, for an allocation that fails throws and its record takes this lock.
        if (found != nullptr)
            std::copy(std::begin(found->frames), std::end(found->frames), frames);
    }
    const auto end = std::find(std::begin(frames), std::end(frames), nullptr);
    return std::vector<void*>(std::begin(frames), end);
}

} // namespace vantle::crash

// Every throw, the C++ runtime's own included, passes here before the runtime's function runs.
namespace __cxxabiv1 {
extern "C" void __cxa_throw(void* object, std::type_info* type,
                            void(_GLIBCXX_CDTOR_CALLABI* destructor)(void*)) {
    using Throw = void (*)(void*, std::type_info*, vantle::crash::Destructor);
    static const auto runtimeThrow = reinterpret_cast<Throw>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (vantle::crash::recording.load(std::memory_order_relaxed))
        destructor = vantle::crash::record(object, type, destructor);
    runtimeThrow(object, type, destructor);
    __builtin_unreachable();
}
} // namespace __cxxabiv1
