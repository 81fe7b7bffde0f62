#include "Numbers.h"

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>

namespace vantle::runtime {

std::int64_t roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double diff = value - lower;
    double result = lower;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(lower, 2.0) != 0.0))
        result = lower + 1.0;
    return static_cast<std::int64_t>(result);
}

std::int64_t roundHalfAway(double value) {
    return static_cast<std::int64_t>(std::round(value));
}

std::string formatFixed0(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    // std::round ties away from zero and gives an integral double that "%.0f" prints exactly.
    const double rounded = std::round(value);
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", rounded == 0.0 ? 0.0 : rounded);
    return buffer;
}

std::string formatNumber0(double value) {
    const std::string digits = formatFixed0(value);
    if (!std::isfinite(value))
        return digits;
    return groupDigits(digits);
}

std::string formatThousands(std::int64_t value) {
    return groupDigits(std::to_string(value));
}

std::string groupDigits(const std::string& digits) {
    const std::lconv* lc = std::localeconv();
    // A locale without a separator or a grouping groups by threes with ",".
    const bool grouped = lc->thousands_sep != nullptr && *lc->thousands_sep != '\0' &&
                         lc->grouping != nullptr && *lc->grouping != '\0';
    const std::string separator = grouped ? lc->thousands_sep : ",";
    const std::string grouping = grouped ? lc->grouping : "\3";
    const std::size_t start = !digits.empty() && digits[0] == '-' ? 1 : 0;
    // Cut groups from the right; each grouping byte is one group's size, the last one repeats
    // and CHAR_MAX ends the grouping.
    std::string out;
    std::size_t end = digits.size();
    std::size_t g = 0;
    int size = grouping[0];
    while (end > start) {
        if (size <= 0 || size == CHAR_MAX || end - start <= static_cast<std::size_t>(size)) {
            out.insert(0, digits, start, end - start);
            break;
        }
        out.insert(0, digits, end - static_cast<std::size_t>(size), static_cast<std::size_t>(size));
        out.insert(0, separator);
        end -= static_cast<std::size_t>(size);
        if (g + 1 < grouping.size())
            size = grouping[++g];
    }
    std::string result(digits, 0, start);
    result += out;
    return result;
}

} // namespace vantle::runtime
