#include "signalDump.h"

#include "lib/runtime/DateTime.h"
#include "platform/privateFolder.h"

#include <boost/stacktrace/safe_dump_to.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <ucontext.h>
#include <unistd.h>
#include <utility>

namespace vantle::crash {
namespace {

namespace fs = std::filesystem;

constexpr char DumpTitle[] = "vantle stack dump";
constexpr int FatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr std::size_t MaxFrames = 64;
constexpr std::size_t SignalStackSize = 64 * 1024;

// All the handler reads: atomics and fixed arrays, set up before any failure.
struct DumpTarget {
    std::atomic<int> fd{-1};
    std::atomic<pid_t> owner{0}; // the process that made the file; a forked child leaves it be
    std::atomic<std::size_t> noticeLength{0};
    char notice[1024] = {};
};
constinit DumpTarget target;
constinit void* signalFrames[MaxFrames] = {};
constinit std::atomic<long> dumpingThread{0};
alignas(16) constinit char firstSignalStack[SignalStackSize] = {};

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Buffered output through write(2) alone, for use inside a signal handler.
class SignalWriter {
public:
    explicit SignalWriter(int fd)
        : fd_(fd) {}
    SignalWriter(const SignalWriter&) = delete;
    SignalWriter& operator=(const SignalWriter&) = delete;
    ~SignalWriter() { flush(); }

    SignalWriter& put(char c) {
        if (used_ == sizeof buffer_)
            flush();
        buffer_[used_++] = c;
        return *this;
    }
    SignalWriter& text(const char* text) {
        while (*text != '\0')
            put(*text++);
        return *this;
    }
    SignalWriter& bytes(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            put(data[i]);
        return *this;
    }
    SignalWriter& unsignedNumber(unsigned long long value) {
        char digits[20];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0)
            put(digits[--count]);
        return *this;
    }
    SignalWriter& signedNumber(long long value) {
        if (value >= 0)
            return unsignedNumber(static_cast<unsigned long long>(value));
        put('-');
        return unsignedNumber(0ULL - static_cast<unsigned long long>(value));
    }
    SignalWriter& hex(std::uintptr_t value) {
        text("0x");
        char digits[2 * sizeof value];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[value % 16];
            value /= 16;
        } while (value != 0);
        while (count > 0)
            put(digits[--count]);
        return *this;
    }
    void flush() {
        writeAll(fd_, buffer_, used_);
        used_ = 0;
    }

private:
    int fd_;
    char buffer_[512];
    std::size_t used_ = 0;
};

template <std::size_t N> void append(char (&buffer)[N], std::size_t& length, const char* text) {
    while (*text != '\0' && length + 1 < N)
        buffer[length++] = *text++;
    buffer[length] = '\0';
}

void copyFile(const char* path, SignalWriter& out) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char chunk[1024];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        out.bytes(chunk, static_cast<std::size_t>(count));
    }
    ::close(fd);
}

void writeThreads(SignalWriter& out) {
    const int folder = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return;
    alignas(dirent64) char entries[2048];
    for (;;) {
        const long count = ::syscall(SYS_getdents64, folder, entries, sizeof entries);
        if (count <= 0)
            break;
        for (long at = 0; at < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            const char* id = entry->d_name;
            if (id[0] < '0' || id[0] > '9')
                continue;
            char path[96];
            std::size_t length = 0;
            append(path, length, "/proc/self/task/");
            append(path, length, id);
            append(path, length, "/comm");
            char name[64];
            std::size_t nameLength = 0;
            const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                const ssize_t read = ::read(fd, name, sizeof name);
                nameLength = read > 0 ? static_cast<std::size_t>(read) : 0;
                ::close(fd);
            }
            while (nameLength > 0 && name[nameLength - 1] == '\n')
                --nameLength;
            out.text("task ").text(id).put(' ').bytes(name, nameLength).put('\n');
        }
    }
    ::close(folder);
}

std::uintptr_t faultingInstruction(const void* context) {
    const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(machine->uc_mcontext.pc);
#else
    (void)machine;
    return 0;
#endif
}

