#include "outputs/paceText.h"

#include "lib/runtime/Numbers.h"
#include "outputs/textHelpers.h"
#include "usage/pace.h"

#include <algorithm>
#include <cmath>

namespace vantle {

std::string paceWords(const Tpace& pace) {
    const char* state = pace.overQuota()   ? "quota used up"
                        : pace.abovePace() ? "above pace"
                                           : "on track";
    return runtime::formatFixed0(pace.usedPercent) + " % used, " +
           runtime::formatFixed0(pace.elapsedPercent) + " % of the month gone: " + state;
}

std::string projectionWords(const Tpace& pace) {
    std::string words = "At this rate: " + megabytesText(pace.projectedMB) + " MB by " +
                        shortDayText(pace.periodEnd);
    if (pace.overQuota())
        words += ", ran out";
    else if (pace.runsOut)
        words += ", runs out on " + shortDayText(*pace.runsOut);
    return words;
}

std::string perDayWords(const Tpace& pace) {
    if (pace.perDayMB < 0.5)
        return "Left per day: none";
    return "Left per day: " + megabytesText(pace.perDayMB) + " MB";
}

std::string shortDayText(TDateTime day) {
    return ordinalText(runtime::decodeDateTime(day).day) + runtime::formatDateTime(" mmm", day);
}

std::string megabytesText(double megabytes) {
    // A projection from a tiny elapsed time can be any size; the texts hold 64 bits.
    const double bounded = std::clamp(megabytes, 0.0, 9.0e15);
    return runtime::formatThousands(runtime::roundHalfAway(bounded));
}

} // namespace vantle
