// The history's schema, its migrations and the reading and writing of samples.
#include "history/historyStore.h"

#include "usage/iinet.h"

#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <string_view>

namespace vantle {
namespace {

// Migration n brings a database of schema version n to version n + 1; each runs in one
// transaction with the version it reaches. Only ever append to this list.
constexpr std::string_view Migrations[] = {
    // 0 to 1: samples, and their traffic types in the document's order.
    "CREATE TABLE sample(id INTEGER PRIMARY KEY, taken INTEGER NOT NULL, local REAL NOT NULL,"
    " days_so_far INTEGER NOT NULL, days_remaining INTEGER NOT NULL);"
    "CREATE INDEX sample_taken ON sample(taken);"
    "CREATE TABLE traffic(sample INTEGER NOT NULL REFERENCES sample(id) ON DELETE CASCADE,"
    " position INTEGER NOT NULL, classification TEXT NOT NULL, name TEXT NOT NULL,"
    " used_bytes INTEGER NOT NULL, quota_mb INTEGER NOT NULL, shaped INTEGER NOT NULL,"
    " PRIMARY KEY(sample, position)) WITHOUT ROWID;",
};
static_assert(std::size(Migrations) == ThistoryStore::SchemaVersion);

// Every sample's columns with its traffic types', one row a type, for a WHERE and SampleOrder.
constexpr char SampleColumns[] =
    "SELECT s.id, s.taken, s.local, s.days_so_far, s.days_remaining, t.classification, t.name,"
    " t.used_bytes, t.quota_mb, t.shaped FROM sample s LEFT JOIN traffic t ON t.sample = s.id";
constexpr char SampleOrder[] = " ORDER BY s.taken, s.id, t.position";

std::int64_t unixTime(TDateTime local) {
    std::time_t seconds = 0;
    if (runtime::localToUnix(local, seconds))
        return seconds;
    return std::time(nullptr);
}

} // namespace

ThistorySample historySample(const Tiinet& usage, TDateTime taken) {
    ThistorySample sample;
    sample.taken = unixTime(taken);
    sample.local = taken;
    sample.daysSoFar = usage.daysSoFar;
    sample.daysRemaining = usage.daysRemaining;
    for (const Ttraffic& t : usage.traffic) {
        const bool listed = std::any_of(
            sample.traffic.begin(), sample.traffic.end(),
            [&](const ThistoryTraffic& k) { return k.classification == t.classification; });
        if (!listed)
            sample.traffic.push_back({t.classification, t.name, t.usedBytes, t.quotaMB, t.shaped});
    }
    return sample;
}

ThistoryStore::ThistoryStore(const std::string& path, Access access, int busyMilliseconds)
    : db_(path,
          access == Access::read ? TsqliteDatabase::Access::readOnly
                                 : TsqliteDatabase::Access::readWrite,
          busyMilliseconds) {
    // The history is read whole for a summary; a small cache keeps the reading's memory small.
    db_.exec("PRAGMA cache_size = -256");
    if (access == Access::write) {
        db_.exec("PRAGMA journal_mode = WAL");
        db_.exec("PRAGMA synchronous = NORMAL");
        migrate();
    }
}

int ThistoryStore::schemaVersion() {
    TsqliteStatement version = db_.prepare("PRAGMA user_version");
    version.step();
    return static_cast<int>(version.int64(0));
}

void ThistoryStore::migrate() {
    for (int version = schemaVersion(); version < SchemaVersion; ++version) {
        TsqliteTransaction transaction(db_);
        // Another writer may have migrated since the version was read.
        if (schemaVersion() != version)
            continue;
        db_.exec(Migrations[version]);
        db_.exec("PRAGMA user_version = " + std::to_string(version + 1));
        transaction.commit();
    }
    if (schemaVersion() > SchemaVersion)
        throw TsqliteError("The usage history was written by a newer vantle (schema " +
                               std::to_string(schemaVersion()) + "); it is left as it is",
                           SQLITE_READONLY);
}

void ThistoryStore::checkIntegrity() {
    TsqliteStatement check = db_.prepare("PRAGMA quick_check(1)");
    if (check.step() && check.text(0) != "ok")
        throw TsqliteError("The usage history is damaged: " + check.text(0), SQLITE_CORRUPT);
}

void ThistoryStore::append(std::span<const ThistorySample> samples) {
    TsqliteTransaction transaction(db_);
    TsqliteStatement insertSample = db_.prepare(
        "INSERT INTO sample(taken, local, days_so_far, days_remaining) VALUES(?1, ?2, ?3, ?4)");
    TsqliteStatement insertTraffic =
        db_.prepare("INSERT INTO traffic(sample, position, classification, name, used_bytes,"
                    " quota_mb, shaped) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    for (const ThistorySample& sample : samples) {
        insertSample.bind(1, sample.taken);
        insertSample.bind(2, sample.local);
        insertSample.bind(3, std::int64_t{sample.daysSoFar});
        insertSample.bind(4, std::int64_t{sample.daysRemaining});
        insertSample.step();
        insertSample.reset();
        const std::int64_t id = db_.lastInsertRowid();
        std::int64_t position = 0;
        for (const ThistoryTraffic& t : sample.traffic) {
            insertTraffic.bind(1, id);
            insertTraffic.bind(2, position++);
            insertTraffic.bind(3, t.classification);
            insertTraffic.bind(4, t.name);
            insertTraffic.bind(5, t.usedBytes);
            insertTraffic.bind(6, t.quotaMB);
            insertTraffic.bind(7, std::int64_t{t.shaped ? 1 : 0});
            insertTraffic.step();
            insertTraffic.reset();
        }
    }
    transaction.commit();
}

std::optional<std::int64_t> ThistoryStore::newestTaken() {
    if (schemaVersion() == 0)
        return std::nullopt;
    TsqliteStatement newest = db_.prepare("SELECT max(taken) FROM sample");
    if (!newest.step() || newest.isNull(0))
        return std::nullopt;
    return newest.int64(0);
}

std::vector<ThistorySample> ThistoryStore::samples(std::int64_t since) {
    std::vector<ThistorySample> result;
    forEachSample(since, [&](const ThistorySample& s) { result.push_back(s); });
    return result;
}

void ThistoryStore::forEachSample(std::int64_t since,
                                  const std::function<void(const ThistorySample&)>& visit) {
    if (schemaVersion() == 0)
        return;
    TsqliteStatement select =
        db_.prepare(std::string(SampleColumns) + " WHERE s.taken >= ?1" + SampleOrder);
    select.bind(1, since);
    visitRows(select, visit);
}

void ThistoryStore::forEachDailySample(std::int64_t since, std::int64_t until,
                                       const std::function<void(const ThistorySample&)>& visit) {
    if (schemaVersion() == 0)
        return;
    // A reset changes the day counts within a day: the last sample before it is kept too.
    TsqliteStatement select =
        db_.prepare(std::string(SampleColumns) +
                    " WHERE s.id IN (SELECT max(id) FROM sample WHERE taken >= ?1 AND taken < ?2"
                    " GROUP BY CAST(local AS INTEGER), days_so_far, days_remaining)" +
                    SampleOrder);
    select.bind(1, since);
    select.bind(2, until);
    visitRows(select, visit);
    forEachSample(until, visit);
}

void ThistoryStore::visitRows(TsqliteStatement& select,
                              const std::function<void(const ThistorySample&)>& visit) {
    ThistorySample sample;
    std::size_t types = 0; // of sample.traffic, the rest being room kept from earlier samples
    std::optional<std::int64_t> current;
    const auto done = [&] {
        sample.traffic.resize(types);
        visit(sample);
    };
    while (select.step()) {
        const std::int64_t id = select.int64(0);
        if (id != current) {
            if (current)
                done();
            current = id;
            types = 0;
            sample.taken = select.int64(1);
            sample.local = select.real(2);
            sample.daysSoFar = static_cast<std::int32_t>(select.int64(3));
            sample.daysRemaining = static_cast<std::int32_t>(select.int64(4));
        }
        if (select.isNull(5))
            continue; // a sample without traffic types
        if (types == sample.traffic.size())
            sample.traffic.emplace_back();
        ThistoryTraffic& t = sample.traffic[types++];
        select.text(5, t.classification);
        select.text(6, t.name);
        t.usedBytes = select.int64(7);
        t.quotaMB = select.int64(8);
        t.shaped = select.int64(9) != 0;
    }
    if (current)
        done();
}

} // namespace vantle