// 1 for a write, 0 for a read, -1 where the processor does not tell.
int accessKind(int signal, const void* context) {
#if defined(__x86_64__)
    if (signal == SIGSEGV)
        return (static_cast<const ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? 1
                                                                                              : 0;
#else
    (void)signal;
    (void)context;
#endif
    return -1;
}

// The frames skipped are this function, the handler and the kernel's signal trampoline.
[[gnu::noinline]] void writeDump(int fd, int signal, const siginfo_t& info, const void* context,
                                 long thread) {
    SignalWriter out(fd);
    out.text("signal ").signedNumber(signal).put(' ').signedNumber(info.si_code).put(' ');
    out.hex(reinterpret_cast<std::uintptr_t>(info.si_addr)).put(' ');
    out.hex(faultingInstruction(context)).put(' ').signedNumber(accessKind(signal, context));
    out.put('\n');
    if (info.si_code <= 0)
        out.text("sender ").signedNumber(info.si_pid).put('\n');
    out.text("thread ").signedNumber(thread).put('\n');
    timespec now{};
    if (::clock_gettime(CLOCK_REALTIME, &now) == 0)
        out.text("time ").signedNumber(now.tv_sec).put('\n');
    utsname system{};
    if (::uname(&system) == 0) {
        out.text("kernel ").text(system.sysname).put(' ').text(system.release).put(' ');
        out.text(system.version).put(' ').text(system.machine).put('\n');
    }
    struct sysinfo usage {};
    if (::sysinfo(&usage) == 0) {
        out.text("uptime ").signedNumber(usage.uptime).put('\n');
        out.text("memory ").unsignedNumber(1ULL * usage.totalram * usage.mem_unit).put(' ');
        out.unsignedNumber(1ULL * usage.freeram * usage.mem_unit).put('\n');
    }
    out.text("statm ");
    copyFile("/proc/self/statm", out);
    out.put('\n');
    writeThreads(out);
    const std::size_t count = boost::stacktrace::safe_dump_to(3, signalFrames, sizeof signalFrames);
    for (std::size_t i = 0; i < count && i < MaxFrames && signalFrames[i] != nullptr; ++i)
        out.text("frame ").hex(reinterpret_cast<std::uintptr_t>(signalFrames[i])).put('\n');
    out.text("maps\n");
    copyFile("/proc/self/maps", out);
}

void onFatalSignal(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const long self = static_cast<long>(::gettid());
    long idle = 0;
    if (dumpingThread.compare_exchange_strong(idle, self)) {
        const int fd = target.fd.load();
        if (fd >= 0 && target.owner.load() == ::getpid())
            writeDump(fd, signal, *info, context, self);
        writeAll(STDERR_FILENO, target.notice, target.noticeLength.load());
    } else if (idle != self) {
        // Another thread is writing the dump, and its signal ends the process.
        for (;;)
            ::pause();
    }
    // Raised again with the default action, the signal ends the process once this returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void useSignalStack(char* memory, std::size_t size) {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0)
        return;
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = size;
    ::sigaltstack(&stack, nullptr);
}

// The dump file of this process, outside signal handlers.
struct DumpFile {
    std::mutex lock;
    int fd = -1;
    std::string path;
    std::string pending;
    std::string createdFolder; // the crash folder, when making the dump created it

    ~DumpFile() { discard(); }

    void discard() {
        target.fd.store(-1);
        target.noticeLength.store(0);
        // A forked child only closes its copy: the lock and the file stay with the parent.
        const bool mine = target.owner.load() == ::getpid();
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        if (mine && !path.empty()) {
            ::unlink(path.c_str());
            // Both go only when empty, so another process's dump keeps them.
            ::rmdir(pending.c_str());
            if (!createdFolder.empty())
                ::rmdir(createdFolder.c_str());
        }
        target.owner.store(0);
        path.clear();
        pending.clear();
        createdFolder.clear();
    }
};

DumpFile& dumpFile() {
    static DumpFile file;
    return file;
}

class OwnedFd {
public:
    explicit OwnedFd(int fd)
        : fd_(fd) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string withSeparator(const std::string& folder) {
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string readAll(int fd) {
    std::string content;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        content.append(chunk, static_cast<std::size_t>(count));
    }
    return content;
}

struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::string path;
};

std::vector<Mapping> parseMaps(std::istream& in) {
    std::vector<Mapping> maps;
    std::string line;
    while (std::getline(in, line)) {
        unsigned long start = 0;
        unsigned long end = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx %*s %*s %*s %*s %n", &start, &end, &consumed) < 2)
            continue;
        Mapping mapping{start, end, consumed > 0 ? line.substr(std::size_t(consumed)) : ""};
        maps.push_back(std::move(mapping));
    }
    return maps;
}

const Mapping* mappingOf(const std::vector<Mapping>& maps, std::uintptr_t address) {
    for (const Mapping& mapping : maps)
        if (address >= mapping.start && address < mapping.end)
            return &mapping;
    return nullptr;
}

// Where each file's first mapping starts: code keeps its distance from it in every run.
std::map<std::string, std::uintptr_t> moduleStarts(const std::vector<Mapping>& maps) {
    std::map<std::string, std::uintptr_t> starts;
    for (const Mapping& mapping : maps) {
        if (mapping.path.empty() || mapping.path[0] != '/')
            continue;
        auto [it, added] = starts.emplace(mapping.path, mapping.start);
        if (!added && mapping.start < it->second)
            it->second = mapping.start;
    }
    return starts;
}

struct DumpRecord {
    std::string program;
    std::string version;
    bool signalled = false;
    int signal = 0;
    long code = 0;
    std::uintptr_t address = 0;
    std::uintptr_t instruction = 0;
    int access = -1;
    long sender = 0;
    long thread = 0;
    long long time = -1;
    std::string kernel;
    long long uptime = -1;
    unsigned long long memoryTotal = 0;
    unsigned long long memoryFree = 0;
    unsigned long long residentPages = 0;
    std::vector<TthreadName> threads;
    std::vector<std::uintptr_t> frames;
    std::vector<Mapping> maps;
};

DumpRecord parseDump(const std::string& content) {
    DumpRecord dump;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        const char* text = rest.c_str();
        if (key == "program") {
            dump.program = rest;
        } else if (key == "version") {
            dump.version = rest;
        } else if (key == "signal") {
            unsigned long address = 0;
            unsigned long instruction = 0;
            dump.signalled = std::sscanf(text, "%d %ld %lx %lx %d", &dump.signal, &dump.code,
                                         &address, &instruction, &dump.access) == 5;
            dump.address = address;
            dump.instruction = instruction;
        } else if (key == "sender") {
            std::sscanf(text, "%ld", &dump.sender);
        } else if (key == "thread") {
            std::sscanf(text, "%ld", &dump.thread);
        } else if (key == "time") {
            std::sscanf(text, "%lld", &dump.time);
        } else if (key == "kernel") {
            dump.kernel = rest;
        } else if (key == "uptime") {
            std::sscanf(text, "%lld", &dump.uptime);
        } else if (key == "memory") {
            std::sscanf(text, "%llu %llu", &dump.memoryTotal, &dump.memoryFree);
        } else if (key == "statm") {
            std::sscanf(text, "%*u %llu", &dump.residentPages);
        } else if (key == "task") {
            TthreadName thread;
            thread.id = std::strtol(text, nullptr, 10);
            const std::size_t name = rest.find(' ');
            thread.name = name == std::string::npos ? "" : rest.substr(name + 1);
            dump.threads.push_back(std::move(thread));
        } else if (key == "frame") {
            unsigned long frame = 0;
            if (std::sscanf(text, "%lx", &frame) == 1)
                dump.frames.push_back(frame);
        } else if (key == "maps") {
            dump.maps = parseMaps(in);
        }
    }
    return dump;
}

