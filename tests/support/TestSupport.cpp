#include "TestSupport.h"

#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace vantle::test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "vantle-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; open them up so removal succeeds.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view relative) const {
    const fs::path full = fs::path(path_) / relative;
    fs::create_directories(full.parent_path());
    return full.string();
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str()))
        previous_ = old;
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (previous_)
        setenv(name_.c_str(), previous_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ScopedUserFolders::ScopedUserFolders()
    : configEnv_("XDG_CONFIG_HOME", config_.path())
    , dataEnv_("XDG_DATA_HOME", data_.path())
    , runtimeEnv_("XDG_RUNTIME_DIR", runtime_.path()) {}

ScopedTimeZone::ScopedTimeZone(const std::string& tz) {
    env_.emplace("TZ", tz);
    tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
    env_.reset();
    tzset();
}

ScopedClock::ScopedClock(TDateTime now) {
    runtime::setClock([now] { return now; });
}

ScopedClock::~ScopedClock() {
    runtime::setClock({});
}

struct DebugCapture::State {
    std::mutex lock;
    std::vector<std::string> lines;
    runtime::DebugSink previous;
};

DebugCapture::DebugCapture()
    : state_(std::make_unique<State>()) {
    State* state = state_.get();
    state_->previous = runtime::setDebugSink([state](std::string_view line) {
        std::lock_guard guard(state->lock);
        state->lines.emplace_back(line);
    });
}

DebugCapture::~DebugCapture() {
    runtime::setDebugSink(std::move(state_->previous));
}

std::vector<std::string> DebugCapture::lines() const {
    std::lock_guard guard(state_->lock);
    return state_->lines;
}

CommandRun runCommand(const std::string& command) {
    CommandRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string xmlText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

void writeFile(const std::string& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void useOffscreenBrowserEngine() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS",
           "--disable-gpu --disable-background-networking --disable-component-update "
           "--disable-sync --no-first-run --no-proxy-server",
           1);
}

std::string raisedMessage(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    ADD_FAILURE() << "no Error raised";
    return "(no error)";
}

std::string nestedElements(int levels, const std::string& content) {
    std::string text;
    text.reserve(static_cast<std::size_t>(levels) * 7 + content.size());
    for (int i = 0; i < levels; ++i)
        text += "<a>";
    text += content;
    for (int i = 0; i < levels; ++i)
        text += "</a>";
    return text;
}

std::string peImage(std::uint32_t stamp) {
    // DOS header: "MZ", then the offset of the new-format header at 60.
    std::string image(64 + 248, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[60] = 64;
    // New-format header: "PE\0\0", machine (2 bytes), section count (2), link time stamp (4).
    image.replace(64, 4, std::string("PE\0\0", 4));
    for (int i = 0; i < 4; ++i)
        image[static_cast<std::size_t>(64 + 8 + i)] = static_cast<char>((stamp >> (8 * i)) & 0xff);
    return image;
}

} // namespace vantle::test
