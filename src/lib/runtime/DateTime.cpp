// Calendar arithmetic after Howard Hinnant's days_from_civil / civil_from_days; local time through
// the C library, serialised because std::localtime and std::mktime share static state.
#include "DateTime.h"

#include "Error.h"

#include <chrono>
#include <clocale>
#include <cmath>
#include <langinfo.h>
#include <limits>
#include <mutex>

namespace vantle::runtime {
namespace {

constexpr std::int64_t MSecsPerDay = 86'400'000;

constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, DateTimeFields& f) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    f.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
    f.month = static_cast<int>(m);
    f.day = static_cast<int>(d);
}

constexpr std::int64_t DayZero = daysFromCivil(1899, 12, 30);

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

std::mutex& libcTimeLock() {
    static std::mutex lock;
    return lock;
}

std::mutex clockLock;
Clock installedClock;

TDateTime systemNow() {
    using namespace std::chrono;
    const auto t = system_clock::now();
    const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    const auto seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const auto fraction = static_cast<double>(ms - static_cast<std::int64_t>(seconds) * 1000);
    return unixToLocal(seconds) + fraction / static_cast<double>(MSecsPerDay);
}

void appendNumber(std::string& out, int value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (value < 0)
        out += '-';
    if (static_cast<int>(digits.size()) < width)
        out.append(static_cast<std::size_t>(width) - digits.size(), '0');
    out += digits;
}

} // namespace

bool tryEncodeDateTime(const DateTimeFields& f, TDateTime& result) {
    if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > daysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
        f.minute > 59 || f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999)
        return false;
    const auto days = static_cast<double>(
        daysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) -
        DayZero);
    const double time =
        static_cast<double>(((f.hour * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond) /
        static_cast<double>(MSecsPerDay);
    // Before day 0 the fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00.
    result = days < 0 ? days - time : days + time;
    return true;
}

TDateTime encodeDateTime(const DateTimeFields& fields) {
    TDateTime result = 0;
    if (!tryEncodeDateTime(fields, result))
        throw Error("Invalid argument to date encode");
    return result;
}

DateTimeFields decodeDateTime(TDateTime value) {
    auto days = static_cast<std::int64_t>(std::trunc(value));
    auto ms = static_cast<std::int64_t>(
        std::llround(std::fabs(value - std::trunc(value)) * static_cast<double>(MSecsPerDay)));
    if (ms >= MSecsPerDay) { // rounding reached the next midnight
        ms -= MSecsPerDay;
        days += value < 0 ? -1 : 1;
    }
    DateTimeFields f;
    civilFromDays(days + DayZero, f);
    f.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    f.second = static_cast<int>(ms % 60);
    ms /= 60;
    f.minute = static_cast<int>(ms % 60);
    f.hour = static_cast<int>(ms / 60);
    return f;
}

TDateTime unixToDateTime(std::int64_t seconds) {
    return static_cast<double>(seconds) / SecondsPerDay + UnixDateDelta;
}

std::int64_t dateTimeToUnix(TDateTime utc) {
    return std::llround((utc - UnixDateDelta) * SecondsPerDay);
}

TDateTime unixToLocal(std::time_t seconds) {
    std::tm tm{};
    {
        std::lock_guard guard(libcTimeLock());
        const std::tm* local = std::localtime(&seconds);
        if (local == nullptr)
            return 0.0;
        tm = *local;
    }
    TDateTime result = 0.0;
    tryEncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                       tm.tm_sec > 59 ? 59 : tm.tm_sec, 0},
                      result);
    return result;
}

bool localToUnix(TDateTime local, std::time_t& seconds) {
    const DateTimeFields f = decodeDateTime(local);
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1;
    tm.tm_wday = -1; // mktime sets it only on success; -1 is also a valid time
    std::lock_guard guard(libcTimeLock());
    seconds = std::mktime(&tm);
    return tm.tm_wday != -1;
}

std::uint32_t wholeMinutesBetween(TDateTime earlier, TDateTime later) {
    const double days = later - earlier;
    if (!(days > 0.0))
        return 0;
    const double minutes =
        std::floor(std::round(days * static_cast<double>(MSecsPerDay)) / 60000.0);
    constexpr auto most = std::numeric_limits<std::uint32_t>::max();
    return minutes >= static_cast<double>(most) ? most : static_cast<std::uint32_t>(minutes);
}

TDateTime now() {
    Clock clock;
    {
        std::lock_guard guard(clockLock);
        clock = installedClock;
    }
    return clock ? clock() : systemNow();
}

void setClock(Clock clock) {
    std::lock_guard guard(clockLock);
    installedClock = std::move(clock);
}

std::string shortMonthName(int month) {
    if (month < 1 || month > 12)
        return {};
    return nl_langinfo(static_cast<nl_item>(ABMON_1 + month - 1));
}

std::string longMonthName(int month) {
    if (month < 1 || month > 12)
        return {};
    return nl_langinfo(static_cast<nl_item>(MON_1 + month - 1));
}

std::string formatDateTime(std::string_view format, TDateTime value) {
    const DateTimeFields f = decodeDateTime(value);
    std::string out;
    std::size_t i = 0;
    const auto run = [&](char c) {
        std::size_t n = 0;
        while (i + n < format.size() && (format[i + n] | 0x20) == c)
            ++n;
        return n;
    };
    while (i < format.size()) {
        const char c = format[i];
        const char lower = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            const std::size_t end = format.find(c, i + 1);
            const std::size_t stop = end == std::string_view::npos ? format.size() : end;
            out.append(format.substr(i + 1, stop - i - 1));
            i = stop == format.size() ? stop : stop + 1;
            continue;
        }
        std::size_t n = 0;
        switch (lower) {
        case 'y':
            n = run('y');
            if (n >= 3)
                appendNumber(out, f.year, 4);
            else
                appendNumber(out, f.year % 100, 2);
            break;
        case 'm':
            n = run('m');
            if (n >= 4)
                out += longMonthName(f.month);
            else if (n == 3)
                out += shortMonthName(f.month);
            else
                appendNumber(out, f.month, static_cast<int>(n));
            break;
        case 'd':
            n = std::min<std::size_t>(run('d'), 2);
            appendNumber(out, f.day, static_cast<int>(n));
            break;
        case 'h':
            n = std::min<std::size_t>(run('h'), 2);
            appendNumber(out, f.hour, static_cast<int>(n));
            break;
        case 'n':
            n = std::min<std::size_t>(run('n'), 2);
            appendNumber(out, f.minute, static_cast<int>(n));
            break;
        case 's':
            n = std::min<std::size_t>(run('s'), 2);
            appendNumber(out, f.second, static_cast<int>(n));
            break;
        case 'z':
            n = run('z');
            appendNumber(out, f.millisecond, n >= 3 ? 3 : 1);
            break;
        default:
            out += c;
            n = 1;
        }
        i += n;
    }
    return out;
}

} // namespace vantle::runtime
