#include "commands.h"

#include "offscreenGui.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Error.h"
#include "lib/utils/FileUtils.h"
#include "shell/pollCycle.h"

#include <cstdio>
#include <vector>

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
    std::vector<std::string> problems;
    runtime::DebugSink previous =
        runtime::setDebugSink([&problems](std::string_view line) { problems.emplace_back(line); });
    const bool done = runPollCycle(*configuration);
    runtime::setDebugSink(std::move(previous));
    if (!done)
        throw Error(problems.empty() ? "the poll cycle failed" : problems.back());
    std::printf("%s\n", ReadFileText(configuration->trayHintFile).c_str());
    return 0;
}

} // namespace vantle::ctl
