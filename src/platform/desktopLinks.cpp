// Web links and detached programs on Linux: the desktop's URL handler by name on PATH, and a
// double fork so that the started program is neither waited for nor left behind as a zombie.
#include "platform/desktopLinks.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace vantle::platform {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

// From the child of a fork: only async-signal-safe calls.
[[noreturn]] void failInChild(int report) {
    const int error = errno;
    ssize_t written;
    do {
        written = write(report, &error, sizeof error);
    } while (written < 0 && errno == EINTR);
    _exit(127);
}

// The started program begins as a freshly started one would, not with this program's
// signal handling or its open files.
void resetInheritedState(int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        sigaction(signal, &standard, nullptr);
    const unsigned first = STDERR_FILENO + 1;
    const unsigned kept = static_cast<unsigned>(report);
    if (kept > first)
        close_range(first, kept - 1, 0);
    close_range(kept + 1, ~0U, 0);
}

} // namespace

std::string findProgram(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return isExecutableFile(name) ? name : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::string::size_type start = 0;
    while (start <= folders.size()) {
        std::string::size_type end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        // An empty entry would mean the current folder; a program is never taken from there.
        if (end > start) {
            const std::string candidate = folders.substr(start, end - start) + "/" + name;
            if (isExecutableFile(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

void RunCommand(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        throw std::invalid_argument("RunCommand: no program given");
    const std::string& name = arguments.front();
    const std::string program = findProgram(name);
    if (program.empty())
        throw std::system_error(ENOENT, std::generic_category(), "Cannot start " + name);

    // Everything the children need is made here: after fork only async-signal-safe calls.
    std::vector<std::string> words = arguments;
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "Cannot start " + name);
    const pid_t middle = fork();
    if (middle < 0) {
        const int error = errno;
        close(report[0]);
        close(report[1]);
        throw std::system_error(error, std::generic_category(), "Cannot start " + name);
    }
    if (middle == 0) {
        close(report[0]);
        if (setsid() < 0)
            failInChild(report[1]);
        const pid_t started = fork();
        if (started < 0)
            failInChild(report[1]);
        if (started > 0)
            _exit(0);
        resetInheritedState(report[1]);
        execve(program.c_str(), argv.data(), environ);
        failInChild(report[1]);
    }

    // The pipe closes at the exec; an errno arrives instead when a step before it failed.
    close(report[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(report[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof childError))
        throw std::system_error(childError, std::generic_category(), "Cannot start " + name);
}

void OpenUrl(const std::string& url) {
    if (const std::string handler = findProgram("xdg-open"); !handler.empty())
        RunCommand({handler, url});
    else if (const std::string gio = findProgram("gio"); !gio.empty())
        RunCommand({gio, "open", url});
    else
        throw std::runtime_error("Cannot open " + url +
                                 ": neither xdg-open nor gio is installed to open web addresses");
}

} // namespace vantle::platform
