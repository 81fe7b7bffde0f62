// The crash-reporting engine: catches what would otherwise end the program and hands each failure
// to the one registered handler, with a bug report of call stack, threads and system data.
#pragma once

#include "crash/crashReport.h"
#include "crash/signalDump.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace vantle::crash {

// What the engine knows of one failure.
class TfailureDescription {
public:
    // Made by the engine. local: the failure happened in this process, whose threads and system
    // data the report then shows; otherwise the snapshot holds them already.
    TfailureDescription(std::exception_ptr failure, TcrashSnapshot snapshot, bool local);

    // The failure object; empty when the report is about none, as for a fatal signal (whose
    // report is made at the next start, from the dump of the process that died).
    const std::exception_ptr& failure() const { return failure_; }
    const std::string& failureClass() const { return snapshot_.failureClass; }
    const std::string& message() const { return snapshot_.message; }
    // The complete report text, built on the first call.
    const std::string& bugReport() const;

private:
    std::exception_ptr failure_;
    TcrashSnapshot snapshot_;
    bool local_;
    mutable std::optional<std::string> report_;
};

// Called on the failing thread, one failure at a time. Setting handled keeps the engine from
// showing the report (on standard error) itself.
using TcrashHandler = void (*)(const TfailureDescription& failure, bool& handled);

// Catches std::terminate and the fatal signals, records where exceptions are thrown and gives
// the calling thread an alternate signal stack. Once is enough; later calls do nothing.
void install();

// Replaces the registered handler. Dumps of fatal signals that earlier runs left in the dump
// folder reach the new handler at once.
void registerHandler(TcrashHandler handler);
// Only when it is the registered one.
void unregisterHandler(TcrashHandler handler);

// Where this process keeps its fatal-signal dump (in the folder's "pending" folder), made
// ready now; earlier runs' dumps found there go to the registered handler, if there is one.
void setDumpFolder(const std::string& folder);

// A description of the failure object with the call stack of its throw when this thread threw
// it recently, and otherwise the stack of the caller.
TfailureDescription describeFailure(const std::exception_ptr& failure);
// Its message as reports give it: what() of a std::exception, otherwise a text naming the type.
std::string failureMessage(const std::exception_ptr& failure);

// Runs a thread's entry function; a failure leaving it goes to the handler and the thread then
// ends normally. Thread cancellation passes through.
void guardThread(const std::function<void()>& entry);

// For a failure caught at the top of the event loop (the application's notify) or of a thread:
// hands it to the handler and returns.
void reportUnhandled(const std::exception_ptr& failure) noexcept;

} // namespace vantle::crash
