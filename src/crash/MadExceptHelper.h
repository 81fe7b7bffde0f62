// The program's layer over the crash-reporting engine: what happens to a caught failure, and the
// crash-report files, named by the time they are saved and kept for 28 days.
#pragma once

#include "crash/crashEngine.h"
#include "lib/runtime/DateTime.h"

#include <exception>
#include <functional>
#include <mutex>
#include <string>

namespace vantle {

class TmadExcept {
public:
    // Shows a failure's message to the user: modal, of the error type, with a single OK button.
    // Called on the failing thread.
    using TmessageBox = std::function<void(const std::string& message)>;

    // The single instance, made on the first call: the engine installed, no handler, the crash
    // folder the data folder's "crashdumps" (none when the user's folders are unknown).
    static TmadExcept& instance();

    TmadExcept(const TmadExcept&) = delete;
    TmadExcept& operator=(const TmadExcept&) = delete;

    // Ends with "/"; empty when cleared.
    const std::string& crashFolder() const { return crashFolder_; }
    // An empty path clears it; any other is stored with a trailing separator. The engine keeps
    // its fatal-signal dump there too. Set on the main thread before any worker starts.
    void setCrashFolder(const std::string& path);

    crash::TcrashHandler handler() const { return handler_; }
    void installSilentHandler();
    void installInteractiveHandler();
    // Unregisters the handler registered before, if any, and registers this one (none when
    // null).
    void installHandler(crash::TcrashHandler handler);

    // Writes the text as a new file "yyyy-mm-dd hhnnss.txt" of the local time, with " (2)",
    // " (3)"... before ".txt" while the name is taken, in the crash folder (the temporary folder
    // when there is none), created when missing. Then deletes the crash folder's entries that are
    // more than 28 whole days old. Returns the path; raises Error.
    std::string saveReport(const std::string& text);
    // Saves the engine's report of the failure object, showing nothing. Never raises: its own
    // failure goes to the diagnostic sink.
    void reportException(const std::exception_ptr& failure);
    // reportException when the failure's message contains "Access violation" or "Invalid pointer
    // operation".
    void reportIfSevere(const std::exception_ptr& failure);

    // Set by the GUI layer; until then, and after an empty one, messages go to standard error.
    void setMessageBox(TmessageBox box);

    // Saves every failure's report and shows nothing.
    static void silentHandler(const crash::TfailureDescription& failure, bool& handled);
    // Shows a failure object's message, saving the report of a severe one; a report about no
    // failure object (a fatal signal of an earlier run) is saved.
    static void interactiveHandler(const crash::TfailureDescription& failure, bool& handled);

private:
    TmadExcept();
    ~TmadExcept();

    std::string reportFolder() const;
    void showMessage(const std::string& message);
    void removeOldReports(TDateTime now, const std::string& keep) const;

    crash::TcrashHandler handler_ = nullptr;
    std::string crashFolder_;
    std::mutex boxLock_;
    TmessageBox messageBox_;
};

} // namespace vantle
