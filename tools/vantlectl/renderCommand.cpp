// vantlectl render: the output step of a poll cycle (tray icon and hint, pie pictures, status
// document) from the stored usage documents or a given one, without a display.
#include "commands.h"

#include "offscreenGui.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "outputs/generate_json.h"
#include "outputs/generate_pies.h"
#include "outputs/generate_tray.h"
#include "usage/iinet.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace vantle::ctl {
namespace {

struct Options {
    std::string usageFile; // empty: the profile's stored documents
    std::string outFolder; // empty: the configuration's files
};

Options parse(const Arguments& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a != "--usage" && a != "--out")
            throw Error("unknown argument \"" + a + "\"");
        if (i + 1 == arguments.size() || arguments[i + 1].empty())
            throw Error(a + " needs a " + (a == "--usage" ? "FILE" : "DIR"));
        (a == "--usage" ? options.usageFile : options.outFolder) = arguments[++i];
    }
    if (!options.outFolder.empty() && options.outFolder.back() != '/')
        options.outFolder += '/';
    return options;
}

void loadUsage(Tiinet& usage, const Options& options) {
    if (options.usageFile.empty()) {
        const std::string current =
            usage.configuration.dataFolder + std::string(CurrentDocumentName);
        if (!std::filesystem::exists(current))
            throw Error("no usage document is stored yet (" + current +
                        "); the program stores one at its first poll");
        usage.load();
        return;
    }
    if (!std::filesystem::exists(options.usageFile))
        throw Error("no such file: " + options.usageFile);
    // An error document is completed from the last good one beside it.
    const auto lastGood =
        std::filesystem::path(options.usageFile).parent_path() / std::string(LastGoodDocumentName);
    usage.load(options.usageFile, lastGood.string());
}

} // namespace

int renderCommand(const Arguments& arguments) {
    const Options options = parse(arguments);
    const OffscreenGui gui;

    const auto owned = programConfiguration();
    Tconfiguration& configuration = *owned;
    Tiinet usage(configuration);
    loadUsage(usage, options);

    const std::string& out = options.outFolder;
    const std::string iconFile = out.empty() ? configuration.trayIconFile : out + "startbar.ico";
    const std::string iconsFile = out.empty() ? configuration.trayIconsFile : out + "tray.ico";
    const std::string hintFile = out.empty() ? configuration.trayHintFile : out + "startbar.txt";
    const std::string statusFile = out.empty() ? configuration.statusFile : out + "status.json";
    const std::string htmlFolder = out.empty() ? configuration.htmlFolder : out + "html/";

    // In the poll cycle's order; the tray step fails first when the current record is missing.
    // The notification area's icon goes with the status bars' one, so that the program never
    // shows an older share than the status bars.
    generateTray(usage, iconFile, hintFile);
    writeTrayIcons(usage, iconsFile);
    generatePies(usage, htmlFolder);
    generateJson(configuration, usage, statusFile, htmlFolder);

    std::printf("%s\n", trayHintText(usage.currentTraffic()).c_str());
    return 0;
}

} // namespace vantle::ctl
