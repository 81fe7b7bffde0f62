#include "commands.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"
#include "outputs/alerts.h"
#include "usage/accountSetup.h"
#include "usage/failures.h"
#include "usage/providers.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <strings.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace vantle::ctl {
namespace {

// Switches terminal echo off for the scope.
class HiddenInput {
public:
    HiddenInput() {
        if (tcgetattr(STDIN_FILENO, &saved_) != 0)
            return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~HiddenInput() {
        if (active_)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
    }
    HiddenInput(const HiddenInput&) = delete;
    HiddenInput& operator=(const HiddenInput&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

std::string readPassword() {
    std::string line;
    if (isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "Password: ");
        std::fflush(stderr);
        HiddenInput hidden;
        std::getline(std::cin, line);
        std::fprintf(stderr, "\n");
    } else {
        std::getline(std::cin, line);
    }
    return line;
}

// The domain as the dialog offers it: one of the known ones, letter case ignored.
std::string offeredDomain(const std::string& typed) {
    for (const std::string& domain : accountDomains())
        if (strcasecmp(domain.c_str(), typed.c_str()) == 0)
            return domain;
    return typed;
}

} // namespace

int configureCommand(const Arguments& arguments) {
    std::string username;
    std::string domain;
    std::optional<bool> runAtLogin;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (i + 1 >= arguments.size())
            throw Error("option " + option + " needs a value");
        const std::string& value = arguments[++i];
        if (option == "--username")
            username = value;
        else if (option == "--domain")
            domain = value;
        else if (option == "--run-at-login" && (value == "yes" || value == "no"))
            runAtLogin = value == "yes";
        else if (option == "--run-at-login")
            throw Error("--run-at-login takes yes or no");
        else
            throw Error("unknown option " + option);
    }
    const auto configuration = programConfiguration();
    configuration->load();
    const TaccountInput input{runtime::Trim(username), offeredDomain(domain),
                              runtime::Trim(readPassword())};
    checkAccountInput(input);
    std::fprintf(stderr, "Verifying username and password...\n");
    try {
        verifyAccount(*configuration, input);
    } catch (const std::exception& e) {
        throw Error(failureMessage(e));
    }
    applyAccount(*configuration, input);
    if (runAtLogin)
        configuration->setRunAtLogin(*runAtLogin);

    // save reports its failures to the diagnostic sink only; a tool must say so.
    std::vector<std::string> problems;
    runtime::DebugSink previous =
        runtime::setDebugSink([&problems](std::string_view line) { problems.emplace_back(line); });
    configuration->save();
    runtime::setDebugSink(std::move(previous));
    if (!problems.empty())
        throw Error("the account was verified but not saved: " + problems.front());
    // A saved account ends the hold-back of refused logins.
    accountSaved(*configuration);
    std::printf("Saved the account %s on %s in %s\n", input.username.c_str(), input.domain.c_str(),
                configuration->configFile.c_str());
    return 0;
}

} // namespace vantle::ctl
