// A history as the poll would have kept it: one sample every interval, with quota periods
// that reset on the first of each month, for the history's tests and its benchmark.
#pragma once

#include "history/historyStore.h"

#include <vector>

namespace vantle::test {

// count samples from the local time start on, interval minutes apart: peak (25,000 MB quota)
// grows by 15 MB, off-peak (50,000 MB) by 5 MB and freezone (no quota) by 1 MB per sample, and
// all start again at 0 on the first of each month.
std::vector<ThistorySample> pollSamples(TDateTime start, int count, int interval = 30);

} // namespace vantle::test
