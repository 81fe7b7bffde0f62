// status [--json | --waybar]: the figures a person reads in the status window, for scripts and
// status bars; exit status 3 when a type is at or over the highest threshold.
#include "commands.h"

#include "config/configuration.h"
#include "config/notifySettings.h"
#include "config/xmlConf.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "outputs/failureText.h"
#include "outputs/paceText.h"
#include "outputs/textHelpers.h"
#include "usage/iinet.h"
#include "usage/lastFailure.h"
#include "usage/pace.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>

namespace vantle::ctl {
namespace {

constexpr int OverTopThreshold = 3;

// A JSON string (RFC 8259): quotes, backslashes and control characters escaped; other bytes,
// UTF-8 included, pass. Bytes that are not UTF-8 become U+FFFD, so a parser never refuses it.
std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // The length of a well-formed sequence, or 0.
            std::size_t length = c >= 0xc2 && c <= 0xdf   ? 2
                                 : c >= 0xe0 && c <= 0xef ? 3
                                 : c >= 0xf0 && c <= 0xf4 ? 4
                                                          : 0;
            for (std::size_t k = 1; k < length; ++k)
                if (i + k >= text.size() ||
                    (static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80)
                    length = 0;
            if (length == 0) {
                out += "\xef\xbf\xbd";
            } else {
                out.append(text.substr(i, length));
                i += length - 1;
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    // Strip trailing zeros of the fraction for readability; still a JSON number.
    std::string number = text;
    while (number.back() == '0')
        number.pop_back();
    if (number.back() == '.')
        number.pop_back();
    return number == "-0" ? "0" : number;
}

// Local time with its offset, "2026-12-11T16:05:00+11:00"; empty when it cannot be told.
std::string isoTime(TDateTime local) {
    std::time_t seconds = 0;
    if (!runtime::localToUnix(local, seconds))
        return "";
    std::tm fields{};
    if (localtime_r(&seconds, &fields) == nullptr)
        return "";
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &fields) == 0)
        return "";
    // The offset as +hh:mm.
    const std::string iso = text;
    return iso.substr(0, iso.size() - 2) + ':' + iso.substr(iso.size() - 2);
}

struct Tstatus {
    std::string account;   // user@domain; empty without settings
    TDateTime updated = 0; // 0: never
    std::optional<TlastFailure> failure;
    std::unique_ptr<Tiinet> usage;
    std::vector<Tpace> paces;
    std::vector<int> thresholds;
    TDateTime now = 0;

