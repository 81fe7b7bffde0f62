// vantlectl history: the usage history's days of the latest quota period, or its periods'
// totals, as text, strict JSON or CSV.
#include "commands.h"

#include "config/configuration.h"
#include "history/historyJson.h"
#include "history/historyRecorder.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "lib/runtime/Strings.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>

namespace vantle::ctl {
namespace {

constexpr std::int32_t MaxPeriods = 1000;

enum class Format { text, json, csv };

struct Options {
    std::optional<std::int32_t> periods; // none: the latest period's days
    Format format = Format::text;
};

Options parse(const Arguments& arguments) {
    Options options;
    bool formatGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--json" || a == "--csv") {
            if (formatGiven)
                throw Error("takes one of --json and --csv");
            formatGiven = true;
            options.format = a == "--json" ? Format::json : Format::csv;
        } else if (a == "--periods") {
            std::int32_t n = 0;
            if (i + 1 == arguments.size() || !runtime::tryStrToInt(arguments[i + 1], n) || n < 1 ||
                n > MaxPeriods)
                throw Error("--periods needs a count from 1 to " + std::to_string(MaxPeriods));
            options.periods = n;
            ++i;
        } else {
            throw Error("unknown argument \"" + a + "\"");
        }
    }
    return options;
}

std::string megabytes(std::int64_t bytes) {
    return runtime::formatThousands(runtime::roundHalfEven(static_cast<double>(bytes) / 1e6));
}

std::string dateText(Tday day) {
    return runtime::formatDateTime("yyyy-mm-dd", day);
}

// A CSV field: quoted, with quotes doubled, when it holds a separator, a quote or a line break.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string field = "\"";
    field += runtime::replaceAll(text, "\"", "\"\"");
    field += '"';
    return field;
}

void printDays(const std::vector<TquotaPeriod>& periods, Format format) {
    if (format == Format::json) {
        std::printf("{\"period\":%s}\n",
                    periods.empty() ? "null" : periodDaysJson(periods.back()).c_str());
        return;
    }
    if (format == Format::csv)
        std::printf("date,classification,name,used_bytes,used_mb,sampled\n");
    if (periods.empty()) {
        if (format == Format::text)
            std::printf("No history yet: the program keeps one sample of each poll.\n");
        return;
    }
    const TquotaPeriod& p = periods.back();
    if (format == Format::csv) {
        for (const TtypeHistory& t : p.traffic)
            for (const TdayUse& d : t.days)
                std::printf("%s,%s,%s,%lld,%s,%s\n", dateText(d.day).c_str(),
                            csvField(t.classification).c_str(), csvField(t.name).c_str(),
                            static_cast<long long>(d.usedBytes),
                            runtime::replaceAll(megabytes(d.usedBytes), ",", "").c_str(),
                            d.sampled ? "yes" : "no");
        return;
    }
    std::printf("Period %s to %s, day %d of %d\n", dateText(p.firstDay).c_str(),
                dateText(p.lastDay).c_str(), p.lastSampleDay - p.firstDay + 1, p.length());
    // One line a day, one column a type, in MB.
    std::map<Tday, std::vector<const TdayUse*>> days;
    for (std::size_t i = 0; i < p.traffic.size(); ++i)
        for (const TdayUse& d : p.traffic[i].days) {
            auto& row = days[d.day];
            row.resize(p.traffic.size(), nullptr);
            row[i] = &d;
        }
    std::printf("%-11s", "date");
    for (const TtypeHistory& t : p.traffic)
        std::printf(" %14s", (t.name.empty() ? t.classification : t.name).c_str());
    std::printf("\n");
    bool estimated = false;
    for (const auto& [day, row] : days) {
        bool sampled = false;
        for (const TdayUse* d : row)
            sampled = sampled || (d != nullptr && d->sampled);
        estimated = estimated || !sampled;
        std::printf("%-11s", (dateText(day) + (sampled ? "" : "*")).c_str());
        for (std::size_t i = 0; i < p.traffic.size(); ++i) {
            const TdayUse* d = i < row.size() ? row[i] : nullptr;
            std::printf(" %11s MB", d == nullptr ? "-" : megabytes(d->usedBytes).c_str());
        }
        std::printf("\n");
    }
    std::printf("%-11s", "period");
    for (const TtypeHistory& t : p.traffic)
        std::printf(" %11s MB", megabytes(t.usedBytes).c_str());
    std::printf("\n");
    if (estimated)
        std::printf("* no poll that day: its share of the use between the polls around it\n");
}

void printPeriods(const std::vector<TquotaPeriod>& periods, std::size_t count, Format format) {
    if (format == Format::json) {
        std::printf("{\"periods\":%s}\n", periodTotalsJson(periods, count).c_str());
        return;
    }
    if (format == Format::csv)
        std::printf("first,last,current,classification,name,used_bytes,used_mb,quota_mb\n");
    else if (periods.empty())
        std::printf("No history yet: the program keeps one sample of each poll.\n");
    const std::size_t shown = std::min(count, periods.size());
    for (std::size_t n = 0; n < shown; ++n) {
        const TquotaPeriod& p = periods[periods.size() - 1 - n];
        const std::string first = dateText(p.firstDay);
        const std::string last = dateText(p.lastDay);
        if (format == Format::csv) {
            for (const TtypeHistory& t : p.traffic)
                std::printf("%s,%s,%s,%s,%s,%lld,%s,%lld\n", first.c_str(), last.c_str(),
                            n == 0 ? "yes" : "no", csvField(t.classification).c_str(),
                            csvField(t.name).c_str(), static_cast<long long>(t.usedBytes),
                            runtime::replaceAll(megabytes(t.usedBytes), ",", "").c_str(),
                            static_cast<long long>(t.quotaMB));
            continue;
        }
        std::printf("%s to %s%s\n", first.c_str(), last.c_str(), n == 0 ? " (latest)" : "");
        for (const TtypeHistory& t : p.traffic) {
            std::printf("  %-14s %11s MB", (t.name.empty() ? t.classification : t.name).c_str(),
                        megabytes(t.usedBytes).c_str());
            if (t.quotaMB > 0)
                std::printf(" of %s MB (%.0f%%)", runtime::formatThousands(t.quotaMB).c_str(),
                            static_cast<double>(t.usedBytes) /
                                (static_cast<double>(t.quotaMB) * 1e4));
            std::printf("\n");
        }
    }
}

} // namespace

int historyCommand(const Arguments& arguments) {
    const Options options = parse(arguments);
    const auto configuration = programConfiguration();
    const std::string path = historyDatabaseFile(*configuration);
    std::vector<TquotaPeriod> periods;
    std::error_code ec;
    // No database yet is an empty history, not a failure.
    if (std::filesystem::exists(path, ec)) {
        ThistoryStore store(path, ThistoryStore::Access::read, 5000);
        periods = recentPeriods(store, static_cast<std::size_t>(options.periods.value_or(1)));
    }
    if (options.periods)
        printPeriods(periods, static_cast<std::size_t>(*options.periods), options.format);
    else
        printDays(periods, options.format);
    return 0;
}

} // namespace vantle::ctl
