// Fatal signals: an async-signal-safe handler writes the raw call stack and the process's state to
// a dump file made ready beforehand; a later start of the same program reads it back.
#pragma once

#include "crash/crashReport.h"

#include <string>
#include <vector>

namespace vantle::crash {

// Under the address sanitizer the memory and arithmetic faults are the sanitizer's to report.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool catchesMemoryFaults = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool catchesMemoryFaults = false;
#else
inline constexpr bool catchesMemoryFaults = true;
#endif
#else
inline constexpr bool catchesMemoryFaults = true;
#endif

// SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT (only SIGABRT when !catchesMemoryFaults).
void installSignalHandlers();

// Lets the next SIGABRT take its default action, for an abort that ends a failure already
// reported.
void restoreDefaultAbort() noexcept;

// An alternate signal stack for the calling thread for the object's lifetime, so that a stack
// overflow can still be reported. Does nothing where the thread has one already, or under the
// address sanitizer, which gives every thread its own.
class TsignalStack {
public:
    TsignalStack();
    ~TsignalStack();
    TsignalStack(const TsignalStack&) = delete;
    TsignalStack& operator=(const TsignalStack&) = delete;

private:
    std::vector<char> memory_;
};

// Makes this process's dump file ready in folder + "pending/" (created when missing; a folder
// outside the age-based clean-up of reports), removing its earlier one. False when the file
// cannot be made; a fatal signal then leaves no dump.
bool prepareDump(const std::string& folder);
// Removes this process's dump file; at exit it goes by itself.
void discardDump();

// A dump that an earlier run of this program left in folder + "pending/", locked while it is
// read and handed on, so that no other process takes it too.
class TleftoverDump {
public:
    TleftoverDump(int fd, std::string path, TcrashSnapshot snapshot);
    TleftoverDump(TleftoverDump&& other) noexcept;
    TleftoverDump& operator=(TleftoverDump&&) = delete;
    ~TleftoverDump();

    const TcrashSnapshot& snapshot() const { return snapshot_; }
    // Once its report is made.
    void remove();

private:
    int fd_;
    std::string path_;
    TcrashSnapshot snapshot_;
};

// The dumps of dead processes of this program. Dumps of processes that ended without a fatal
// signal are removed on the way; those of other programs and of running processes stay.
std::vector<TleftoverDump> leftoverDumps(const std::string& folder);

} // namespace vantle::crash
