// The commands of vantlectl; each returns the process exit status.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vantle {
class Tconfiguration;
}

namespace vantle::ctl {

using Arguments = std::vector<std::string>;

// The configuration of the program vantlectl works for: the vantle beside it when there is one,
// so the version the settings file records and the start-at-login entry are the program's.
std::unique_ptr<Tconfiguration> programConfiguration();

// usage [FILE]: the stored usage documents (or FILE) as read into the usage model.
int usageCommand(const Arguments& arguments);

// config [--notify yes|no] [--thresholds LIST]: the settings file's account (never the
// password), the start-at-login state and the notifications, after setting the latter.
int configCommand(const Arguments& arguments);

// render [--usage FILE] [--out DIR]: the output step of a poll cycle into the configuration's
// files or DIR; prints the tray hint.
int renderCommand(const Arguments& arguments);

// poll: one poll cycle with the user's configuration; prints the hint.
int pollCommand(const Arguments& arguments);

// configure --username U --domain D [--run-at-login yes|no]: the password from standard input,
// checked and verified as the configuration dialog does, then saved.
int configureCommand(const Arguments& arguments);

// status [--json | --waybar]: the stored usage with its pace, the update time and the last
// failure, as text, strict JSON or a status bar's object; 3 when a type is at or over the
// highest notification threshold, else 0.
int statusCommand(const Arguments& arguments);

// unzip ARCHIVE [DIR] | unzip --list ARCHIVE: the members' names, or each member extracted into
// DIR (default the current folder) with its result.
int unzipCommand(const Arguments& arguments);

// history [--periods N] [--json | --csv]: the usage history's days of the latest quota period,
// or the latest N periods' totals.
int historyCommand(const Arguments& arguments);

// crash-test segv|throw|terminate: a diagnostic; fails on purpose in the named way, so that a
// crash report is left in the profile's crash folder.
int crashTestCommand(const Arguments& arguments);

} // namespace vantle::ctl
