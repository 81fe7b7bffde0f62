#include "outputs/failureText.h"

#include "outputs/paceText.h"
#include "usage/lastFailure.h"

#include <cmath>

namespace vantle {

std::string failureText(const TlastFailure& failure, TDateTime now) {
    std::string when = "at " + runtime::formatDateTime("hh:nn", failure.time);
    if (std::floor(failure.time) != std::floor(now))
        when = "on " + shortDayText(failure.time) + " " + when;
    return "The last update failed " + when + ": " + failure.sentence;
}

std::string lastFailureText(const Tconfiguration& configuration, TDateTime now) {
    const std::optional<TlastFailure> failure = readLastFailure(configuration);
    return failure ? failureText(*failure, now) : std::string();
}

} // namespace vantle
