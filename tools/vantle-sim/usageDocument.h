// The volume-usage documents the stand-in service answers with.
#pragma once

#include "lib/runtime/DateTime.h"

#include <cstdint>
#include <string>

namespace vantle::sim {

struct Taccount;

inline constexpr const char* AuthenticationFailed = "Authentication failed";
inline constexpr const char* ServiceUnavailable = "Service temporarily unavailable";

struct TquotaPeriod {
    std::int32_t daysSoFar = 0;
    std::int32_t daysRemaining = 0;

    friend bool operator==(const TquotaPeriod&, const TquotaPeriod&) = default;
};

// Where today lies in the quota period that starts on the anniversary day of each month; in a
// month too short for that day the period starts on its last day.
TquotaPeriod quotaPeriod(std::int32_t anniversary, const runtime::DateTimeFields& today);

// The account's document as it stands after elapsedSeconds of growth, with the quota period of
// today.
std::string usageDocument(const Taccount& account, double elapsedSeconds,
                          const runtime::DateTimeFields& today);

// A document that carries only an error element.
std::string errorDocument(const std::string& text);

} // namespace vantle::sim