std::string hexText(std::uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%" PRIxPTR, value);
    return text;
}

std::string signalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "signal " + std::to_string(signal);
    }
}

std::string arithmeticFault(long code) {
    switch (code) {
    case FPE_INTDIV:
        return "Division by zero";
    case FPE_INTOVF:
        return "Integer overflow";
    case FPE_FLTDIV:
        return "Floating point division by zero";
    case FPE_FLTOVF:
        return "Floating point overflow";
    case FPE_FLTUND:
        return "Floating point underflow";
    case FPE_FLTRES:
        return "Floating point inexact result";
    case FPE_FLTINV:
        return "Invalid floating point operation";
    case FPE_FLTSUB:
        return "Subscript out of range";
    default:
        return "Arithmetic fault";
    }
}

// Memory faults read "Access violation ...", which the program treats as a severe failure.
std::string signalMessage(const DumpRecord& dump, const std::string& module) {
    const std::string name = signalName(dump.signal);
    const bool sent = dump.code <= 0;
    const std::string sender =
        " (" + name + " sent by process " + std::to_string(dump.sender) + ")";
    const std::string where = " at address " + hexText(dump.instruction) +
                              (module.empty() ? "" : " in module '" + module + "'");
    switch (dump.signal) {
    case SIGSEGV:
    case SIGBUS: {
        if (sent)
            return "Access violation" + sender;
        const char* access = dump.signal == SIGBUS ? "Bus error on"
                             : dump.access == 1    ? "Write of"
                             : dump.access == 0    ? "Read of"
                                                   : "Access of";
        return "Access violation" + where + " (" + name + "). " + access + " address " +
               hexText(dump.address);
    }
    case SIGFPE:
        return sent ? "Arithmetic fault" + sender
                    : arithmeticFault(dump.code) + where + " (" + name + ")";
    case SIGILL:
        if (sent)
            return "Illegal instruction" + sender;
        return std::string(dump.code == ILL_PRVOPC || dump.code == ILL_PRVREG
                               ? "Privileged instruction"
                               : "Illegal instruction") +
               where + " (" + name + ")";
    case SIGABRT:
        return "Abnormal program termination (SIGABRT)";
    default:
        return "Fatal signal" + sender;
    }
}

