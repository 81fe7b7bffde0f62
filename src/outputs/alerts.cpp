#include "outputs/alerts.h"

#include "config/configuration.h"
#include "lib/runtime/DebugOutput.h"
#include "lib/runtime/Strings.h"
#include "lib/utils/FileUtils.h"
#include "outputs/paceText.h"
#include "outputs/textHelpers.h"
#include "usage/failures.h"
#include "usage/iinet.h"
#include "usage/lastFailure.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <sstream>

namespace vantle {
namespace {

constexpr std::uintmax_t MaxStateBytes = 64 * 1024;

// The poll worker notes while the main thread takes messages or the dialog saves the account:
// each read, change and write of the state happens whole.
std::mutex& stateLock() {
    static std::mutex lock;
    return lock;
}

std::string fileOf(const Tconfiguration& configuration) {
    return configuration.dataFolder + AlertStateName;
}

// Texts are stored one to a line, tab between fields.
std::string field(std::string_view text) {
    std::string clean(text);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; },
        ' ');
    return clean;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

TDateTime readTime(std::istream& in) {
    TDateTime value = 0;
    if (!(in >> value) || !std::isfinite(value))
        return 0;
    return value;
}

void noteThresholds(TalertState& state, const Tconfiguration& configuration, const Tiinet& usage,
                    TDateTime now) {
    const TDateTime resetDay = std::floor(now) + std::max(usage.daysRemaining, 0);
    const std::string period = runtime::formatDateTime("yyyy-mm-dd", resetDay);
    if (state.period != period) {
        state.period = period;
        state.told.clear();
    }
    const std::vector<int>& thresholds = configuration.notifications.thresholds;
    for (const Ttraffic& t : usage.traffic) {
        if (t.quotaMB <= 0)
            continue;
        int reached = 0;
        for (const int threshold : thresholds)
            if (t.usedPercent >= threshold)
                reached = threshold;
        int& told = state.told[t.classification];
        if (reached <= told)
            continue;
        told = reached;
        const std::string amounts = formatMB(low32(t.usedMB)) + " MB of " +
                                    formatMB(low32(t.quotaMB)) + " MB used; the quota resets on " +
                                    shortDayText(resetDay) + ".";
        state.pending.push_back(
            {TalertKind::threshold,
             t.name + " has reached " + std::to_string(reached) + " % of its quota", amounts});
    }
}

void noteShaping(TalertState& state, const Tiinet& usage, TDateTime now) {
    std::set<std::string> shaped;
    const TDateTime resetDay = std::floor(now) + std::max(usage.daysRemaining, 0);
    for (const Ttraffic& t : usage.traffic) {
        if (t.quotaMB <= 0 || !t.shaped)
            continue;
        shaped.insert(t.classification);
        if (state.shaped.contains(t.classification))
            continue;
        state.pending.push_back({TalertKind::shaped, t.name + " is shaped",
                                 "The provider has slowed " + t.name +
                                     " down until the quota resets on " + shortDayText(resetDay) +
                                     "."});
    }
    state.shaped = std::move(shaped);
}

void noteRefusal(TalertState& state, TDateTime now) {
    ++state.refusals;
    state.lastRefusal = now;
    if (state.refusals >= RefusalsBeforeHoldBack && !state.refusalTold) {
        state.refusalTold = true;
        state.pending.push_back(
            {TalertKind::refusedLogin, "The provider refused the login", holdBackSentence()});
    }
}

void noteFailing(TalertState& state, const TlastFailure& failure, TDateTime now) {
    if (state.failingSince == 0)
        state.failingSince = now;
    const TDateTime since = state.lastSuccess != 0 ? state.lastSuccess : state.failingSince;
    if (now - since >= StaleDays && !state.staleTold) {
        state.staleTold = true;
        state.pending.push_back(
            {TalertKind::stale, "vantle has not updated the usage for a day", failure.sentence});
    }
}

} // namespace

std::string holdBackSentence() {
    return "The provider refused the user name and password twice in a row. So that the account "
           "is not locked, vantle now checks at most every 6 hours until you save the account "
           "again: choose Configure to enter the password.";
}

