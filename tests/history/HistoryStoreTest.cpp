// The history's database in a temporary folder: samples written and read back, the schema's
// versions, and three years of polls.
#include "history/historyStore.h"
#include "history/historyRecorder.h"
#include "history/historySummary.h"

#include "lib/runtime/DateTime.h"
#include "support/HistorySamples.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

using namespace vantle;

namespace {

const TDateTime Start = runtime::encodeDateTime({2024, 1, 1, 0, 10, 0, 0});

// Runs SQL on the file with a connection of its own, as another program would.
void runSql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(code, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

class HistoryStoreTest : public testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.path() + "history.sqlite";
};

} // namespace

TEST_F(HistoryStoreTest, SamplesReadBackAsWritten) {
    std::vector<ThistorySample> written = test::pollSamples(Start, 5, 60);
    // Texts of the provider pass as they are, quotes and odd bytes included.
    written[2].traffic[0].name = "Pe'ak \"x\"\xff";
    written[3].traffic.clear();
    {
        ThistoryStore store(path, ThistoryStore::Access::write);
        EXPECT_EQ(store.schemaVersion(), ThistoryStore::SchemaVersion);
        store.append(written[0]);
        store.append(std::span(written).subspan(1));
    }
    ThistoryStore store(path, ThistoryStore::Access::read);
    EXPECT_EQ(store.samples(), written);
    EXPECT_EQ(store.newestTaken(), written[4].taken);
    EXPECT_THAT(store.samples(written[3].taken), testing::ElementsAre(written[3], written[4]));
}

TEST_F(HistoryStoreTest, AnEmptyOrMissingHistoryHasNoSamples) {
    EXPECT_THROW(ThistoryStore(path, ThistoryStore::Access::read), TsqliteError);
    EXPECT_FALSE(std::filesystem::exists(path)); // reading makes nothing
    test::writeFile(path, "");
    ThistoryStore store(path, ThistoryStore::Access::read);
    EXPECT_EQ(store.schemaVersion(), 0);
    EXPECT_TRUE(store.samples().empty());
    EXPECT_EQ(store.newestTaken(), std::nullopt);
    EXPECT_TRUE(recentPeriods(store, 6).empty());
}

TEST_F(HistoryStoreTest, WritingMigratesAnOlderSchemaAndLeavesANewerOneAlone) {
    // An empty file is a database of version 0: it gets the whole schema, in WAL mode.
    test::writeFile(path, "");
    {
        ThistoryStore store(path, ThistoryStore::Access::write);
        EXPECT_EQ(store.schemaVersion(), ThistoryStore::SchemaVersion);
        store.append(test::pollSamples(Start, 1));
    }
    runSql(path, "PRAGMA user_version = 99");
    const std::string before = test::readFile(path);
    try {
        ThistoryStore store(path, ThistoryStore::Access::write);
        ADD_FAILURE() << "a newer schema was opened for writing";
    } catch (const TsqliteError& e) {
        EXPECT_EQ(e.code(), SQLITE_READONLY);
        EXPECT_THAT(e.what(), testing::HasSubstr("newer vantle"));
    }
    EXPECT_EQ(test::readFile(path), before);
    ThistoryStore reading(path, ThistoryStore::Access::read);
    EXPECT_EQ(reading.samples().size(), 1u);
}

TEST_F(HistoryStoreTest, ThreeYearsOfPollsReadForTheWindowAndWhole) {
    constexpr int ThreeYears = 52'000; // every 30 minutes
    const std::vector<ThistorySample> written = test::pollSamples(Start, ThreeYears);
    ThistoryStore store(path, ThistoryStore::Access::write);
    store.append(written);
    store.checkIntegrity();

    const std::vector<ThistorySample> all = store.samples();
    ASSERT_EQ(all.size(), written.size());
    const std::vector<TquotaPeriod> periods = summariseHistory(all);
    // January 2024 to December 2026, a period a month.
    ASSERT_EQ(periods.size(), 36u);
    for (const TquotaPeriod& p : periods) {
        ASSERT_TRUE(p.datesKnown);
        EXPECT_EQ(runtime::decodeDateTime(p.firstDay).day, 1);
        EXPECT_EQ(runtime::decodeDateTime(p.lastDay + 1).day, 1);
    }
    // Every full day between two samples of a month used 48 polls' worth.
    const TtypeHistory& peak = periods[5].traffic[0];
    EXPECT_EQ(peak.days.size(), static_cast<std::size_t>(periods[5].length()));
    EXPECT_EQ(peak.days[10].usedBytes, 48 * 15'000'000);

    // The window's reading takes every sample of the latest period only, and of the earlier ones
    // the last of each day: the same days for the one, the same totals for the others.
    const std::vector<TquotaPeriod> recent = recentPeriods(store, 6);
    ASSERT_GE(recent.size(), 6u);
    ASSERT_LT(recent.size(), 9u);
    for (std::size_t n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const TquotaPeriod& a = recent[recent.size() - n];
        const TquotaPeriod& b = periods[periods.size() - n];
        EXPECT_EQ(a.firstDay, b.firstDay);
        EXPECT_EQ(a.lastDay, b.lastDay);
        ASSERT_EQ(a.traffic.size(), b.traffic.size());
        for (std::size_t i = 0; i < a.traffic.size(); ++i) {
            EXPECT_EQ(a.traffic[i].usedBytes, b.traffic[i].usedBytes);
            if (n == 1) {
                EXPECT_EQ(a.traffic[i].days, b.traffic[i].days);
            }
        }
    }
}

TEST_F(HistoryStoreTest, ThePeriodsEndAsTheProviderLastSaidEvenWhenItResetsInTheDay) {
    // A provider whose day turns at 22:00 local time: its reset comes before local midnight,
    // so the day's last sample belongs to the new period already.
    std::vector<ThistorySample> written = test::pollSamples(Start, 24 * 70, 60);
    for (ThistorySample& s : written) {
        const runtime::DateTimeFields next = runtime::decodeDateTime(s.local + 1);
        if (runtime::decodeDateTime(s.local).hour < 22 || next.day != 1)
            continue;
        // From 22:00 on the last day, the provider's counts and figures of the next period.
        const runtime::DateTimeFields after = runtime::decodeDateTime(s.local + 1 + 31);
        s.daysSoFar = 0;
        s.daysRemaining =
            static_cast<std::int32_t>(runtime::encodeDateTime({after.year, after.month, 1}) -
                                      runtime::encodeDateTime({next.year, next.month, 1}));
        for (ThistoryTraffic& t : s.traffic)
            t.usedBytes = 1'000'000;
    }
    ThistoryStore store(path, ThistoryStore::Access::write);
    store.append(written);
    const std::vector<TquotaPeriod> all = summariseHistory(store.samples());
    const std::vector<TquotaPeriod> recent = recentPeriods(store, 3);
    ASSERT_EQ(all.size(), 3u); // January, February, March: the hours before midnight no period
    EXPECT_EQ(all[0].traffic[0].usedBytes, (30 * 24 + 22) * std::int64_t{15'000'000});
    ASSERT_GE(recent.size(), 3u);
    for (std::size_t n = 2; n <= 3; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(recent[recent.size() - n].traffic[0].usedBytes,
                  all[all.size() - n].traffic[0].usedBytes);
    }
}
