// vantlectl crash-test: fails on purpose in one of the ways the crash reporting catches, so that
// its reports can be seen at work.
#include "commands.h"

#include "crash/crashEngine.h"
#include "lib/runtime/Error.h"

#include <cstdint>
#include <pthread.h>
#include <thread>

namespace vantle::ctl {
namespace {

// Each failure lies in a function of its own, which the report's call stack then names.

[[gnu::noinline]] void crashTestAccessViolation() {
    // Read at run time, so the compiler cannot see the null pointer and turn the write into a
    // trap of its own.
    volatile std::uintptr_t address = 0;
    *reinterpret_cast<volatile int*>(address) = 1;
}

[[gnu::noinline]] void crashTestThrow() {
    throw Error("crash test: a failure thrown on purpose");
}

// The failure happens on a named thread of its own, as a failing worker's would.
void onCrashTestThread(void (*body)()) {
    std::thread worker([body] {
        pthread_setname_np(pthread_self(), "crash-test");
        body();
    });
    worker.join();
}

} // namespace

int crashTestCommand(const Arguments& arguments) {
    const std::string kind = arguments.size() == 1 ? arguments[0] : "";
    if (kind == "segv") {
        crashTestAccessViolation();
    } else if (kind == "throw") {
        // Leaves a guarded thread: reported, and the tool goes on.
        onCrashTestThread([] { crash::guardThread(crashTestThrow); });
    } else if (kind == "terminate") {
        // Leaves an unguarded thread: std::terminate ends the tool.
        onCrashTestThread(crashTestThrow);
    } else {
        throw Error("takes segv, throw or terminate");
    }
    return 1;
}

} // namespace vantle::ctl
