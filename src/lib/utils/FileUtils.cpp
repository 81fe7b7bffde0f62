#include "FileUtils.h"

#include "fileContent.h"

#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"
#include "platform/fileRemoval.h"
#include "platform/replacementFile.h"
#include "platform/userFolders.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;

namespace vantle {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string systemMessage(int code) {
    return std::generic_category().message(code);
}

Error streamError(const char* what, const std::string& path, int code) {
    return Error(std::string(what) + " \"" + path + "\". " + systemMessage(code));
}

File openForReading(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        throw streamError("Cannot open file", path, errno);
    return file;
}

// The packed file date-time counts years from 1980 in seven bits and seconds in twos.
bool packable(const runtime::DateTimeFields& f) {
    return f.year >= 1980 && f.year <= 2107;
}

std::time_t toTimeT(fs::file_time_type time) {
    using namespace std::chrono;
    return system_clock::to_time_t(
        time_point_cast<system_clock::duration>(file_clock::to_sys(time)));
}

std::uint32_t readLittle32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool readAt(std::FILE* file, long offset, unsigned char* buffer, std::size_t count) {
    return std::fseek(file, offset, SEEK_SET) == 0 && std::fread(buffer, 1, count, file) == count;
}

// The link time of a PE program, or 0.0 when the file is not one.
TDateTime peLinkTime(const std::string& path) {
    const File file = openForReading(path);
    unsigned char dos[64];
    if (!readAt(file.get(), 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return 0.0;
    const std::uint32_t headerOffset = readLittle32(dos + 60);
    // The new-format header is 248 bytes; all of it must lie inside the file.
    unsigned char header[248];
    if (headerOffset == 0 || headerOffset > 0x7fffffffu - sizeof header ||
        !readAt(file.get(), static_cast<long>(headerOffset), header, sizeof header))
        return 0.0;
    if (std::memcmp(header, "PE\0\0", 4) != 0)
        return 0.0;
    const std::uint32_t stamp = readLittle32(header + 8);
    const double utc = static_cast<double>(stamp) / runtime::SecondsPerDay + runtime::UnixDateDelta;
    return (utc * 1440 + 480) / 1440;
}

struct CsidlEntry {
    const char* name;
    int value;
};

// In the order of TCSIDL.
constexpr CsidlEntry csidlTable[] = {
    {"ADMINTOOLS", 0x30},
    {"ALTSTARTUP", 0x1d},
    {"APPDATA", 0x1a},
    {"BITBUCKET", 0x0a},
    {"CDBURN_AREA", 0x3b},
    {"COMMON_ADMINTOOLS", 0x2f},
    {"COMMON_ALTSTARTUP", 0x1e},
    {"COMMON_APPDATA", 0x23},
    {"COMMON_DESKTOPDIRECTORY", 0x19},
    {"COMMON_DOCUMENTS", 0x2e},
    {"COMMON_FAVORITES", 0x1f},
    {"COMMON_MUSIC", 0x35},
    {"COMMON_OEM_LINKS", 0x3a},
    {"COMMON_PICTURES", 0x36},
    {"COMMON_PROGRAMS", 0x17},
    {"COMMON_STARTMENU", 0x16},
    {"COMMON_STARTUP", 0x18},
    {"COMMON_TEMPLATES", 0x2d},
    {"COMMON_VIDEO", 0x37},
    {"COMPUTERSNEARME", 0x3d},
    {"CONNECTIONS", 0x31},
    {"CONTROLS", 0x03},
    {"COOKIES", 0x21},
    {"DESKTOP", 0x00},
    {"DESKTOPDIRECTORY", 0x10},
    {"DRIVES", 0x11},
    {"FAVORITES", 0x06},
    {"FONTS", 0x14},
    {"HISTORY", 0x22},
    {"INTERNET", 0x01},
    {"INTERNET_CACHE", 0x20},
    {"LOCAL_APPDATA", 0x1c},
    {"MYDOCUMENTS", 0x0c},
    {"MYMUSIC", 0x0d},
    {"MYPICTURES", 0x27},
    {"MYVIDEO", 0x0e},
    {"NETHOOD", 0x13},
    {"NETWORK", 0x12},
    {"PERSONAL", 0x05},
    {"PRINTERS", 0x04},
    {"PRINTHOOD", 0x1b},
    {"PROFILE", 0x28},
    {"PROGRAM_FILES", 0x26},
    {"PROGRAM_FILESX86", 0x2a},
    {"PROGRAM_FILES_COMMON", 0x2b},
    {"PROGRAM_FILES_COMMONX86", 0x2c},
    {"PROGRAMS", 0x02},
    {"RECENT", 0x08},
    {"RESOURCES", 0x38},
    {"RESOURCES_LOCALIZED", 0x39},
    {"SENDTO", 0x09},
    {"STARTMENU", 0x0b},
    {"STARTUP", 0x07},
    {"SYSTEM", 0x25},
    {"SYSTEMX86", 0x29},
    {"TEMPLATES", 0x15},
    {"WINDOWS", 0x24},
};
static_assert(std::size(csidlTable) == 57);

const CsidlEntry& csidlEntry(TCSIDL kind) {
    const auto index = static_cast<std::size_t>(kind);
    if (index >= std::size(csidlTable))
        throw Error("unsupported csidl");
    return csidlTable[index];
}

constexpr int csidlFlagValues[] = {0x8000, 0x2000, 0x4000, 0x1000, 0x0800, 0xFF00};

bool hasFlag(TCSIDLFlags flags, TCSIDLFlag flag) {
    for (TCSIDLFlag f : flags)
        if (f == flag)
            return true;
    return false;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// One character of a bracketed set at mask[i] ('[' already consumed); advances i past ']'.
// Returns false with i unchanged when the set is not closed, so '[' is then taken literally.
bool matchSet(std::string_view mask, std::size_t& i, char c, bool& matched) {
    std::size_t j = i;
    const bool negate = j < mask.size() && mask[j] == '!';
    if (negate)
        ++j;
    bool inSet = false;
    bool first = true;
    while (j < mask.size() && (mask[j] != ']' || first)) {
        first = false;
        char low = lower(mask[j]);
        char high = low;
        if (j + 2 < mask.size() && mask[j + 1] == '-' && mask[j + 2] != ']') {
            high = lower(mask[j + 2]);
            j += 2;
        }
        if (low <= c && c <= high)
            inSet = true;
        ++j;
    }
    if (j >= mask.size())
        return false;
    i = j + 1;
    matched = inSet != negate;
    return true;
}

// The old bytes are overwritten where they are; a reader may see a part.
void writeInPlace(std::string_view text, const std::string& path) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        throw streamError("Cannot create file", path, errno);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0)
        throw streamError("Cannot write file", path, errno);
    if (std::fclose(file.release()) != 0)
        throw streamError("Cannot write file", path, errno);
}

} // namespace

TDateTime FileModifiedTime(const std::string& path) {
    std::error_code ec;
    const fs::file_time_type time = fs::last_write_time(path, ec);
    if (ec)
        throw Error("Failed to locate file: " + path);
    TDateTime local = runtime::unixToLocal(toTimeT(time));
    runtime::DateTimeFields f = runtime::decodeDateTime(local);
    if (!packable(f))
        return 0.0;
    f.second &= ~1;
    f.millisecond = 0;
    runtime::tryEncodeDateTime(f, local);
    return local;
}

void SetFileModifiedTime(const std::string& path, TDateTime time) {
    // Opening for writing refuses folders and read-only files, as the time change would.
    File file(std::fopen(path.c_str(), "r+b"));
    if (!file)
        throw Error(systemMessage(errno));
    runtime::DateTimeFields f = runtime::decodeDateTime(time);
    f.second &= ~1;
    f.millisecond = 0;
    TDateTime packed = 0.0;
    std::time_t seconds = 0;
    if (!packable(f) || !runtime::tryEncodeDateTime(f, packed) ||
        !runtime::localToUnix(packed, seconds))
        throw Error(systemMessage(EINVAL) + ": a file time must lie between 1980 and 2107");
    using namespace std::chrono;
    std::error_code ec;
    fs::last_write_time(path, file_clock::from_sys(system_clock::from_time_t(seconds)), ec);
    if (ec)
        throw Error(ec.message());
}

std::string ReadFileText(const std::string& path) {
    const File file = openForReading(path);
    std::string text;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        text.append(buffer, n);
    if (std::ferror(file.get()))
        throw streamError("Cannot read file", path, errno);
    return text;
}

void WriteFileText(std::string_view text, const std::string& path) {
    // The outputs come out the same in most cycles; a file that holds them already is left as
    // it is.
    if (fileHolds(path, text))
        return;
    std::error_code ec;
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent, ec);
    if (ec)
        throw Error("Cannot create file \"" + path + "\". " + ec.message());