std::string baseName(const std::string& path) {
    return fs::path(path).filename().string();
}

TcrashSnapshot snapshotOf(const DumpRecord& dump) {
    TcrashSnapshot snapshot;
    snapshot.failureClass = signalName(dump.signal);
    const Mapping* code = mappingOf(dump.maps, dump.instruction);
    snapshot.message = signalMessage(dump, code != nullptr ? baseName(code->path) : "");
    snapshot.stackOrigin = "where the signal arrived";
    snapshot.failingThread = dump.thread;
    snapshot.threads = dump.threads;
    snapshot.program = dump.program;
    snapshot.version = dump.version;
    snapshot.kernel = dump.kernel;
    snapshot.uptimeSeconds = dump.uptime;
    snapshot.memoryTotal = dump.memoryTotal;
    snapshot.memoryFree = dump.memoryFree;
    snapshot.processResident = dump.residentPages * static_cast<unsigned long long>(getpagesize());
    if (dump.time >= 0)
        snapshot.time = runtime::unixToLocal(static_cast<std::time_t>(dump.time));

    // Names are looked up in this process's copy of each file, which only the same build has.
    const bool sameBuild = dump.version == runningProgram().version;
    const std::map<std::string, std::uintptr_t> then = moduleStarts(dump.maps);
    std::ifstream currentMaps("/proc/self/maps");
    const std::map<std::string, std::uintptr_t> now = moduleStarts(parseMaps(currentMaps));
    for (const std::uintptr_t address : dump.frames) {
        TstackFrame frame;
        frame.address = address;
        frame.returnAddress = address != dump.instruction;
        const Mapping* mapping = mappingOf(dump.maps, address);
        const auto start = mapping != nullptr ? then.find(mapping->path) : then.end();
        if (start != then.end()) {
            frame.module = mapping->path;
            frame.offset = address - start->second;
            const auto loaded = now.find(mapping->path);
            if (sameBuild && loaded != now.end())
                frame.lookup = loaded->second + frame.offset;
        }
        snapshot.stack.push_back(std::move(frame));
    }
    return snapshot;
}

} // namespace

void installSignalHandlers() {
    // The first unwinding may set up parts of the unwinder; never let that happen in a handler.
    void* warmUp[4];
    boost::stacktrace::safe_dump_to(warmUp, sizeof warmUp);

    if (catchesMemoryFaults)
        useSignalStack(firstSignalStack, sizeof firstSignalStack);
    struct sigaction action {};
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int signal : FatalSignals)
        sigaddset(&action.sa_mask, signal);
    for (const int signal : FatalSignals)
        if (catchesMemoryFaults || signal == SIGABRT)
            ::sigaction(signal, &action, nullptr);
}

void restoreDefaultAbort() noexcept {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGABRT, &fallback, nullptr);
}