    bool hasUpdate() const { return updated > NeverUpdated + 1; }
    std::int64_t ageMinutes() const {
        return hasUpdate() ? runtime::wholeMinutesBetween(std::min(updated, now), now) : -1;
    }
    const Ttraffic* traffic(const std::string& classification) const {
        for (const Ttraffic& t : usage->traffic)
            if (t.classification == classification)
                return &t;
        return nullptr;
    }
    // The pace of the current type, else the first type with a quota.
    const Tpace* currentPace() const {
        const std::string current = usage->currentClassification();
        for (const Tpace& p : paces)
            if (p.classification == current)
                return &p;
        return paces.empty() ? nullptr : &paces.front();
    }
    bool overTop() const {
        const int top = thresholds.empty() ? 100 : thresholds.back();
        return std::any_of(paces.begin(), paces.end(),
                           [top](const Tpace& p) { return p.usedPercent >= top; });
    }
};

Tstatus readStatus() {
    Tstatus status;
    const auto owned = programConfiguration();
    Tconfiguration& configuration = *owned;
    if (std::filesystem::exists(configuration.configFile)) {
        // Read without writing: a load would also record this tool's build in the file.
        TxmlConf conf(configuration.configFile);
        conf.DocReadOnly = true;
        status.account = conf.ReadValue("account", "username", "") + "@" +
                         conf.ReadValue("account", "domain", "");
        status.thresholds = TnotifySettings::read(conf).thresholds;
    } else {
        status.thresholds = TnotifySettings{}.thresholds;
    }
    status.now = runtime::now();
    status.updated = configuration.updateTime();
    status.failure = readLastFailure(configuration);
    const std::string current = configuration.dataFolder + std::string(CurrentDocumentName);
    if (!std::filesystem::exists(current))
        throw Error("no usage is stored yet (" + current +
                    "); the program stores it at its first successful poll");
    status.usage = std::make_unique<Tiinet>(configuration);
    status.usage->load(current, configuration.dataFolder + std::string(LastGoodDocumentName));
    status.paces = paceOf(*status.usage, status.now);
    return status;
}

void printText(const Tstatus& s) {
    std::printf("account: %s\n", s.account.empty() ? "none" : s.account.c_str());
    if (s.hasUpdate())
        std::printf("updated: %s (%s ago)\n", isoTime(s.updated).c_str(),
                    durationText(static_cast<std::uint32_t>(s.ageMinutes())).c_str());
    else
        std::printf("updated: never\n");
    if (s.failure)
        std::printf("last failure: %s\n", failureText(*s.failure, s.now).c_str());
    if (!s.usage->error.empty())
        std::printf("provider error: %s\n", s.usage->error.c_str());
    std::printf("current: %s\n", s.traffic(s.usage->currentClassification()) != nullptr
                                     ? s.traffic(s.usage->currentClassification())->name.c_str()
                                     : s.usage->currentClassification().c_str());
    for (const Tpace& p : s.paces) {
        const Ttraffic& t = *s.traffic(p.classification);
        std::printf("%s: %s MB of %s MB%s\n  %s\n  %s\n  %s\n", t.name.c_str(),
                    formatMB(low32(t.usedMB)).c_str(), formatMB(low32(t.quotaMB)).c_str(),
                    t.shaped ? ", shaped" : "", paceWords(p).c_str(), projectionWords(p).c_str(),
                    perDayWords(p).c_str());
    }
}

void printJson(const Tstatus& s) {
    std::string out = "{\"account\":" + (s.account.empty() ? "null" : jsonString(s.account));
    out += ",\"updated\":" + (s.hasUpdate() ? jsonString(isoTime(s.updated)) : "null");
    out += ",\"age_minutes\":" + (s.hasUpdate() ? std::to_string(s.ageMinutes()) : "null");
    out += ",\"last_error\":" +
           (s.failure ? jsonString(failureText(*s.failure, s.now)) : std::string("null"));
    out += ",\"provider_error\":" +
           (s.usage->error.empty() ? std::string("null") : jsonString(s.usage->error));
    out += ",\"current\":" + jsonString(s.usage->currentClassification());
    out += ",\"types\":[";
    bool first = true;
    for (const Ttraffic& t : s.usage->traffic) {
        out += first ? "{" : ",{";
        first = false;
        out += "\"classification\":" + jsonString(t.classification);
        out += ",\"name\":" + jsonString(t.name);
        out += ",\"used_mb\":" + std::to_string(t.usedMB);
        out += ",\"quota_mb\":" + (t.quotaMB > 0 ? std::to_string(t.quotaMB) : "null");
        out += std::string(",\"shaped\":") + (t.shaped ? "true" : "false");
        const auto pace = std::find_if(s.paces.begin(), s.paces.end(), [&t](const Tpace& p) {
            return p.classification == t.classification;
        });
        if (t.quotaMB > 0 && pace != s.paces.end()) {
            out += ",\"used_percent\":" + jsonNumber(pace->usedPercent);
            out += ",\"elapsed_percent\":" + jsonNumber(pace->elapsedPercent);
            out += ",\"projected_mb\":" + jsonNumber(std::round(pace->projectedMB));
            out +=
                ",\"runs_out\":" +
                (pace->runsOut ? jsonString(runtime::formatDateTime("yyyy-mm-dd", *pace->runsOut))
                               : std::string("null"));
            out += ",\"per_day_mb\":" + jsonNumber(std::round(pace->perDayMB));
            out +=
                ",\"reset\":" + jsonString(runtime::formatDateTime("yyyy-mm-dd", pace->periodEnd));
            out += ",\"pace\":" + jsonString(paceWords(*pace));
            out += ",\"projection\":" + jsonString(projectionWords(*pace));
            out += ",\"per_day\":" + jsonString(perDayWords(*pace));
        }
        out += "}";
    }
    out += "]}";
    std::printf("%s\n", out.c_str());
}

void printWaybar(const Tstatus& s) {
    const Tpace* p = s.currentPace();
    std::string tooltip;
    for (const Tpace& each : s.paces) {
        const Ttraffic& t = *s.traffic(each.classification);
        if (!tooltip.empty())
            tooltip += "\n";
        tooltip += t.name + ": " + formatMB(low32(t.usedMB)) + " / " + formatMB(low32(t.quotaMB)) +
                   " MB\n" + paceWords(each) + "\n" + projectionWords(each) + "\n" +
                   perDayWords(each);
    }
    if (s.failure)
        tooltip += (tooltip.empty() ? "" : "\n") + failureText(*s.failure, s.now);
    const double percent = p != nullptr ? p->usedPercent : 0;
    std::string className = "normal";
    if (s.overTop())
        className = "critical";
    else if (std::any_of(s.paces.begin(), s.paces.end(), [&s](const Tpace& each) {
                 return !s.thresholds.empty() && each.usedPercent >= s.thresholds.front();
             }))
        className = "warning";
    const std::string text = p != nullptr ? runtime::formatFixed0(percent) + "%" : "-";
    std::printf("{\"text\":%s,\"tooltip\":%s,\"class\":%s,\"percentage\":%lld}\n",
                jsonString(text).c_str(), jsonString(tooltip).c_str(),
                jsonString(className).c_str(),
                static_cast<long long>(runtime::roundHalfAway(std::clamp(percent, 0.0, 100.0))));
}

} // namespace

int statusCommand(const Arguments& arguments) {
    if (arguments.size() > 1 ||
        (arguments.size() == 1 && arguments[0] != "--json" && arguments[0] != "--waybar"))
        throw Error("takes --json or --waybar, or nothing");
    const Tstatus status = readStatus();
    if (arguments.empty())
        printText(status);
    else if (arguments[0] == "--json")
        printJson(status);
    else
        printWaybar(status);
    return status.overTop() ? OverTopThreshold : 0;
}

} // namespace vantle::ctl
