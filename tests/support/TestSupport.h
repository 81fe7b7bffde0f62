// What the test suites share: temporary folders, environment and clock overrides, a capture of
// the diagnostic sink, the message of a raised error and small document builders.
#pragma once

#include "lib/runtime/DateTime.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle::test {

// A new empty folder, removed with its content at the end of the scope. path() ends with "/".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + relative, with missing folders created for it.
    std::string file(std::string_view relative) const;

private:
    std::string path_;
};

// Sets (or, with nullopt, removes) an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> previous_;
};

// Points the XDG config, data and runtime folders at fresh temporary folders for the scope.
class ScopedUserFolders {
public:
    ScopedUserFolders();
    std::string configHome() const { return config_.path(); }
    std::string dataHome() const { return data_.path(); }
    std::string runtimeDir() const { return runtime_.path(); }

private:
    TempDir config_;
    TempDir data_;
    TempDir runtime_;
    ScopedEnv configEnv_;
    ScopedEnv dataEnv_;
    ScopedEnv runtimeEnv_;
};

// Sets the process's time zone (a POSIX TZ text such as "AWST-8") for the scope.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const std::string& tz);
    ~ScopedTimeZone();

private:
    std::optional<ScopedEnv> env_;
};

// Makes runtime::now() return the given local time for the scope.
class ScopedClock {
public:
    explicit ScopedClock(TDateTime now);
    ~ScopedClock();
};

// Collects the lines sent to the diagnostic sink during the scope.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> lines() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A shell command run to its end: its standard output and exit status (-1 when it did not exit).
struct CommandRun {
    int status = -1;
    std::string output;
};
CommandRun runCommand(const std::string& command);

// The offscreen platform and a browser engine without a sandbox (tests may run as root) and
// without traffic of its own. Called before the application object exists; programs the tests
// start inherit it.
void useOffscreenBrowserEngine();

// The text with "&", "<" and ">" written as XML entities.
std::string xmlText(std::string_view text);

void writeFile(const std::string& path, std::string_view content);
std::string readFile(const std::string& path);

// The message of the Error the action raises; fails the test when it raises none.
std::string raisedMessage(const std::function<void()>& action);

// The content wrapped in that many levels of elements.
std::string nestedElements(int levels, const std::string& content = "");

// The smallest file that reads as a Windows program with the given link time stamp.
std::string peImage(std::uint32_t linkTimeStamp);

} // namespace vantle::test
