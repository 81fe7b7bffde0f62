// The one configuration object: where the program's files lie, the account settings, the poll
// interval and the time of the last successful update.
#pragma once

#include "config/notifySettings.h"
#include "lib/runtime/DateTime.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace vantle {

// 2000-01-01 00:00:00: no successful update has happened.
inline constexpr TDateTime NeverUpdated = 36526.0;

// The key the stored password is enciphered with. It is built into the program, so the stored
// password is hidden from a casual look, not protected.
inline constexpr std::string_view PasswordKey = "{3C1E77B2-5D04-4B6E-9F13-A2C8E04D7B59}";

// The password as the settings file stores it: enciphered, zero-filled to 64 bytes, Base64.
std::string encodeStoredPassword(std::string_view password);
// The inverse; raises Error when the text is not Base64 or does not decipher under the key.
std::string decodeStoredPassword(std::string_view stored);

class Tconfiguration {
public:
    // Resolves the folders and creates them with their missing parents (those it creates
    // readable by the user only); raises Error with the system's message and the path when
    // that fails. Then installs the status page; a failure there does not fail construction
    // (see installProblem).
    Tconfiguration();
    // The same, for a tool that acts for the program stored at programFile.
    explicit Tconfiguration(std::string programFile);

    Tconfiguration& operator=(const Tconfiguration&) = delete;

    // Folder paths end with "/"; none of these changes after construction, so any thread may
    // read them.
    const std::string exePath;
    const std::string settingsFolder;
    const std::string dataFolder;
    const std::string configFile;

    std::string password; // plain text in memory only
    std::string username;
    std::string domain;
    // Endpoint templates that replace a provider's built-in one, by account domain: the
    // settings file's "providers" section, kept as it is by save.
    std::map<std::string, std::string> providers;
    // What the user wants to be told of; load reads it, save writes it.
    TnotifySettings notifications;

    const std::string trayIconFile;
    const std::string trayIconsFile; // the notification area's icon at every size
    const std::string trayHintFile;
    const std::string statusFile;
    const std::string updatedFile;
    const std::string htmlFolder;

    bool isComplete() const;

    std::int32_t pollInterval() const { return pollInterval_; }
    // Anything below 20 minutes is raised to 20.
    void setPollInterval(std::int32_t minutes);

    // The modification time of updatedFile; NeverUpdated on any failure.
    TDateTime updateTime() const;
    void setUpdateTime(TDateTime time);

    // The program's build time as "yyyymmdd.hhnnss"; the running program's is read once.
    std::string versionText() const;

    // Reads the account from the settings file and sets the poll interval to 30. A program
    // build other than the one that last wrote the file resets the update time. Never raises:
    // failures go to the debugger output, and a password that cannot be read is dropped.
    void load();
    // Writes the account to the settings file; never raises (failures go to the debugger
    // output).
    void save();

    // Whether the start-at-login entry starts this program (paths compared by IsSameFile).
    bool runAtLogin() const;
    // Writes or removes the start-at-login entry; failures go to the debugger output.
    void setRunAtLogin(bool enabled);

    // Unpacks the program's status page ("status.html", "warning.png") into htmlFolder: each
    // file whose bytes differ from the program's (a damaged or older copy, or none) is replaced
    // in one step; the others are left alone. Raises the archive reader's or the file system's
    // failure.
    void installStatusPage() const;
    // Why construction could not install the status page (a read-only or full data folder):
    // the files already there stay in use. Empty when it could.
    const std::string& installProblem() const { return installProblem_; }
    // Forgets the account's downloaded and generated data: deletes the files and links of
    // htmlFolder and of dataFolder (folders such as "html" and "crashdumps" stay), resets the
    // update time and unpacks the status page again. No link is followed: an "html" that is a
    // link is itself removed and made a folder again. Failed deletions are ignored.
    void resetAccountData();

    // A new object, with all the effects of construction, holding this one's account, endpoint
    // templates and poll interval; the settings file is not read.
    std::unique_ptr<Tconfiguration> clone() const;

    // A copy of every field, made without touching the disk, for a worker thread: the main
    // thread may change the account fields (load, the dialog) while a poll cycle reads them.
    std::unique_ptr<Tconfiguration> snapshot() const;

private:
    // Copies only through clone (with construction's effects) or snapshot.
    Tconfiguration(const Tconfiguration&) = default;

    std::int32_t pollInterval_ = 0;
    std::string installProblem_;
};

} // namespace vantle
