#include "configuration.h"

#include "Base64.h"
#include "blowfish.h"
#include "statusPageArchive.h"
#include "xmlConf.h"

#include "archive/unzip.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "lib/utils/programFolders.h"
#include "lib/utils/programVersion.h"
#include "platform/autostart.h"
#include "platform/fileRemoval.h"
#include "platform/privateFolder.h"
#include "platform/programFile.h"
#include "platform/replacementFile.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace vantle {
namespace {

std::string runningProgram() {
    try {
        return platform::programPath();
    } catch (const std::system_error& e) {
        throw Error(std::string("Cannot find the program's own file: ") + e.what());
    }
}

// The folders hold the account's data: those made here are the user's only.
void createFolder(const std::string& folder) {
    try {
        platform::createPrivateFolders(folder);
    } catch (const std::system_error& e) {
        throw Error("Cannot create folder \"" + folder + "\". " + e.code().message());
    }
}

// The file's bytes, or nothing when it cannot be read as a file.
std::optional<std::string> existingBytes(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    try {
        return ReadFileText(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::string encodeStoredPassword(std::string_view password) {
    return Base64Encode(EncipherText(password, PasswordKey, 64), 0);
}

std::string decodeStoredPassword(std::string_view stored) {
    const std::string cipher = Base64Decode(stored);
    // Whatever was enciphered ends in well-formed padding, which deciphering removes: a text
    // that keeps its length was not written with this key.
    const std::string plain = BlowfishDecryptString(cipher, PasswordKey);
    if (cipher.empty() || cipher.size() % 8 != 0 || plain.size() == cipher.size())
        throw Error("The stored password cannot be deciphered");
    return plain.substr(0, plain.find('\0'));
}

Tconfiguration::Tconfiguration()
    : Tconfiguration(runningProgram()) {}

Tconfiguration::Tconfiguration(std::string programFile)
    : exePath(std::filesystem::absolute(programFile).lexically_normal().string())
    , settingsFolder(programSettingsFolder())
    , dataFolder(programDataFolder())
    , configFile(settingsFolder + "configuration.xml")
    , trayIconFile(dataFolder + "startbar.ico")
    , trayIconsFile(dataFolder + "tray.ico")
    , trayHintFile(dataFolder + "startbar.txt")
    , statusFile(dataFolder + "status.json")
    , updatedFile(dataFolder + "updated")
    , htmlFolder(dataFolder + "html/") {
    createFolder(settingsFolder);
    createFolder(dataFolder);
    createFolder(htmlFolder);
    // Every construction makes sure the page of the running build is there. A folder that
    // takes no files (read-only, full) leaves the page that is there: the program still runs.
    try {
        installStatusPage();
    } catch (const std::exception& e) {
        installProblem_ = e.what();
        runtime::outputDebugString(installProblem_);
    }
}

void Tconfiguration::installStatusPage() const {
    Tunzip archive(statusPageArchive());
    for (const std::string& member : archive.names()) {
        TmemoryTarget bytes;
        archive.extractToStream(member, bytes);
        const std::string path = Tunzip::memberPath(htmlFolder, member);
        // Unchanged files are not written: a start never tears the page, and a read-only
        // folder holding the right page is no failure.
        if (existingBytes(path) == bytes.data)
            continue;
        try {
            platform::TreplacementFile file(path);
            file.write(bytes.data);
            file.commit(platform::Flush::none);
        } catch (const std::system_error& e) {
            throw Error("Cannot create file \"" + path + "\". " + e.code().message());
        }
    }
}

void Tconfiguration::resetAccountData() {
    // Entry by entry in the folders themselves: a link in place of "html" would otherwise take
    // the deletions to wherever it points.
    platform::removeFilesIn(htmlFolder);
    platform::removeFilesIn(dataFolder);
    createFolder(htmlFolder);
    setUpdateTime(NeverUpdated);
    installStatusPage();
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
    return programVersionText(exePath);
}

void Tconfiguration::load() {
    username.clear();
    domain.clear();
    password.clear();
    providers.clear();
    notifications = {};
    pollInterval_ = 30;
    std::error_code ec;
    if (!std::filesystem::exists(configFile, ec))
        return;
    try {
        TxmlConf conf(configFile);
        username = conf.ReadValue("account", "username", "");
        domain = conf.ReadValue("account", "domain", "");
        for (auto& [accountDomain, endpoint] : conf.ReadSection("providers"))
            if (!endpoint.empty())
                providers.emplace(std::move(accountDomain), std::move(endpoint));
        notifications = TnotifySettings::read(conf);
        try {
            // No stored password is no failure: the account is just incomplete.
            const std::string stored = conf.ReadValue("account", "password", "");
            if (!stored.empty())
                password = decodeStoredPassword(stored);
        } catch (const std::exception& e) {
            password.clear();
            runtime::outputDebugString(e.what());
        }
        const std::string version = versionText();
        if (conf.ReadValue("vantle", "version", "") != version) {
            // A new build polls at once, whatever the last update time says.
            setUpdateTime(NeverUpdated);
            conf.WriteValue("vantle", "version", version);
        }
        conf.release();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

void Tconfiguration::save() {
    try {
        createFolder(settingsFolder);
        // What the user just entered wins over a file that is not XML; that file is kept aside.
        TxmlConf conf(configFile, TxmlConf::Unparsable::startAfresh);
        conf.WriteValue("account", "username", username);
        conf.WriteValue("account", "domain", domain);
        conf.WriteValue("account", "password", encodeStoredPassword(password));
        notifications.write(conf);
        conf.release();
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

bool Tconfiguration::runAtLogin() const {
    try {
        const std::optional<std::string> program = platform::autostartProgram();
        return program && IsSameFile(*program, exePath);
    } catch (const std::exception&) {
        return false;
    }
}

void Tconfiguration::setRunAtLogin(bool enabled) {
    if (enabled == runAtLogin())
        return;
    try {
        if (enabled)
            platform::writeAutostartEntry(exePath);
        else
            platform::removeAutostartEntry();
    } catch (const std::exception& e) {
        runtime::outputDebugString(std::string("Failed to updates registry: ") + e.what());
    }
}

std::unique_ptr<Tconfiguration> Tconfiguration::snapshot() const {
    return std::unique_ptr<Tconfiguration>(new Tconfiguration(*this));
}

std::unique_ptr<Tconfiguration> Tconfiguration::clone() const {
    auto copy = std::make_unique<Tconfiguration>(exePath);
    copy->username = username;
    copy->domain = domain;
    copy->password = password;
    copy->providers = providers;
    copy->notifications = notifications;
    copy->setPollInterval(pollInterval_);
    return copy;
}

} // namespace vantle
