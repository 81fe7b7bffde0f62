// vantlectl: the headless companion of vantle, over the same core.
#include "commands.h"

#include "config/configuration.h"
#include "crash/MadExceptHelper.h"
#include "lib/runtime/Error.h"
#include "usage/httpClient.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    std::function<int(const vantle::ctl::Arguments&)> run;
};

const Command commands[] = {
    {"usage", "usage [FILE]   print the stored usage document (or FILE) as the program reads it",
     vantle::ctl::usageCommand},
    {"config",
     "config [--notify yes|no] [--thresholds 80,90,100]   print the stored account settings, the "
     "start-at-login state and the notifications; the options set the notifications",
     vantle::ctl::configCommand},
    {"status",
     "status [--json | --waybar]   print the usage, its pace and the last failure (exit status 3 "
     "at or over the highest threshold)",
     vantle::ctl::statusCommand},
    {"render",
     "render [--usage FILE] [--out DIR]   write the tray icon, hint, pies and status document",
     vantle::ctl::renderCommand},
    {"poll", "poll           run one poll cycle with the stored account and print the hint",
     vantle::ctl::pollCommand},
    {"configure",
     "configure --username U --domain D [--run-at-login yes|no]   verify and store an account "
     "(the password is read from standard input)",
     vantle::ctl::configureCommand},
    {"history",
     "history [--periods N] [--json | --csv]   this period's use day by day, or the latest N "
     "periods' totals",
     vantle::ctl::historyCommand},
    {"unzip", "unzip ARCHIVE [DIR] | unzip --list ARCHIVE   extract or list an archive's members",
     vantle::ctl::unzipCommand},
    {"crash-test",
     "crash-test segv|throw|terminate   diagnostic: fail on purpose and leave a crash report",
     vantle::ctl::crashTestCommand},
};

int printHelp(std::FILE* out) {
    std::fprintf(out, "Usage: vantlectl COMMAND [ARGUMENTS]\n       vantlectl --help | --version"
                      "\n\nCommands:\n");
    for (const Command& c : commands)
        std::fprintf(out, "  %s\n", c.synopsis);
    std::fprintf(out, "\nSee vantlectl(1).\n");
    return out == stdout ? 0 : 1;
}

// Failures that would end the tool leave crash reports in the profile, as the program's do.
void reportCrashesInProfile() {
    try {
        vantle::TmadExcept::instance().setCrashFolder(
            vantle::ctl::programConfiguration()->dataFolder + "crashdumps");
    } catch (const std::exception&) {
        // The command meets the same failure and says so.
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const vantle::CurlGlobal curl; // before any thread
    vantle::TmadExcept::instance().installSilentHandler();
    if (argc < 2)
        return printHelp(stderr);
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help")
        return printHelp(stdout);
    if (name == "-V" || name == "--version") {
        std::printf("vantlectl %s\n", VANTLE_VERSION);
        return 0;
    }
    for (const Command& c : commands) {
        if (name != c.name)
            continue;
        reportCrashesInProfile();
        try {
            return c.run(vantle::ctl::Arguments(argv + 2, argv + argc));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vantlectl %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "vantlectl: unknown command \"%s\"\n\n", name.c_str());
    return printHelp(stderr);
}
