#include "commands.h"

#include "config/configuration.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "usage/iinet.h"

#include <cstdio>
#include <filesystem>

namespace vantle::ctl {
namespace {

std::string clockText(std::int32_t minutes) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60, minutes % 60);
    return text;
}

void printTraffic(const Ttraffic& t) {
    std::printf("traffic: %s \"%s\": %s MB used", t.classification.c_str(), t.name.c_str(),
                runtime::formatThousands(t.usedMB).c_str());
    if (t.quotaMB > 0)
        std::printf(" of %s MB (%.2f%%), shaped %s, speed %d",
                    runtime::formatThousands(t.quotaMB).c_str(), t.usedPercent,
                    t.shaped ? "yes" : "no", t.speed);
    else
        std::printf(", no quota");
    std::printf(" (%lld bytes)\n", static_cast<long long>(t.usedBytes));
}

} // namespace

int usageCommand(const Arguments& arguments) {
    if (arguments.size() > 1)
        throw Error("takes at most one FILE");
    const auto owned = programConfiguration();
    Tconfiguration& configuration = *owned;
    Tiinet usage(configuration);
    std::string current;
    if (arguments.empty()) {
        current = configuration.dataFolder + std::string(CurrentDocumentName);
        if (!std::filesystem::exists(current))
            throw Error("no usage document is stored yet (" + current +
                        "); the program stores one at its first poll");
        usage.load();
    } else {
        current = arguments[0];
        if (!std::filesystem::exists(current))
            throw Error("no such file: " + current);
        // An error document is completed from the last good one beside it.
        const auto lastGood =
            std::filesystem::path(current).parent_path() / std::string(LastGoodDocumentName);
        usage.load(current, lastGood.string());
    }

    std::printf("document: %s\n", current.c_str());
    if (!usage.error.empty())
        std::printf("error: %s\n", usage.error.c_str());
    std::printf("plan: %s\n", usage.plan.c_str());
    std::printf("product: %s\n", usage.product.c_str());
    std::printf("offpeak: %s to %s\n", clockText(usage.offpeakStart).c_str(),
                clockText(usage.offpeakEnd).c_str());
    std::printf("days: %d so far, %d remaining, anniversary %d\n", usage.daysSoFar,
                usage.daysRemaining, usage.anniversary);
    std::printf("current: %s\n", usage.currentClassification().c_str());
    for (const Ttraffic& t : usage.traffic)
        printTraffic(t);
    return 0;
}

} // namespace vantle::ctl
