// What the program tells the user outside its windows, decided after each poll cycle: a traffic
// type crossing a threshold (once per threshold per quota period), a type becoming shaped, the
// provider refusing the login, no update for a day. The state lives in the data folder
// ("notifystate"), so a restart neither repeats nor forgets; the messages wait there until the
// program shows them. Two refusals in a row hold polling back, so the account is not locked.
#pragma once

#include "lib/runtime/DateTime.h"

#include <exception>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Tconfiguration;
class Tiinet;

inline constexpr const char* AlertStateName = "notifystate";
// Refusals in a row after which polls are held back, and for how long after the last one.
inline constexpr int RefusalsBeforeHoldBack = 2;
inline constexpr double HoldBackDays = 0.25;
// No successful poll for this long is told once.
inline constexpr double StaleDays = 1.0;

enum class TalertKind { threshold, shaped, refusedLogin, stale };

struct Talert {
    TalertKind kind = TalertKind::threshold;
    std::string summary;
    std::string body;

    friend bool operator==(const Talert&, const Talert&) = default;
};

struct TalertState {
    std::string period;              // the reset day (yyyy-mm-dd) the told thresholds are of
    std::map<std::string, int> told; // by classification, the highest threshold told
    std::set<std::string> shaped;    // the classifications last seen shaped
    int refusals = 0;                // answers in a row that refused the login
    TDateTime lastRefusal = 0;
    bool refusalTold = false;
    TDateTime lastSuccess = 0;  // of a poll that gave usage without an error
    TDateTime failingSince = 0; // the first failure since then
    bool staleTold = false;
    std::vector<Talert> pending; // decided, not yet shown

    // An empty state when there is none or it cannot be read.
    static TalertState read(const Tconfiguration& configuration);
    // Raises the file system's failure.
    void write(const Tconfiguration& configuration) const;
};

// Whether the provider's error text refuses the login (user name or password), rather than
// telling of a fault of its own.
bool isRefusedLogin(std::string_view providerText);

// After a poll cycle: usage is the model when the download succeeded, else null and failure the
// caught failure. Updates the state and the last failure record, and queues what is to be told
// (nothing while the settings switch notifications off). Failures go to the diagnostic sink.
void noteOutcome(const Tconfiguration& configuration, const Tiinet* usage,
                 const std::exception_ptr& failure, TDateTime now);
// The messages waiting to be shown, taken out of the state.
std::vector<Talert> takeAlerts(const Tconfiguration& configuration);
// Polls are held back: the login was refused RefusalsBeforeHoldBack times in a row and the last
// refusal is less than HoldBackDays old.
bool pollHeldBack(const Tconfiguration& configuration, TDateTime now);
// The account was saved: refusals start counting afresh.
void accountSaved(const Tconfiguration& configuration);

// The sentence shown while polls are held back.
std::string holdBackSentence();

} // namespace vantle
