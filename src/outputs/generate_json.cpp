// The status document is assembled piece by piece in the order the status page expects; it is
// written only once it is complete, so a failure leaves the previous one in place.
#include "outputs/generate_json.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/Numbers.h"
#include "lib/runtime/Strings.h"
#include "lib/utils/FileUtils.h"
#include "outputs/paceText.h"
#include "outputs/pieFiles.h"
#include "outputs/textHelpers.h"
#include "usage/iinet.h"
#include "usage/pace.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace vantle {
namespace {

constexpr std::int64_t MinutesPerDay = 24 * 60;

// "key":"value", with the value already escaped.
void addMember(std::string& out, std::string_view key, std::string_view value, bool last = false) {
    out += '"';
    out += key;
    out += "\":\"";
    out += value;
    out += '"';
    if (!last)
        out += ',';
}

std::string resetText(std::int32_t daysRemaining) {
    const TDateTime reset = runtime::now() + daysRemaining;
    std::string when;
    if (daysRemaining == 0)
        when = "today";
    else if (daysRemaining == 1)
        when = "tomorrow";
    else
        when = "in " + std::to_string(daysRemaining) + " days";
    return ordinalText(runtime::decodeDateTime(reset).day) +
           runtime::formatDateTime(" mmm", reset) + " (" + when + ")";
}

std::string resetPercent(std::int32_t daysSoFar, std::int32_t daysRemaining) {
    // Summed in 64 bits: the day counts come from the provider's document unchecked.
    const std::int64_t period = std::int64_t{daysSoFar} + daysRemaining;
    if (period == 0)
        return "0";
    return runtime::formatFixed0(static_cast<double>(daysSoFar) / static_cast<double>(period) *
                                 100);
}

// After the document's original members, so that their readers keep working: the pace figures
// (whole numbers; the day the quota runs out as yyyy-mm-dd, empty when it lasts) and their words.
void addPaceMembers(std::string& out, const Ttraffic& record, const TquotaPeriod& period,
                    TDateTime now) {
    const std::optional<Tpace> pace = paceOf(record, period, now);
    if (!pace)
        return;
    out += ',';
    addMember(out, "used_percent", runtime::formatFixed0(pace->usedPercent));
    addMember(out, "elapsed_percent", runtime::formatFixed0(pace->elapsedPercent));
    addMember(out, "projected_mb", runtime::formatFixed0(std::min(pace->projectedMB, 9.0e15)));
    addMember(out, "runs_out",
              pace->runsOut ? runtime::formatDateTime("yyyy-mm-dd", *pace->runsOut) : "");
    addMember(out, "per_day_mb", runtime::formatFixed0(pace->perDayMB));
    addMember(out, "pace", jsonEscape(paceWords(*pace)));
    addMember(out, "projection", jsonEscape(projectionWords(*pace)));
    addMember(out, "per_day", jsonEscape(perDayWords(*pace)), true);
}

} // namespace

void generateJson(const Tconfiguration& configuration, const Tiinet& usage) {
    generateJson(configuration, usage, configuration.statusFile, configuration.htmlFolder);
}

void generateJson(const Tconfiguration& configuration, const Tiinet& usage,
                  const std::string& statusFile, const std::string& htmlFolder) {
    WriteFileText(statusDocument(configuration, usage, htmlFolder), statusFile);
}

