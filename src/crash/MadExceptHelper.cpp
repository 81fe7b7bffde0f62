#include "MadExceptHelper.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/programFolders.h"
#include "platform/privateFolder.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace vantle {
namespace {

namespace fs = std::filesystem;

constexpr int KeptDays = 28;

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string withSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

// Where the program keeps its reports while it runs, known before any configuration exists:
// a failure at start leaves its report there too, and nothing lands beside the program file.
// Empty when the user's folders are unknown.
std::string dataCrashFolder() {
    try {
        return programDataFolder() + "crashdumps";
    } catch (const std::exception&) {
        return "";
    }
}

// Whole days between two times, either way round, counted in milliseconds so that a time of day
// held as a fraction does not lose a day to rounding.
std::int64_t daysBetween(TDateTime a, TDateTime b) {
    const auto milliseconds = std::llround(std::fabs(a - b) * runtime::SecondsPerDay * 1000.0);
    return milliseconds / (static_cast<std::int64_t>(runtime::SecondsPerDay) * 1000);
}

bool isStandardFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception&) {
        return true;
    } catch (...) {
        return false;
    }
}

void toDebugOutput(const std::exception_ptr& failure) noexcept {
    try {
        runtime::outputDebugString(crash::failureMessage(failure));
    } catch (...) {
        // The sink itself failed; there is nowhere left to tell.
    }
}

} // namespace

TmadExcept& TmadExcept::instance() {
    static TmadExcept single;
    return single;
}

TmadExcept::TmadExcept() {
    crash::install();
    setCrashFolder(dataCrashFolder());
}

TmadExcept::~TmadExcept() {
    // The handlers reach this object; a failure during the rest of the exit finds none.
    if (handler_ != nullptr)
        crash::unregisterHandler(handler_);
}

void TmadExcept::setCrashFolder(const std::string& path) {
    crashFolder_ = withSeparator(path);
    crash::setDumpFolder(reportFolder());
}

void TmadExcept::installSilentHandler() {
    installHandler(&TmadExcept::silentHandler);
}

void TmadExcept::installInteractiveHandler() {
    installHandler(&TmadExcept::interactiveHandler);
}

void TmadExcept::installHandler(crash::TcrashHandler next) {
    if (handler_ != nullptr)
        crash::unregisterHandler(handler_);
    handler_ = next;
    if (handler_ != nullptr)
        crash::registerHandler(handler_);
}

std::string TmadExcept::reportFolder() const {
    if (!crashFolder_.empty())
        return crashFolder_;
    std::error_code ec;
    const fs::path temporary = fs::temp_directory_path(ec);
    return withSeparator(ec ? "/tmp" : temporary.string());
}

std::string TmadExcept::saveReport(const std::string& text) {
    const std::string folder = reportFolder();
    try {
        // Reports quote failures that may name the account: the user's only.
        platform::createPrivateFolders(folder);
    } catch (const std::system_error& e) {
        throw Error("Cannot create folder \"" + folder + "\". " + e.code().message());
    }

    const TDateTime now = runtime::now();
    const std::string stem = folder + runtime::formatDateTime("yyyy-mm-dd hhnnss", now);
    // Created exclusively, so that a report saved at the same moment by another thread or
    // process takes the next number instead of replacing this one.
    std::string path;
    File file;
    for (int number = 1; !file; ++number) {
        path = stem + (number == 1 ? "" : " (" + std::to_string(number) + ")") + ".txt";
        file.reset(std::fopen(path.c_str(), "wbx"));
        if (!file && errno != EEXIST)
            throw Error("Cannot create file \"" + path + "\". " + std::strerror(errno));
    }
    runtime::outputDebugString("saving crash report: " + path);
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed)
        throw Error("Cannot write file \"" + path + "\". " + std::strerror(errno));

    removeOldReports(now, path);
    return path;
}

void TmadExcept::removeOldReports(TDateTime now, const std::string& keep) const {
    // Without a crash folder the reports lie among other programs' files, which are not ours to
    // delete.
    if (crashFolder_.empty())
        return;
    std::vector<std::string> old;
    for (const std::string& entry : ListFiles(crashFolder_)) {
        if (entry == keep)
            continue;
        try {
            if (daysBetween(now, FileModifiedTime(entry)) > KeptDays)
                old.push_back(entry);
        } catch (const Error&) {
            // Gone since the listing.
        }
    }
    // Folders, such as the engine's pending dumps, cannot be deleted as files and stay.
    for (const std::string& entry : old)
        DeleteFile(entry);
}

void TmadExcept::reportException(const std::exception_ptr& failure) {
    try {
        saveReport(crash::describeFailure(failure).bugReport());
    } catch (...) {
        toDebugOutput(std::current_exception());
    }
}

void TmadExcept::reportIfSevere(const std::exception_ptr& failure) {
    const std::string message = crash::failureMessage(failure);
    if (message.find("Access violation") != std::string::npos ||
        message.find("Invalid pointer operation") != std::string::npos)
        reportException(failure);
}

void TmadExcept::setMessageBox(TmessageBox box) {
    const std::lock_guard guard(boxLock_);
    messageBox_ = std::move(box);
}

void TmadExcept::showMessage(const std::string& message) {
    TmessageBox box;
    {
        const std::lock_guard guard(boxLock_);
        box = messageBox_;
    }
    if (box)
        box(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

void TmadExcept::silentHandler(const crash::TfailureDescription& failure, bool& handled) {
    handled = true;
    try {
        instance().saveReport(failure.bugReport());
    } catch (...) {
        toDebugOutput(std::current_exception());
    }
}

void TmadExcept::interactiveHandler(const crash::TfailureDescription& failure, bool& handled) {
    handled = true;
    try {
        TmadExcept& self = instance();
        if (failure.failure()) {
            if (isStandardFailure(failure.failure()))
                self.reportIfSevere(failure.failure());
            self.showMessage(failure.message());
        } else {
            self.saveReport(failure.bugReport());
        }
    } catch (...) {
        toDebugOutput(std::current_exception());
    }
}

} // namespace vantle
