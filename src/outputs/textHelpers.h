// Small text helpers shared by the status outputs and the status window: megabyte numbers,
// ordinal days, durations, the "Updated ... ago" text, file addresses and substring search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantle {

class Tconfiguration;

// The digits grouped in threes by the locale's thousands separator ("," where the locale groups
// nothing), a leading minus for negative values, no unit: 1234567 gives "1,234,567".
std::string formatMB(std::int32_t megabytes);
// The low 32 bits of a megabyte count, as the megabyte texts take them.
inline std::int32_t low32(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// a when flag is set, else b.
std::string chooseText(bool flag, std::string_view a, std::string_view b);

// The file address of a local path: "file://" + the absolute path (a relative one taken from
// the current folder) with every byte other than "/", letters, digits and "-._~" written as
// "%" and two upper-case hexadecimal digits. Raises Error when the current folder is unknown.
std::string fileUrl(const std::string& path);

// The number and its English suffix: 1st, 2nd, 3rd, 4th, 11th, 12th, 13th, 21st, 111th.
std::string ordinalText(std::int32_t n);

// Days, hours and minutes, each left out when 0: "2 days, 5 minutes", "1 hour";
// "Less than a minute" for 0.
std::string durationText(std::uint32_t minutes);

// "Updated " + the lower-case duration since the configuration's update time + " ago"; empty
// when the update time is not after 2000-01-02 (never updated). An update time later than the
// clock (the clock was moved back) reads as "Updated less than a minute ago".
std::string updatedText(const Tconfiguration& configuration);

// The 1-based position of the first occurrence of sub in s that begins at or after start, or 0:
// for an empty sub, a start of 0 or one past the last place sub could fit, or no occurrence.
// Byte for byte, case-sensitive.
std::size_t posFrom(std::string_view sub, std::string_view s, std::size_t start);

} // namespace vantle
