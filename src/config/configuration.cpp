#include "configuration.h"

#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "platform/programFile.h"

#include <filesystem>
#include <system_error>

namespace vantle {
namespace {

const char* const ProgramFolderName = "vantle/";

std::string runningProgram() {
    try {
        return platform::programPath();
    } catch (const std::system_error& e) {
        throw Error(std::string("Cannot find the program's own file: ") + e.what());
    }
}

void createFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw Error("Cannot create folder \"" + folder + "\". " + ec.message());
}

} // namespace

Tconfiguration::Tconfiguration()
    : Tconfiguration(runningProgram()) {}

Tconfiguration::Tconfiguration(std::string programFile)
    : exePath(std::filesystem::absolute(programFile).lexically_normal().string())
    , settingsFolder(SpecialFolderPath(TCSIDL::APPDATA, {TCSIDLFlag::dontUnexpand}) +
                     ProgramFolderName)
    , dataFolder(SpecialFolderPath(TCSIDL::LOCAL_APPDATA, {TCSIDLFlag::dontUnexpand}) +
                 ProgramFolderName)
    , configFile(settingsFolder + "configuration.xml")
    , trayIconFile(dataFolder + "startbar.ico")
    , trayHintFile(dataFolder + "startbar.txt")
    , statusFile(dataFolder + "status.json")
    , updatedFile(dataFolder + "updated")
    , htmlFolder(dataFolder + "html/") {
    createFolder(settingsFolder);
    createFolder(dataFolder);
    createFolder(htmlFolder);
    // Last step of every construction: the status page is unpacked into htmlFolder.
}

bool Tconfiguration::isComplete() const {
    return !username.empty() && !domain.empty() && !password.empty();
}

void Tconfiguration::setPollInterval(std::int32_t minutes) {
    pollInterval_ = minutes < 20 ? 20 : minutes;
}

TDateTime Tconfiguration::updateTime() const {
    try {
        return FileModifiedTime(updatedFile);
    } catch (const std::exception&) {
        return NeverUpdated;
    }
}

void Tconfiguration::setUpdateTime(TDateTime time) {
    std::error_code ec;
    if (!std::filesystem::exists(updatedFile, ec))
        WriteFileText("", updatedFile);
    SetFileModifiedTime(updatedFile, time);
}

std::string Tconfiguration::versionText() const {
    return runtime::formatDateTime("yyyymmdd.hhnnss", ProgramBuildTime(exePath));
}

std::unique_ptr<Tconfiguration> Tconfiguration::clone() const {
    auto copy = std::make_unique<Tconfiguration>(exePath);
    copy->username = username;
    copy->domain = domain;
    copy->password = password;
    copy->setPollInterval(pollInterval_);
    return copy;
}

} // namespace vantle
