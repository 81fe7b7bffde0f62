#include "commands.h"

#include "offscreenGui.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "poll/pollCycle.h"
#include "usage/failures.h"
#include "usage/iinet.h"

#include <cstdio>
#include <exception>

namespace vantle::ctl {

int pollCommand(const Arguments& arguments) {
    if (!arguments.empty())
        throw Error("takes no arguments");
    const OffscreenGui gui;
    const auto configuration = programConfiguration();
    configuration->load();
    if (!configuration->isComplete())
        throw Error("no account is set up in " + configuration->configFile +
                    "; set one up with vantlectl configure");
    // The cycle reports its failure to the diagnostic sink only; a tool must say it.
    std::exception_ptr failure;
    runtime::DebugSink previous = runtime::setDebugSink([](std::string_view) {});
    const bool done = runPollCycle(*configuration, &failure);
    runtime::setDebugSink(std::move(previous));
    if (!done)
        throw Error(failureMessage(failure));
    std::printf("%s\n", ReadFileText(configuration->trayHintFile).c_str());
    // A refused answer still completes the cycle from the last good document; say so.
    Tiinet stored(*configuration);
    try {
        stored.load();
    } catch (const std::exception&) {
        // The cycle has just read them; what it wrote stands.
    }
    if (!stored.error.empty())
        std::fprintf(stderr, "vantlectl poll: %s\nThe provider answered: %s\n",
                     std::string(failureSentence(TfailureKind::providerError)).c_str(),
                     stored.error.c_str());
    return 0;
}

} // namespace vantle::ctl