TsignalStack::TsignalStack() {
    if (!catchesMemoryFaults)
        return;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0)
        return;
    memory_.resize(SignalStackSize);
    stack_t stack{};
    stack.ss_sp = memory_.data();
    stack.ss_size = memory_.size();
    if (::sigaltstack(&stack, nullptr) != 0)
        memory_.clear();
}

TsignalStack::~TsignalStack() {
    if (memory_.empty())
        return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
}

bool prepareDump(const std::string& folder) {
    DumpFile& file = dumpFile();
    const std::lock_guard guard(file.lock);
    file.discard();
    const std::string base = withSeparator(folder);
    if (base.empty())
        return false;
    const TprogramInfo& program = runningProgram();
    std::string name = baseName(program.path);
    if (name.empty())
        name = "program";
    std::error_code ec;
    const bool existed = fs::exists(base, ec);
    const std::string pending = base + "pending/";
    const std::string stem = pending + name + "-" + std::to_string(::getpid());
    std::string path;
    int fd = -1;
    // A second try for when another process removed the emptied folder in between.
    for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
        try {
            platform::createPrivateFolders(pending);
        } catch (const std::exception&) {
            continue;
        }
        // A new file of its own: never through a link planted under the name, and never over
        // the dump of an earlier process that had the same id, which is still to be reported.
        for (int number = 1; fd < 0 && number <= 100; ++number) {
            path = stem;
            if (number > 1)
                path.append("-").append(std::to_string(number));
            path += ".dump";
            fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST)
                break;
        }
    }
    if (fd < 0) {
        ::rmdir(pending.c_str());
        if (!existed)
            ::rmdir(base.c_str());
        return false;
    }
    // Held while the process lives: a reader that gets the lock knows the writer has gone.
    ::flock(fd, LOCK_EX | LOCK_NB);
    const std::string header = std::string(DumpTitle) + "\nprogram " + program.path + "\nversion " +
                               program.version + "\n";
    writeAll(fd, header.data(), header.size());

    const std::string notice = name + ": fatal signal; the call stack is kept in \"" + path +
                               "\" for a crash report at the next start\n";
    const std::size_t length = std::min(notice.size(), sizeof target.notice);
    std::memcpy(target.notice, notice.data(), length);
    target.noticeLength.store(length);
    file.fd = fd;
    file.path = path;
    file.pending = pending;
    file.createdFolder = existed ? "" : base;
    target.owner.store(::getpid());
    target.fd.store(fd);
    return true;
}

void discardDump() {
    DumpFile& file = dumpFile();
    const std::lock_guard guard(file.lock);
    file.discard();
}

TleftoverDump::TleftoverDump(int fd, std::string path, TcrashSnapshot snapshot)
    : fd_(fd)
    , path_(std::move(path))
    , snapshot_(std::move(snapshot)) {}

TleftoverDump::TleftoverDump(TleftoverDump&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
    , path_(std::move(other.path_))
    , snapshot_(std::move(other.snapshot_)) {}

TleftoverDump::~TleftoverDump() {
    if (fd_ >= 0)
        ::close(fd_);
}

void TleftoverDump::remove() {
    if (!path_.empty())
        ::unlink(path_.c_str());
    path_.clear();
}

std::vector<TleftoverDump> leftoverDumps(const std::string& folder) {
    std::vector<TleftoverDump> dumps;
    const std::string base = withSeparator(folder);
    if (base.empty())
        return dumps;
    std::error_code ec;
    for (fs::directory_iterator it(base + "pending", ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() != ".dump")
            continue;
        const std::string path = it->path().string();
        OwnedFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        // No lock: the process that writes it still runs.
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        const std::string content = readAll(fd.get());
        if (content.rfind(DumpTitle, 0) != 0) {
            // Empty: its process ended before the header was written.
            if (content.empty())
                ::unlink(path.c_str());
            continue;
        }
        const DumpRecord dump = parseDump(content);
        if (!dump.signalled) {
            // Its process ended without a fatal signal but without removing it (it was killed).
            ::unlink(path.c_str());
            continue;
        }
        if (dump.program != runningProgram().path)
            continue;
        dumps.emplace_back(fd.release(), path, snapshotOf(dump));
    }
    return dumps;
}

} // namespace vantle::crash
