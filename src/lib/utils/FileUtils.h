// File and shell helpers: modification times, whole-file reads and writes, path comparison, the
// user's special folders, folder listings and the build time of a program file. Failures raise
// Error with the system's message.
#pragma once

#include "lib/runtime/DateTime.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

// The last-write time of a file or folder in local time, to the packed file time's two-second
// steps; 0.0 when the time cannot be packed (before 1980 or after 2107). Raises
// "Failed to locate file: " + path when there is no such entry.
TDateTime FileModifiedTime(const std::string& path);
// Sets the last-write time to the two-second step at or before the given local time.
void SetFileModifiedTime(const std::string& path, TDateTime time);

// The whole content as bytes.
std::string ReadFileText(const std::string& path);
// Replaces the file with the bytes, creating missing folders first. Readers see the old or the
// new content, never a part. A regular file that holds the bytes already is left untouched.
// Content first, path second.
void WriteFileText(std::string_view text, const std::string& path);

// Deletes a file; a folder, even an empty one, is left alone. False when nothing was deleted.
bool DeleteFile(const std::string& path);

// The full path (relative paths taken from the current folder, "." and ".." resolved) in lower
// case; IsSameFile compares two of them.
std::string NormalFileName(const std::string& path);
bool IsSameFile(const std::string& a, const std::string& b);

// The shell's special folder kinds, in their CSIDL order; each maps to its CSIDL value.
enum class TCSIDL {
    ADMINTOOLS,
    ALTSTARTUP,
    APPDATA,
    BITBUCKET,
    CDBURN_AREA,
    COMMON_ADMINTOOLS,
    COMMON_ALTSTARTUP,
    COMMON_APPDATA,
    COMMON_DESKTOPDIRECTORY,
    COMMON_DOCUMENTS,
    COMMON_FAVORITES,
    COMMON_MUSIC,
    COMMON_OEM_LINKS,
    COMMON_PICTURES,
    COMMON_PROGRAMS,
    COMMON_STARTMENU,
    COMMON_STARTUP,
    COMMON_TEMPLATES,
    COMMON_VIDEO,
    COMPUTERSNEARME,
    CONNECTIONS,
    CONTROLS,
    COOKIES,
    DESKTOP,
    DESKTOPDIRECTORY,
    DRIVES,
    FAVORITES,
    FONTS,
    HISTORY,
    INTERNET,
    INTERNET_CACHE,
    LOCAL_APPDATA,
    MYDOCUMENTS,
    MYMUSIC,
    MYPICTURES,
    MYVIDEO,
    NETHOOD,
    NETWORK,
    PERSONAL,
    PRINTERS,
    PRINTHOOD,
    PROFILE,
    PROGRAM_FILES,
    PROGRAM_FILESX86,
    PROGRAM_FILES_COMMON,
    PROGRAM_FILES_COMMONX86,
    PROGRAMS,
    RECENT,
    RESOURCES,
    RESOURCES_LOCALIZED,
    SENDTO,
    STARTMENU,
    STARTUP,
    SYSTEM,
    SYSTEMX86,
    TEMPLATES,
    WINDOWS,
};
enum class TCSIDLFlag { create, dontUnexpand, dontVerify, noAlias, perUserInit, flagMask };
using TCSIDLFlags = std::initializer_list<TCSIDLFlag>;

// The CSIDL value of a kind plus its flags; raises "unsupported csidl" outside the enumeration.
int csidlIdentifier(TCSIDL kind, TCSIDLFlags flags = {});
// The enumeration name of a kind ("APPDATA").
std::string csidlName(TCSIDL kind);
// The folder with a trailing separator. Here APPDATA is the XDG config home and LOCAL_APPDATA
// the XDG data home; the create flag creates the folder. Other kinds have no folder here and
// raise an Error that says so.
std::string SpecialFolderPath(TCSIDL kind, TCSIDLFlags flags);

// The entries of a folder, or of a folder part and a name mask ("dir/*.png"), each as the folder
// part followed by the name, in the file system's order; "." and ".." are left out.
std::vector<std::string> ListFiles(const std::string& folderOrMask);
// File-name wildcards, letter case ignored: "*" any run, "?" one character, "[a-z]" and "[!x]"
// sets.
bool MatchesMask(std::string_view name, std::string_view mask);

// A Windows program's link time stamp as UTC plus eight hours; for any other file its
// modification time.
TDateTime ProgramBuildTime(const std::string& path);

} // namespace vantle
