// Date-times as day counts with a fraction for the time of day, day 0 being 1899-12-30, and the
// conversions to calendar fields, Unix time, the local clock and text.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace vantle {

// Days since 1899-12-30 00:00; the fraction is the time of day. Local time unless a name says UTC.
using TDateTime = double;

namespace runtime {

inline constexpr TDateTime UnixDateDelta = 25569.0; // 1970-01-01
inline constexpr double SecondsPerDay = 86400.0;

struct DateTimeFields {
    int year = 1899;
    int month = 12; // 1..12
    int day = 30;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const DateTimeFields&, const DateTimeFields&) = default;
};

// False when a field is out of its calendar range (month 13, 30 February, hour 24...).
bool tryEncodeDateTime(const DateTimeFields& fields, TDateTime& result);
// Raises Error on an invalid field.
TDateTime encodeDateTime(const DateTimeFields& fields);
// The time of day is rounded to the nearest millisecond, so 1/3 day reads as 08:00:00.000.
DateTimeFields decodeDateTime(TDateTime value);

// Seconds since 1970-01-01 00:00:00 UTC taken as a UTC day count, and back (rounded to seconds).
TDateTime unixToDateTime(std::int64_t seconds);
std::int64_t dateTimeToUnix(TDateTime utc);

// The local calendar time of a Unix time, and the Unix time of a local calendar time (false
// when the platform cannot represent it).
TDateTime unixToLocal(std::time_t seconds);
bool localToUnix(TDateTime local, std::time_t& seconds);

// Whole minutes from earlier to later, counted from the span rounded to the millisecond: day
// fractions hold no minute exactly, so 20 minutes would otherwise count as 19. 0 when later is
// not after earlier (or either is NaN); at most the largest 32-bit count.
std::uint32_t wholeMinutesBetween(TDateTime earlier, TDateTime later);

// The local clock, or the one a test installed.
TDateTime now();
using Clock = std::function<TDateTime()>;
// Tests only: replaces the clock that now() reads; an empty function restores the system clock.
void setClock(Clock clock);

// Formats with the tokens yyyy, yy, mmmm, mmm (the locale's short month name), mm, m, dd, d,
// hh, h, nn, n, ss, s and zzz; text in double or single quotes and every other character is
// copied. "yyyymmdd.hhnnss" gives 20001231.235959.
std::string formatDateTime(std::string_view format, TDateTime value);
// The locale's names of month 1..12 ("Jan" and "January" in the C locale).
std::string shortMonthName(int month);
std::string longMonthName(int month);

} // namespace runtime
} // namespace vantle