std::string statusDocument(const Tconfiguration& configuration, const Tiinet& usage,
                           const std::string& htmlFolder) {
    const Ttraffic current = usage.currentTraffic();
    std::string freezone;
    if (usage.hasTraffic("freezone"))
        freezone = jsonEscape(formatMB(low32(usage.findTraffic("freezone").usedMB))) + " MB";

    std::string out = "{";
    addMember(out, "error", jsonEscape(usage.error));
    addMember(out, "current", jsonEscape(current.name));
    addMember(out, "reset", jsonEscape(resetText(usage.daysRemaining)));
    addMember(out, "reset_percent", resetPercent(usage.daysSoFar, usage.daysRemaining));
    addMember(out, "updated", jsonEscape(updatedText(configuration)));
    addMember(
        out, "offpeak",
        jsonEscape(timeOfDayText(usage.offpeakStart) + " to " + timeOfDayText(usage.offpeakEnd)));
    addMember(out, "freezone", freezone);
    out += "\"traffic\":[";
    bool first = true;
    const TDateTime now = runtime::now();
    const TquotaPeriod period = quotaPeriod(usage.daysSoFar, usage.daysRemaining, now);
    const std::vector<std::string> types = usage.trafficTypes();
    for (std::size_t i = 0; i < types.size(); ++i) {
        const Ttraffic record = usage.findTraffic(types[i]);
        if (record.quotaMB <= 0)
            continue;
        if (!first)
            out += ',';
        first = false;
        // A 32-bit difference, as the megabyte texts take 32 bits; unsigned, so it wraps.
        const auto unused = static_cast<std::int32_t>(static_cast<std::uint32_t>(record.quotaMB) -
                                                      static_cast<std::uint32_t>(record.usedMB));
        out += '{';
        addMember(out, "name", jsonEscape(record.name));
        addMember(out, "img", jsonEscape(fileUrl(htmlFolder + pieFileName(types[i], i))));
        addMember(out, "used", jsonEscape(formatMB(low32(record.usedMB))) + " MB");
        addMember(out, "unused", jsonEscape(formatMB(unused)) + " MB");
        addMember(out, "quota", jsonEscape(formatMB(low32(record.quotaMB))) + " MB", true);
        addPaceMembers(out, record, period, now);
        out += '}';
    }
    out += "]}";
    return out;
}

int trafficCount(std::string_view document) {
    // One pass over the literal: strings (either quote, with backslash escapes) are skipped
    // whole, so that texts that look like the list count for nothing.
    int depth = 0;
    int listDepth = 0; // the depth inside the list once it has opened
    int count = 0;
    int step = 0; // of the list's opening, seen so far: 1 the key, 2 its colon
    for (std::size_t i = 0; i < document.size(); ++i) {
        const char c = document[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        const int seen = step;
        step = 0;
        if (c == '"' || c == '\'') {
            const std::size_t start = i + 1;
            for (++i; i < document.size() && document[i] != c; ++i)
                if (document[i] == '\\')
                    ++i;
            if (i >= document.size())
                return 0;
            if (listDepth == 0 && depth == 1 && document.substr(start, i - start) == "traffic")
                step = 1;
        } else if (c == ':' && seen == 1) {
            step = 2;
        } else if (c == '{' || c == '[') {
            ++depth;
            if (listDepth == 0 && c == '[' && seen == 2)
                listDepth = depth;
            else if (listDepth != 0 && depth == listDepth + 1 && c == '{')
                ++count;
        } else if (c == '}' || c == ']') {
            if (--depth < listDepth && listDepth != 0)
                return count;
        }
    }
    return 0;
}

std::string jsonEscape(std::string_view text) {
    std::string out = runtime::replaceAll(text, "\\", "\\\\");
    out = runtime::replaceAll(out, "\"", "\\\"");
    out = runtime::replaceAll(out, "'", "\\'");
    out = runtime::replaceAll(out, "\t", "\\t");
    out = runtime::replaceAll(out, "\b", "\\b");
    out = runtime::replaceAll(out, "\n", "\\n");
    return runtime::replaceAll(out, "\r", "\\r");
}

std::string timeOfDayText(std::int32_t minutes) {
    const std::int64_t inDay = ((minutes % MinutesPerDay) + MinutesPerDay) % MinutesPerDay;
    const auto h = static_cast<int>(inDay / 60);
    const auto mm = static_cast<int>(inDay % 60);
    const char* suffix = h < 12 ? "am" : "pm";
    const int hour = h % 12 == 0 ? 12 : h % 12;
    char text[16];
    if (mm == 0)
        std::snprintf(text, sizeof text, "%d%s", hour, suffix);
    else
        std::snprintf(text, sizeof text, "%d:%.2d%s", hour, mm, suffix);
    return text;
}

} // namespace vantle
