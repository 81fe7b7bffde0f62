// Strict JSON text of the derived days and periods.
#include "history/historyJson.h"

#include "lib/runtime/DateTime.h"

#include <algorithm>
#include <cstdio>

namespace vantle {
namespace {

// The length of the valid UTF-8 sequence at the start of text, 0 when there is none.
std::size_t utf8Length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef)
        length = 3;
    else if (lead >= 0xf0 && lead <= 0xf4)
        length = 4;
    else
        return 0;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f) ||
        (lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) > 0x8f))
        return 0;
    return length;
}

std::string dateText(Tday day) {
    return runtime::formatDateTime("yyyy-mm-dd", static_cast<TDateTime>(day));
}

std::string typeTotal(const TtypeHistory& t) {
    return "\"classification\":" + jsonString(t.classification) +
           ",\"name\":" + jsonString(t.name) + ",\"used_bytes\":" + std::to_string(t.usedBytes) +
           ",\"quota_mb\":" + std::to_string(t.quotaMB);
}

} // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        const std::size_t length = utf8Length(text);
        if (length == 0) {
            out += "\xef\xbf\xbd";
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    out += '"';
    return out;
}

std::string periodDaysJson(const TquotaPeriod& period) {
    std::string out =
        "{\"first\":\"" + dateText(period.firstDay) + "\",\"last\":\"" + dateText(period.lastDay) +
        "\",\"length\":" + std::to_string(period.length()) +
        ",\"dates_known\":" + (period.datesKnown ? "true" : "false") +
        ",\"today\":" + std::to_string(period.lastSampleDay - period.firstDay) + ",\"traffic\":[";
    for (std::size_t i = 0; i < period.traffic.size(); ++i) {
        const TtypeHistory& t = period.traffic[i];
        out += (i == 0 ? "{" : ",{") + typeTotal(t) + ",\"pace_bytes\":";
        if (t.quotaMB > 0 && period.datesKnown && period.length() > 0) {
            // In floating point: a provider's quota times a million may pass the 64-bit range.
            char pace[64];
            std::snprintf(pace, sizeof pace, "%.0f",
                          static_cast<double>(t.quotaMB) * 1e6 / period.length());
            out += pace;
        } else
            out += "null";
        out += ",\"days\":[";
        for (std::size_t k = 0; k < t.days.size(); ++k) {
            const TdayUse& d = t.days[k];
            out += (k == 0 ? "{\"date\":\"" : ",{\"date\":\"") + dateText(d.day) +
                   "\",\"index\":" + std::to_string(d.day - period.firstDay) +
                   ",\"used_bytes\":" + std::to_string(d.usedBytes) +
                   ",\"sampled\":" + (d.sampled ? "true" : "false") + "}";
        }
        out += "]}";
    }
    out += "]}";
    return out;
}

std::string periodTotalsJson(const std::vector<TquotaPeriod>& periods, std::size_t count) {
    std::string out = "[";
    const std::size_t shown = std::min(count, periods.size());
    for (std::size_t n = 0; n < shown; ++n) {
        const TquotaPeriod& p = periods[periods.size() - 1 - n];
        out += (n == 0 ? "{" : ",{");
        out += "\"first\":\"" + dateText(p.firstDay) + "\",\"last\":\"" + dateText(p.lastDay) +
               "\",\"current\":" + (n == 0 ? "true" : "false") + ",\"traffic\":[";
        for (std::size_t i = 0; i < p.traffic.size(); ++i)
            out += (i == 0 ? "{" : ",{") + typeTotal(p.traffic[i]) + "}";
        out += "]}";
    }
    out += "]";
    return out;
}

std::string historyChartDocument(const std::vector<TquotaPeriod>& periods) {
    return "{\"period\":" +
           (periods.empty() ? std::string("null") : periodDaysJson(periods.back())) +
           ",\"periods\":" + periodTotalsJson(periods, ChartPeriods) + "}";
}

} // namespace vantle
