// The history's files in the data folder: the poll cycle's one step that keeps a sample and
// writes the status page's chart data, and the reading of the latest periods.
#pragma once

#include "history/historyStore.h"
#include "history/historySummary.h"
#include "lib/runtime/DateTime.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vantle {

class Tconfiguration;
class Tiinet;

std::string historyDatabaseFile(const Tconfiguration& configuration);
std::string historyChartFile(const Tconfiguration& configuration);

// The chart data the poll wrote last; empty when there is none or it cannot be read.
std::string readHistoryChart(const Tconfiguration& configuration) noexcept;

// The latest count periods (and whatever older ones the same samples reach), oldest first: the
// latest with its days from every sample, the earlier ones from the last sample of each day,
// which gives their totals exactly and their days only roughly.
std::vector<TquotaPeriod> recentPeriods(ThistoryStore& store, std::size_t count);

// Appends the model's figures taken at that local time to the history and writes the chart
// data (historyChartDocument) beside the status document. A model that carries the provider's
// error holds the last good figures, which the history has already: nothing is kept then. A
// damaged database, or one another program keeps locked, is moved aside (its name with
// ".damaged" or ".locked" before the extension), said on the diagnostic sink, and a new one
// takes the sample. Never raises: every failure goes to the diagnostic sink and the poll goes
// on.
void recordHistory(const Tconfiguration& configuration, const Tiinet& usage,
                   TDateTime taken) noexcept;

} // namespace vantle
