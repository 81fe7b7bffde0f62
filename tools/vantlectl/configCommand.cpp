#include "commands.h"

#include "config/configuration.h"
#include "config/notifySettings.h"
#include "config/xmlConf.h"
#include "lib/runtime/Error.h"
#include "platform/autostart.h"

#include <cstdio>
#include <filesystem>

namespace vantle::ctl {

namespace {

// --notify yes|no and --thresholds 80,90,100 into the settings file's own section; nothing
// else of the file changes.
void setNotifications(const Tconfiguration& configuration, const Arguments& arguments) {
    TxmlConf conf(configuration.configFile);
    TnotifySettings settings = TnotifySettings::read(conf);
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        if (i + 1 >= arguments.size())
            throw Error(option + " needs a value");
        const std::string& value = arguments[i + 1];
        if (option == "--notify" && (value == "yes" || value == "no")) {
            settings.enabled = value == "yes";
        } else if (option == "--notify") {
            throw Error("--notify takes yes or no");
        } else if (option == "--thresholds") {
            const auto thresholds = TnotifySettings::parseThresholds(value);
            if (!thresholds)
                throw Error("--thresholds takes percentages from 1 to " +
                            std::to_string(TnotifySettings::MaxThreshold) +
                            " separated by commas, such as 80,90,100");
            settings.thresholds = *thresholds;
        } else {
            throw Error("unknown option " + option);
        }
    }
    conf.WriteValue(TnotifySettings::Section, "enabled", settings.enabled ? "yes" : "no");
    conf.WriteValue(TnotifySettings::Section, "thresholds",
                    TnotifySettings::thresholdsText(settings.thresholds));
    conf.release();
}

std::string notificationsText(const TnotifySettings& settings) {
    std::string text = settings.enabled ? "on, at" : "off (thresholds";
    for (std::size_t i = 0; i < settings.thresholds.size(); ++i)
        text += (i ? ", " : " ") + std::to_string(settings.thresholds[i]) + " %";
    return settings.enabled ? text : text + ")";
}

} // namespace

int configCommand(const Arguments& arguments) {
    const auto owned = programConfiguration();
    Tconfiguration& configuration = *owned;
    if (!std::filesystem::exists(configuration.configFile))
        throw Error("there is no settings file (" + configuration.configFile +
                    "); the program writes it once the account is set up");
    if (!arguments.empty())
        setNotifications(configuration, arguments);
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
    std::printf("notifications: %s\n", notificationsText(TnotifySettings::read(conf)).c_str());
    return 0;
}

} // namespace vantle::ctl
