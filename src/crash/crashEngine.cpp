#include "crashEngine.h"

#include "crash/throwSites.h"

#include <boost/core/demangle.hpp>
#include <boost/stacktrace/safe_dump_to.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cxxabi.h>
#include <mutex>
#include <unistd.h>

namespace vantle::crash {
namespace {

std::atomic<TcrashHandler> registered{nullptr};
std::mutex deliveryLock;
thread_local bool delivering = false;
std::terminate_handler previousTerminate = nullptr;

std::mutex folderLock;
std::string dumpFolder;

struct Classified {
    std::string className;
    std::string message;
    const void* object = nullptr; // known for class types derived from std::exception
    const std::type_info* type = nullptr;
};

Classified classify(const std::exception_ptr& failure) {
    Classified result;
    if (!failure)
        return result;
    bool standard = false;
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        standard = true;
        result.type = abi::__cxa_current_exception_type();
        result.object = dynamic_cast<const void*>(&e);
        result.message = e.what();
    } catch (...) {
        result.type = abi::__cxa_current_exception_type();
    }
    result.className = result.type != nullptr ? boost::core::demangle(result.type->name())
                                              : std::string("unknown");
    if (!standard)
        result.message = "A failure of type " + result.className;
    return result;
}

[[gnu::noinline]] std::vector<void*> callerStack() {
    void* frames[64];
    // Skips this function and the engine's one that called it.
    const std::size_t count = boost::stacktrace::safe_dump_to(2, frames, sizeof frames);
    return std::vector<void*>(frames, frames + std::min<std::size_t>(count, 64));
}

TcrashSnapshot localSnapshot(std::string failureClass, std::string message) {
    TcrashSnapshot snapshot;
    snapshot.failureClass = std::move(failureClass);
    snapshot.message = std::move(message);
    snapshot.failingThread = currentThreadId();
    snapshot.time = runtime::now();
    return snapshot;
}

void showOnStandardError(const TfailureDescription& failure) noexcept {
    try {
        const std::string& report = failure.bugReport();
        std::fwrite(report.data(), 1, report.size(), stderr);
        std::fputc('\n', stderr);
    } catch (...) {
        std::fprintf(stderr, "%s\n", failure.message().c_str());
    }
}

// A failure while one is being reported on the same thread goes no further.
void deliver(const TfailureDescription& failure) noexcept {
    if (delivering)
        return;
    delivering = true;
    {
        const std::lock_guard guard(deliveryLock);
        bool handled = false;
        if (const TcrashHandler handler = registered.load()) {
            try {
                handler(failure, handled);
            } catch (...) {
                // A handler's own failure must not end the program it reports for.
            }
        }
        if (!handled)
            showOnStandardError(failure);
    }
    delivering = false;
}

void deliverLeftovers() {
    if (registered.load() == nullptr)
        return;
    std::string folder;
    {
        const std::lock_guard guard(folderLock);
        folder = dumpFolder;
    }
    for (TleftoverDump& dump : leftoverDumps(folder)) {
        deliver(TfailureDescription(nullptr, dump.snapshot(), false));
        dump.remove();
    }
}

[[noreturn]] void onTerminate() noexcept {
    static std::atomic<long> terminating{0};
    const long self = currentThreadId();
    long idle = 0;
    if (terminating.compare_exchange_strong(idle, self)) {
        try {
            if (const std::exception_ptr current = std::current_exception()) {
                deliver(describeFailure(current));
            } else {
                TcrashSnapshot snapshot = localSnapshot(
                    "std::terminate", "std::terminate was called without a failure in flight");
                snapshot.stackOrigin = "where std::terminate was called";
                snapshot.stack = localFrames(callerStack());
                deliver(TfailureDescription(nullptr, std::move(snapshot), true));
            }
        } catch (...) {
            // Nothing is left to report it to.
        }
    } else if (idle != self) {
        // Another thread is reporting, and its abort ends the process.
        for (;;)
            ::pause();
    }
    // The failure is reported; the abort that follows is not another one.
    restoreDefaultAbort();
    if (previousTerminate != nullptr)
        previousTerminate();
    std::abort();
}

} // namespace

TfailureDescription::TfailureDescription(std::exception_ptr failure, TcrashSnapshot snapshot,
                                         bool local)
    : failure_(std::move(failure))
    , snapshot_(std::move(snapshot))
    , local_(local) {}

const std::string& TfailureDescription::bugReport() const {
    if (!report_) {
        TcrashSnapshot snapshot = snapshot_;
        if (local_)
            addProcessState(snapshot);
        report_ = formatReport(snapshot);
    }
    return *report_;
}

void install() {
    static std::once_flag once;
    std::call_once(once, [] {
        runningProgram(); // read now, not while failing
        installSignalHandlers();
        previousTerminate = std::set_terminate(onTerminate);
        recordThrowSites();
    });
}

void registerHandler(TcrashHandler handler) {
    registered.store(handler);
    deliverLeftovers();
}

void unregisterHandler(TcrashHandler handler) {
    registered.compare_exchange_strong(handler, nullptr);
}

void setDumpFolder(const std::string& folder) {
    {
        const std::lock_guard guard(folderLock);
        dumpFolder = folder;
    }
    // Ready first, so that a failure while the leftovers are read leaves a dump too.
    prepareDump(folder);
    deliverLeftovers();
}

TfailureDescription describeFailure(const std::exception_ptr& failure) {
    Classified failureClass = classify(failure);
    TcrashSnapshot snapshot =
        localSnapshot(std::move(failureClass.className), std::move(failureClass.message));
    std::vector<void*> frames = throwSite(failureClass.object, failureClass.type);
    if (!frames.empty()) {
        snapshot.stackOrigin = "where the failure was thrown";
    } else {
        snapshot.stackOrigin = "where the failure was reported";
        frames = callerStack();
    }
    snapshot.stack = localFrames(frames);
    return TfailureDescription(failure, std::move(snapshot), true);
}

std::string failureMessage(const std::exception_ptr& failure) {
    return classify(failure).message;
}

void guardThread(const std::function<void()>& entry) {
    const TsignalStack signalStack;
    try {
        entry();
    } catch (const abi::__forced_unwind&) {
        throw;
    } catch (...) {
        reportUnhandled(std::current_exception());
    }
}

void reportUnhandled(const std::exception_ptr& failure) noexcept {
    try {
        deliver(describeFailure(failure));
    } catch (...) {
        // Out of memory while describing it: nothing can be reported.
    }
}

} // namespace vantle::crash
