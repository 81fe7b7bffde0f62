// The history as strict JSON: for the status page (beside the status document) and for other
// tools (vantlectl history --json).
#pragma once

#include "history/historySummary.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

// The chart's data beside the status document in the data folder.
inline constexpr std::string_view HistoryChartName = "history.json";
// The periods the status window lists, the current one included.
inline constexpr std::size_t ChartPeriods = 6;

// A JSON string: quotes, backslashes and control characters escaped, and every byte that is not
// part of valid UTF-8 replaced by U+FFFD, so any parser reads it.
std::string jsonString(std::string_view text);

// One period with each type's days: {"first","last","length","dates_known","today","traffic":[
// {"classification","name","used_bytes","quota_mb","pace_bytes","days":[{"date","index",
// "used_bytes","sampled"}]}]}. Dates are "yyyy-mm-dd"; index counts from the first day; pace is
// the quota shared evenly over the period's days in bytes, rounded (null without a quota or
// known dates).
std::string periodDaysJson(const TquotaPeriod& period);
// The latest count periods, newest first: [{"first","last","current","traffic":[
// {"classification","name","used_bytes","quota_mb"}]}].
std::string periodTotalsJson(const std::vector<TquotaPeriod>& periods, std::size_t count);
// What the status page draws: {"period": the latest period's days or null, "periods": the
// latest ChartPeriods totals}.
std::string historyChartDocument(const std::vector<TquotaPeriod>& periods);

} // namespace vantle
