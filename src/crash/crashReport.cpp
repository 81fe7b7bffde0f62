#include "crashReport.h"

#include "lib/runtime/Numbers.h"
#include "lib/utils/programVersion.h"
#include "platform/programFile.h"

#include <boost/core/demangle.hpp>
#include <boost/stacktrace/frame.hpp>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace vantle::crash {
namespace {

// The symbol reader behind Boost's frames keeps one state that is not safe for threads.
std::mutex symbolLock;

std::string hexAddress(std::uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%016" PRIxPTR, value);
    return text;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string frameLine(std::size_t index, const TstackFrame& frame) {
    std::string name;
    std::string file;
    std::size_t line = 0;
    if (frame.lookup != 0) {
        const auto* address =
            reinterpret_cast<const void*>(frame.lookup - (frame.returnAddress ? 1 : 0));
        const boost::stacktrace::frame code(address);
        name = code.name();
        file = code.source_file();
        line = code.source_line();
        // Without debugging data the reader knows no exported symbols; the dynamic linker does.
        Dl_info info{};
        if (name.empty() && dladdr(address, &info) != 0 && info.dli_sname != nullptr)
            name = boost::core::demangle(info.dli_sname);
    }
    std::string text = "  #" + std::to_string(index) + (index < 10 ? "   " : "  ") +
                       hexAddress(frame.address) + "  " + (name.empty() ? "??" : name);
    if (!file.empty())
        text += " at " + file + ":" + std::to_string(line);
    if (!frame.module.empty()) {
        char offset[32];
        std::snprintf(offset, sizeof offset, "0x%" PRIxPTR, frame.offset);
        text += "  [" + baseName(frame.module) + " + " + offset + "]";
    }
    return text + "\n";
}

std::string megabytes(std::uint64_t bytes) {
    return runtime::groupDigits(std::to_string(bytes / (1024 * 1024))) + " MiB";
}

std::string upTime(std::int64_t seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%" PRId64 " days %02d:%02d:%02d", seconds / 86400,
                  static_cast<int>(seconds / 3600 % 24), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    return text;
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string field(const char* label, const std::string& value) {
    std::string text = label;
    text.resize(18, ' ');
    return text + ": " + value + "\n";
}

} // namespace

const TprogramInfo& runningProgram() {
    static const TprogramInfo info = [] {
        TprogramInfo result;
        try {
            result.path = platform::programPath();
            result.version = programVersionText(result.path);
        } catch (const std::exception&) {
            // The report then goes without them.
        }
        return result;
    }();
    return info;
}

long currentThreadId() {
    return static_cast<long>(gettid());
}

std::vector<TstackFrame> localFrames(const std::vector<void*>& addresses) {
    std::vector<TstackFrame> frames;
    for (void* address : addresses) {
        if (address == nullptr)
            break;
        TstackFrame frame;
        frame.address = reinterpret_cast<std::uintptr_t>(address);
        frame.lookup = frame.address;
        Dl_info info{};
        if (dladdr(address, &info) != 0 && info.dli_fname != nullptr) {
            frame.module = info.dli_fname;
            frame.offset = frame.address - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        }
        frames.push_back(std::move(frame));
    }
    return frames;
}

void addProcessState(TcrashSnapshot& snapshot) {
    snapshot.program = runningProgram().path;
    snapshot.version = runningProgram().version;

    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
         it.increment(ec)) {
        TthreadName thread;
        thread.id = std::strtol(it->path().filename().c_str(), nullptr, 10);
        thread.name = firstLine(it->path() / "comm");
        snapshot.threads.push_back(std::move(thread));
    }
    std::sort(snapshot.threads.begin(), snapshot.threads.end(),
              [](const TthreadName& a, const TthreadName& b) { return a.id < b.id; });

    utsname system{};
    if (uname(&system) == 0)
        snapshot.kernel = std::string(system.sysname) + " " + system.release + " " +
                          system.version + " " + system.machine;
    struct sysinfo usage {};
    if (sysinfo(&usage) == 0) {
        snapshot.uptimeSeconds = usage.uptime;
        snapshot.memoryTotal = std::uint64_t{usage.totalram} * usage.mem_unit;
        snapshot.memoryFree = std::uint64_t{usage.freeram} * usage.mem_unit;
    }
    unsigned long long pages = 0;
    unsigned long long resident = 0;
    if (std::sscanf(firstLine("/proc/self/statm").c_str(), "%llu %llu", &pages, &resident) == 2)
        snapshot.processResident = resident * static_cast<unsigned long long>(getpagesize());
}

std::string formatReport(const TcrashSnapshot& snapshot) {
    std::string failingName;
    for (const TthreadName& thread : snapshot.threads)
        if (thread.id == snapshot.failingThread)
            failingName = thread.name;

    std::string message = snapshot.message;
    for (std::size_t at = message.find('\n'); at != std::string::npos;
         at = message.find('\n', at + 21))
        message.insert(at + 1, std::string(20, ' '));

    std::string text = "vantle crash report\n\n";
    text += field("date/time", runtime::formatDateTime("yyyy-mm-dd hh:nn:ss", snapshot.time));
    text += field("program", snapshot.program);
    text += field("version", snapshot.version);
    text += field("kernel", snapshot.kernel);
    text += field("system up time",
                  snapshot.uptimeSeconds < 0 ? "unknown" : upTime(snapshot.uptimeSeconds));
    text += field("memory", snapshot.memoryTotal == 0
                                ? "unknown"
                                : megabytes(snapshot.memoryTotal) + " total, " +
                                      megabytes(snapshot.memoryFree) + " free, " +
                                      megabytes(snapshot.processResident) + " used by the program");
    text += field("failure class", snapshot.failureClass);
    text += field("failure message", message);

    text += "\ncall stack of thread " + std::to_string(snapshot.failingThread) + " \"" +
            failingName + "\", " + snapshot.stackOrigin + ":\n";
    {
        const std::lock_guard guard(symbolLock);
        for (std::size_t i = 0; i < snapshot.stack.size(); ++i)
            text += frameLine(i, snapshot.stack[i]);
    }
    if (snapshot.stack.empty())
        text += "  (not available)\n";

    text += "\nthreads:\n";
    for (const TthreadName& thread : snapshot.threads)
        text += "  " + std::to_string(thread.id) + "  \"" + thread.name + "\"" +
                (thread.id == snapshot.failingThread ? "  (failing)" : "") + "\n";
    return text;
}

} // namespace vantle::crash
