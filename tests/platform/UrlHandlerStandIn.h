// Stand-ins for the desktop's URL handlers: scripts in a folder that is the whole PATH, each
// writing the arguments it was given to a file, one a line, so a test sees what the real
// handler would have received.
#pragma once

#include "support/TestSupport.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace vantle::test {

class UrlHandlerStandIn {
public:
    UrlHandlerStandIn()
        : path_("PATH", bin_.path()) {}

    // An executable script of that name (or, with executable false, a file that is not one).
    void add(const std::string& name, bool executable = true) const {
        const std::string script = bin_.file(name);
        const std::string record = out_.path() + name;
        writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + record + ".tmp' && /bin/mv '" +
                              record + ".tmp' '" + record + "'\n");
        chmod(script.c_str(), executable ? 0755 : 0644);
    }

    // The arguments the named stand-in received, once it has run; nullopt after five seconds.
    std::optional<std::vector<std::string>> received(const std::string& name) const {
        const std::string record = out_.path() + name;
        for (int i = 0; i < 500 && !std::filesystem::exists(record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!std::filesystem::exists(record))
            return std::nullopt;
        std::vector<std::string> arguments;
        std::istringstream lines(readFile(record));
        for (std::string line; std::getline(lines, line);)
            arguments.push_back(line);
        return arguments;
    }

    const TempDir& out() const { return out_; }

private:
    TempDir bin_;
    TempDir out_;
    ScopedEnv path_;
};

} // namespace vantle::test