    // Readers, a second writer or a full disk never leave the path torn, empty or missing. The
    // outputs are made again every cycle, so they are not flushed to disk.
    std::optional<platform::TreplacementFile> file;
    try {
        file.emplace(path);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::permission_denied && fs::is_regular_file(path, ec))
            return writeInPlace(text, path); // a folder that is closed to new files
        throw streamError("Cannot create file", path, e.code().value());
    }
    try {
        file->write(text);
    } catch (const std::system_error& e) {
        throw streamError("Cannot write file", path, e.code().value());
    }
    try {
        file->commit(platform::Flush::none);
    } catch (const std::system_error& e) {
        throw streamError("Cannot create file", path, e.code().value());
    }
}

bool DeleteFile(const std::string& path) {
    return platform::removeFileEntry(path);
}

std::string NormalFileName(const std::string& path) {
    if (path.empty())
        return {};
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec)
        full = path;
    return runtime::asciiLowerCase(full.lexically_normal().string());
}

bool IsSameFile(const std::string& a, const std::string& b) {
    return NormalFileName(a) == NormalFileName(b);
}

int csidlIdentifier(TCSIDL kind, TCSIDLFlags flags) {
    int value = csidlEntry(kind).value;
    for (TCSIDLFlag flag : flags)
        value |= csidlFlagValues[static_cast<std::size_t>(flag)];
    return value;
}

