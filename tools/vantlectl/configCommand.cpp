#include "commands.h"

#include "config/configuration.h"
#include "config/xmlConf.h"
#include "lib/runtime/Error.h"
#include "platform/autostart.h"

#include <cstdio>
#include <filesystem>

namespace vantle::ctl {

int configCommand(const Arguments& arguments) {
    if (!arguments.empty())
        throw Error("takes no arguments");
    const auto owned = programConfiguration();
    Tconfiguration& configuration = *owned;
    if (!std::filesystem::exists(configuration.configFile))
        throw Error("there is no settings file (" + configuration.configFile +
                    "); the program writes it once the account is set up");
    // Read without writing: a load would also record this tool's build in the file.
    TxmlConf conf(configuration.configFile);
    conf.DocReadOnly = true;
    std::string passwordState = "stored";
    try {
        if (decodeStoredPassword(conf.ReadValue("account", "password", "")).empty())
            passwordState = "not stored";
    } catch (const Error& e) {
        passwordState = std::string("unreadable (") + e.what() + ")";
    }
    const std::optional<std::string> program = platform::autostartProgram();

    std::printf("settings: %s\n", configuration.configFile.c_str());
    std::printf("username: %s\n", conf.ReadValue("account", "username", "").c_str());
    std::printf("domain: %s\n", conf.ReadValue("account", "domain", "").c_str());
    std::printf("password: %s\n", passwordState.c_str());
    if (program)
        std::printf("start at login: yes (%s)\n", program->c_str());
    else
        std::printf("start at login: no\n");
    return 0;
}

} // namespace vantle::ctl