TalertState TalertState::read(const Tconfiguration& configuration) {
    TalertState state;
    std::string text;
    try {
        std::error_code ec;
        if (!std::filesystem::exists(fileOf(configuration), ec) ||
            std::filesystem::file_size(fileOf(configuration), ec) > MaxStateBytes)
            return state;
        text = ReadFileText(fileOf(configuration));
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        return state;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        std::string rest;
        if (key == "period") {
            in >> state.period;
        } else if (key == "told") {
            int threshold = 0;
            if (in >> threshold && in.get() == ' ' && std::getline(in, rest))
                state.told[rest] = threshold;
        } else if (key == "shaped") {
            if (in.get() == ' ' && std::getline(in, rest))
                state.shaped.insert(rest);
        } else if (key == "refusals") {
            in >> state.refusals;
            state.lastRefusal = readTime(in);
            int told = 0;
            in >> told;
            state.refusalTold = told != 0;
        } else if (key == "success") {
            state.lastSuccess = readTime(in);
        } else if (key == "failing") {
            state.failingSince = readTime(in);
            int told = 0;
            in >> told;
            state.staleTold = told != 0;
        } else if (key == "alert") {
            int kind = 0;
            if (!(in >> kind) || kind < 0 || kind > static_cast<int>(TalertKind::stale) ||
                in.get() != ' ' || !std::getline(in, rest))
                continue;
            const std::size_t tab = rest.find('\t');
            state.pending.push_back({static_cast<TalertKind>(kind), rest.substr(0, tab),
                                     tab == std::string::npos ? "" : rest.substr(tab + 1)});
        }
    }
    return state;
}

void TalertState::write(const Tconfiguration& configuration) const {
    std::ostringstream out;
    out.precision(17);
    if (!period.empty())
        out << "period " << field(period) << "\n";
    for (const auto& [classification, threshold] : told)
        out << "told " << threshold << " " << field(classification) << "\n";
    for (const std::string& classification : shaped)
        out << "shaped " << field(classification) << "\n";
    out << "refusals " << refusals << " " << lastRefusal << " " << (refusalTold ? 1 : 0) << "\n";
    out << "success " << lastSuccess << "\n";
    out << "failing " << failingSince << " " << (staleTold ? 1 : 0) << "\n";
    for (const Talert& alert : pending)
        out << "alert " << static_cast<int>(alert.kind) << " " << field(alert.summary) << "\t"
            << field(alert.body) << "\n";
    WriteFileText(out.str(), fileOf(configuration));
}

bool isRefusedLogin(std::string_view providerText) {
    const std::string text = lower(providerText);
    for (const char* word :
         {"authentic", "password", "login", "log in", "credential", "username", "user name"})
        if (text.find(word) != std::string::npos)
            return true;
    return false;
}

void noteOutcome(const Tconfiguration& configuration, const Tiinet* usage,
                 const std::exception_ptr& failure, TDateTime now) {
    const std::lock_guard<std::mutex> held(stateLock());
    try {
        TalertState state = TalertState::read(configuration);
        const std::size_t before = state.pending.size();
        if (usage != nullptr && usage->error.empty()) {
            clearLastFailure(configuration);
            state.refusals = 0;
            state.refusalTold = false;
            state.lastSuccess = now;
            state.failingSince = 0;
            state.staleTold = false;
        } else {
            TlastFailure record = failureRecord(failure, now);
            std::string providerText = record.detail;
            if (usage != nullptr) {
                // The provider answered with an error; the figures are its last good ones.
                record.kind = TfailureKind::providerError;
                record.sentence = failureSentence(record.kind);
                record.detail = "The provider answered: " + usage->error;
                providerText = usage->error;
            }
            const bool refused =
                record.kind == TfailureKind::providerError && isRefusedLogin(providerText);
            if (refused) {
                noteRefusal(state, now);
                if (state.refusals >= RefusalsBeforeHoldBack)
                    record.sentence = holdBackSentence();
            } else if (record.kind == TfailureKind::providerError) {
                state.refusals = 0;
                state.refusalTold = false;
            }
            writeLastFailure(configuration, record);
            noteFailing(state, record, now);
        }
        if (usage != nullptr) {
            noteThresholds(state, configuration, *usage, now);
            noteShaping(state, *usage, now);
        }
        // Switched off, nothing is told, now or later.
        if (!configuration.notifications.enabled)
            state.pending.resize(before);
        state.write(configuration);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

std::vector<Talert> takeAlerts(const Tconfiguration& configuration) {
    const std::lock_guard<std::mutex> held(stateLock());
    TalertState state = TalertState::read(configuration);
    if (state.pending.empty())
        return {};
    std::vector<Talert> alerts = std::move(state.pending);
    state.pending.clear();
    try {
        state.write(configuration);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
    return alerts;
}

bool pollHeldBack(const Tconfiguration& configuration, TDateTime now) {
    const TalertState state = TalertState::read(configuration);
    return state.refusals >= RefusalsBeforeHoldBack && now - state.lastRefusal < HoldBackDays &&
           now >= state.lastRefusal;
}

void accountSaved(const Tconfiguration& configuration) {
    const std::lock_guard<std::mutex> held(stateLock());
    TalertState state = TalertState::read(configuration);
    state.refusals = 0;
    state.refusalTold = false;
    try {
        state.write(configuration);
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
    }
}

} // namespace vantle