std::string csidlName(TCSIDL kind) {
    return csidlEntry(kind).name;
}

std::string SpecialFolderPath(TCSIDL kind, TCSIDLFlags flags) {
    const CsidlEntry& entry = csidlEntry(kind);
    std::string folder;
    try {
        if (kind == TCSIDL::APPDATA)
            folder = platform::configHome();
        else if (kind == TCSIDL::LOCAL_APPDATA)
            folder = platform::dataHome();
        else
            throw Error(std::string("The special folder ") + entry.name +
                        " has no equivalent on this system");
    } catch (const std::runtime_error& e) {
        throw Error(e.what());
    }
    if (hasFlag(flags, TCSIDLFlag::create)) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec)
            throw Error(ec.message() + ": " + folder);
    }
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::vector<std::string> ListFiles(const std::string& folderOrMask) {
    std::string folder;
    std::string mask = "*.*";
    std::error_code ec;
    if (fs::is_directory(folderOrMask, ec)) {
        folder = folderOrMask;
        if (folder.back() != '/')
            folder += '/';
    } else {
        const std::size_t slash = folderOrMask.rfind('/');
        folder = slash == std::string::npos ? "" : folderOrMask.substr(0, slash + 1);
        mask = folderOrMask.substr(folder.size());
    }
    std::vector<std::string> files;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec)
        throw Error(ec.message() + ": " + (folder.empty() ? "." : folder));
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (mask == "*.*" || MatchesMask(name, mask))
            files.push_back(folder + name);
    }
    if (ec)
        throw Error(ec.message() + ": " + folder);
    return files;
}

bool MatchesMask(std::string_view name, std::string_view mask) {
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = ++m;
            starName = n;
            continue;
        }
        bool matched = false;
        std::size_t next = m;
        if (m < mask.size()) {
            const char c = lower(name[n]);
            if (mask[m] == '?') {
                matched = true;
                next = m + 1;
            } else if (mask[m] == '[') {
                next = m + 1;
                bool inSet = false;
                if (matchSet(mask, next, c, inSet))
                    matched = inSet;
                else {
                    matched = c == '[';
                    next = m + 1;
                }
            } else {
                matched = lower(mask[m]) == c;
                next = m + 1;
            }
        }
        if (matched) {
            ++n;
            m = next;
        } else if (starMask != std::string_view::npos) {
            n = ++starName;
            m = starMask;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

TDateTime ProgramBuildTime(const std::string& path) {
    const TDateTime linked = peLinkTime(path);
    return linked != 0.0 ? linked : FileModifiedTime(path);
}

} // namespace vantle
