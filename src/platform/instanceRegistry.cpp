#include "instanceRegistry.h"

#include "privateFolder.h"
#include "replacementFile.h"
#include "userFolders.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vantle::platform {
namespace {

std::string linkTarget(const std::string& link) {
    std::vector<char> buffer(4096);
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

// A program file replaced while it runs, as an update does, shows as "path (deleted)".
std::string withoutDeletedMark(std::string path) {
    const std::string mark = " (deleted)";
    if (path.size() > mark.size() &&
        path.compare(path.size() - mark.size(), mark.size(), mark) == 0)
        path.resize(path.size() - mark.size());
    return path;
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

std::uint32_t get32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(p[i]);
    return v;
}

std::string entryFile(const std::string& entryName) {
    return instanceFolder() + "/" + entryName;
}

} // namespace

std::string userName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    std::string name;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_name != nullptr)
        name = found->pw_name;
    else
        name = std::to_string(getuid()); // an account without a name still has its number
    return name.substr(0, 256);
}

std::string instanceFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] == '/'
                                   ? std::string(runtime) + "/vantle"
                                   : cacheHome() + "/vantle/run";
    ensureOwnPrivateFolder(folder);
    return folder;
}

bool isSameProgramRunning(std::uint32_t processId, const std::string& program) {
    // Every process of this user can be signalled; one that cannot is gone or someone else's.
    if (processId == 0 || ::kill(static_cast<pid_t>(processId), 0) != 0)
        return false;
    // A recycled process id belongs to some other program.
    const std::string theirs =
        withoutDeletedMark(linkTarget("/proc/" + std::to_string(processId) + "/exe"));
    const std::string ours =
        program.empty() ? withoutDeletedMark(linkTarget("/proc/self/exe")) : program;
    return theirs.empty() || ours.empty() || theirs == ours;
}

InstanceRecord readInstanceRecord(const std::string& entryName, const std::string& program) {
    std::ifstream in(entryFile(entryName), std::ios::binary);
    char bytes[8];
    if (!in.read(bytes, sizeof bytes))
        return {};
    const InstanceRecord record{get32(bytes), get32(bytes + 4)};
    if (record.processId != 0 && !isSameProgramRunning(record.processId, program))
        return {};
    return record;
}

void writeInstanceRecord(const std::string& entryName, const InstanceRecord& record) {
    std::string bytes;
    put32(bytes, record.window);
    put32(bytes, record.processId);
    replaceFileDurably(entryFile(entryName), bytes, 0600);
}

} // namespace vantle::platform
