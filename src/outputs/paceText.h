// The pace and projection of a traffic type in plain words, as the status page shows them under
// each pie, and as figures for the status document's readers.
#pragma once

#include "lib/runtime/DateTime.h"

#include <string>

namespace vantle {

struct Tpace;

// "45 % used, 60 % of the month gone: on track" ("above pace", "quota used up").
std::string paceWords(const Tpace& pace);
// "At this rate: 27,000 MB by 14th Dec, runs out on 12th Dec"; the last part only when it runs
// out within the period, ", ran out" when it has.
std::string projectionWords(const Tpace& pace);
// "Left per day: 1,146 MB", or "Left per day: none".
std::string perDayWords(const Tpace& pace);

// A day as "14th Dec".
std::string shortDayText(TDateTime day);
// Whole megabytes, grouped: "27,000".
std::string megabytesText(double megabytes);

} // namespace vantle
