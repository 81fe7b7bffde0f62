// The poll's history step and the files it keeps.
#include "history/historyRecorder.h"

#include "config/configuration.h"
#include "history/historyJson.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/utils/FileUtils.h"
#include "platform/replacementFile.h"
#include "usage/iinet.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace vantle {
namespace {

// Quota periods last at most a month; a day more for a reset shifted by the provider's clock,
// and one for the sample before the latest period began.
constexpr std::int64_t SecondsPerPeriod = 33 * 86400;

std::vector<TquotaPeriod> appendAndRead(const std::string& path, const ThistorySample& sample) {
    ThistoryStore store(path, ThistoryStore::Access::write);
    store.checkIntegrity();
    store.append(sample);
    return recentPeriods(store, ChartPeriods);
}

// The database and SQLite's files beside it under the aside name, replacing an older one, so
// that the next open starts a new history.
std::string moveAside(const std::string& path, const std::string& why) {
    const std::filesystem::path database(path);
    const std::string aside = (database.parent_path() / database.stem()).string() + "." + why +
                              database.extension().string();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code ec;
        std::filesystem::rename(path + suffix, aside + suffix, ec);
        if (ec) // none of this kind: no older one may stand beside the new aside copy
            std::filesystem::remove(aside + suffix, ec);
    }
    return aside;
}

} // namespace

std::string historyDatabaseFile(const Tconfiguration& configuration) {
    std::string path = configuration.dataFolder;
    return path.append(HistoryDatabaseName);
}

std::string historyChartFile(const Tconfiguration& configuration) {
    std::string path = configuration.dataFolder;
    return path.append(HistoryChartName);
}

std::string readHistoryChart(const Tconfiguration& configuration) noexcept {
    try {
        std::error_code ec;
        const std::string path = historyChartFile(configuration);
        if (!std::filesystem::exists(path, ec))
            return {};
        return ReadFileText(path);
    } catch (const std::exception& e) {
        // The chart is missed until the next poll writes it again.
        runtime::outputDebugString(e.what());
        return {};
    }
}

std::vector<TquotaPeriod> recentPeriods(ThistoryStore& store, std::size_t count) {
    const std::optional<std::int64_t> newest = store.newestTaken();
    if (!newest)
        return {};
    // Every sample of the latest period, for its days; of the periods before only their last
    // figures.
    const std::int64_t detailed = *newest - SecondsPerPeriod;
    std::int64_t since = std::numeric_limits<std::int64_t>::min();
    const auto reach = static_cast<std::int64_t>(std::min<std::size_t>(count, 100'000) + 1);
    if (*newest > since + reach * SecondsPerPeriod)
        since = *newest - reach * SecondsPerPeriod;
    ThistorySummariser summariser;
    store.forEachDailySample(since, detailed, [&](const ThistorySample& s) { summariser.add(s); });
    return summariser.finish();
}

void recordHistory(const Tconfiguration& configuration, const Tiinet& usage,
                   TDateTime taken) noexcept {
    try {
        if (!usage.error.empty())
            return;
        const ThistorySample sample = historySample(usage, taken);
        const std::string path = historyDatabaseFile(configuration);
        std::vector<TquotaPeriod> periods;
        try {
            periods = appendAndRead(path, sample);
        } catch (const TsqliteError& e) {
            if (!e.isDamage() && !e.isLock())
                throw;
            const std::string aside = moveAside(path, e.isDamage() ? "damaged" : "locked");
            runtime::outputDebugString(std::string(e.what()) + "; it was moved to " + aside +
                                       " and a new history started");
            periods = appendAndRead(path, sample);
        }
        platform::TreplacementFile chart(historyChartFile(configuration));
        chart.write(historyChartDocument(periods));
        chart.commit(platform::Flush::none);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

} // namespace vantle
