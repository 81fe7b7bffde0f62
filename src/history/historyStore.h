// The usage history: one sample per successful poll (the time, the quota period's day counts and
// every traffic type's figures) in an SQLite database of the data folder.
#pragma once

#include "history/sqliteDatabase.h"
#include "lib/runtime/DateTime.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantle {

class Tiinet;

// The database's name in the data folder; SQLite keeps "-wal" and "-shm" files beside it.
inline constexpr std::string_view HistoryDatabaseName = "history.sqlite";

struct ThistoryTraffic {
    std::string classification;
    std::string name;
    std::int64_t usedBytes = 0;
    std::int64_t quotaMB = -1; // -1 without a quota allocation
    bool shaped = false;

    friend bool operator==(const ThistoryTraffic&, const ThistoryTraffic&) = default;
};

struct ThistorySample {
    std::int64_t taken = 0; // Unix time, seconds
    TDateTime local = 0;    // the same moment on the local clock
    std::int32_t daysSoFar = 0;
    std::int32_t daysRemaining = 0;
    std::vector<ThistoryTraffic> traffic; // in the document's order, one per classification

    friend bool operator==(const ThistorySample&, const ThistorySample&) = default;
};

// The model's figures at the local time taken; a classification listed twice keeps its first.
ThistorySample historySample(const Tiinet& usage, TDateTime taken);

class ThistoryStore {
public:
    // The schema this build writes; older databases are brought up to it on opening for writing.
    static constexpr int SchemaVersion = 1;
    // How long the poll waits for another program's lock before it gives the database up.
    static constexpr int WriterBusyMilliseconds = 2000;

    enum class Access { read, write };

    // write creates the file when needed, sets WAL mode and migrates the schema; a database of
    // a newer schema than this build's raises TsqliteError with SQLITE_READONLY and stays
    // untouched. read never creates or changes anything. Raises TsqliteError.
    ThistoryStore(const std::string& path, Access access,
                  int busyMilliseconds = WriterBusyMilliseconds);

    // The schema version the file holds (0: none yet).
    int schemaVersion();
    // Raises TsqliteError with SQLITE_CORRUPT when SQLite's own check finds damage.
    void checkIntegrity();
    // One transaction: the samples and their traffic types, or nothing.
    void append(std::span<const ThistorySample> samples);
    void append(const ThistorySample& sample) { append(std::span(&sample, 1)); }
    // The time of the latest sample; none in an empty history.
    std::optional<std::int64_t> newestTaken();
    // The samples taken at or after since (Unix seconds), oldest first.
    std::vector<ThistorySample>
    samples(std::int64_t since = std::numeric_limits<std::int64_t>::min());
    // The same, handed one at a time to visit in one object that is reused, so that reading a
    // long history holds one sample in memory.
    void forEachSample(std::int64_t since, const std::function<void(const ThistorySample&)>& visit);
    // As forEachSample, but of the samples taken before until only the last of each local day
    // and day counts: enough for the figures each quota period ended with, a sample in 48 of a
    // day's polls.
    void forEachDailySample(std::int64_t since, std::int64_t until,
                            const std::function<void(const ThistorySample&)>& visit);

private:
    void migrate();
    static void visitRows(TsqliteStatement& select,
                          const std::function<void(const ThistorySample&)>& visit);

    TsqliteDatabase db_;
};

} // namespace vantle
