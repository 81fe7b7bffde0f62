// The text of a crash report: the failure, the failing thread's call stack with function names,
// the process's threads and the system's data, from a snapshot taken when the failure happened.
#pragma once

#include "lib/runtime/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vantle::crash {

struct TstackFrame {
    std::uintptr_t address = 0; // as the failing process saw it
    std::uintptr_t lookup = 0;  // the same code in this process; 0 when it is not loaded here
    std::string module;         // the file the code lies in; empty when unknown
    std::uintptr_t offset = 0;  // from the module's first mapping, as a symbol tool takes it
    // A return address points past its call, beyond the function's end after a call that never
    // returns, so its name is looked up one byte back; the instruction that faulted is exact.
    bool returnAddress = true;
};

struct TthreadName {
    long id = 0;
    std::string name;
};

struct TcrashSnapshot {
    std::string failureClass;
    std::string message;
    std::string stackOrigin; // whose stack it is: "where the failure was thrown" and the like
    std::vector<TstackFrame> stack; // the failing thread's, innermost call first
    long failingThread = 0;
    std::vector<TthreadName> threads;
    std::string program;
    std::string version;
    std::string kernel;
    std::int64_t uptimeSeconds = -1; // below 0: unknown
    std::uint64_t memoryTotal = 0;   // bytes; 0: unknown
    std::uint64_t memoryFree = 0;
    std::uint64_t processResident = 0;
    TDateTime time = 0;
};

// The running program's file and its version text ("yyyymmdd.hhnnss" of its build time), read
// on the first call; empty where the system cannot tell.
struct TprogramInfo {
    std::string path;
    std::string version;
};
const TprogramInfo& runningProgram();

long currentThreadId();

// Frames of this process from return addresses; null addresses end the list.
std::vector<TstackFrame> localFrames(const std::vector<void*>& addresses);

// Adds this process's present threads and the system's data (kernel, up time, memory) and the
// program's path and version.
void addProcessState(TcrashSnapshot& snapshot);

// Any thread may call it; the symbol lookups behind the function names run one at a time.
std::string formatReport(const TcrashSnapshot& snapshot);

} // namespace vantle::crash
