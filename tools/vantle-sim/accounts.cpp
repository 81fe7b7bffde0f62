// The built-in accounts and the accounts file reader.
#include "accounts.h"

#include "lib/runtime/Error.h"
#include "lib/runtime/Strings.h"

#include <fstream>

namespace vantle::sim {
namespace {

Taccount demoAccount() {
    Taccount a;
    a.password = "demo";
    a.anniversary = 14;
    a.offpeakQuotaMB = 35000;
    a.peakUsed = 11'250'000'000;
    a.offpeakUsed = 4'217'300'000;
    a.freezoneUsed = 1'234'567'890;
    return a;
}

std::map<std::string, Taccount> builtInAccounts() {
    std::map<std::string, Taccount> accounts;
    accounts["demo"] = demoAccount();

    // A name and password that only survive the trip when the client encodes them properly.
    Taccount john;
    john.password = "open sesame/42";
    john.plan = "Home 5";
    john.product = "ADSL2+";
    john.anniversary = 3;
    john.peakQuotaMB = 60000;
    john.offpeakQuotaMB = 60000;
    john.peakUsed = 1'500'000'000;
    john.offpeakUsed = 250'000'000;
    accounts["john smith"] = john;

    // Over its peak quota, so the peak type reads as shaped.
    Taccount shaped;
    shaped.password = "shaped";
    shaped.plan = "Home 1";
    shaped.anniversary = 28;
    shaped.peakQuotaMB = 5000;
    shaped.offpeakQuotaMB = 5000;
    shaped.peakUsed = 5'000'000'001;
    shaped.offpeakUsed = 3'100'000'000;
    shaped.speed = 64;
    accounts["shaped"] = shaped;
    return accounts;
}

class FileReader {
public:
    explicit FileReader(std::string path)
        : path_(std::move(path)) {}

    std::map<std::string, Taccount> read() {
        std::ifstream in(path_, std::ios::binary);
        if (!in)
            throw Error("cannot read the accounts file " + path_);
        std::string line;
        while (std::getline(in, line)) {
            ++lineNumber_;
            readLine(runtime::Trim(line));
        }
        finishSection();
        return std::move(accounts_);
    }

private:
    [[noreturn]] void fail(const std::string& message) const {
        throw Error(path_ + ":" + std::to_string(lineNumber_) + ": " + message);
    }

    void readLine(const std::string& line) {
        if (line.empty() || line[0] == '#')
            return;
        if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
            finishSection();
            startSection(line.substr(1, line.size() - 2));
            return;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            fail("expected [USERNAME] or KEY = VALUE");
        if (current_ == nullptr)
            fail("a setting before the first [USERNAME]");
        setValue(runtime::Trim(line.substr(0, equals)), runtime::Trim(line.substr(equals + 1)));
    }

    void startSection(const std::string& username) {
        if (username.empty())
            fail("empty user name");
        if (username == "demo")
            fail("the demo account is built in and cannot be redefined");
        if (accounts_.count(username) != 0)
            fail("account \"" + username + "\" given twice");
        current_ = &accounts_[username];
        hasPassword_ = false;
        sectionLine_ = lineNumber_;
    }

    void finishSection() {
        if (current_ != nullptr && !hasPassword_) {
            lineNumber_ = sectionLine_;
            fail("account without a password");
        }
    }

    std::int64_t number(const std::string& key, const std::string& value, std::int64_t low,
                        std::int64_t high) const {
        std::int64_t n = 0;
        if (!runtime::tryStrToInt64(value, n) || n < low || n > high)
            fail(key + " must be a whole number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not \"" + value + "\"");
        return n;
    }

    void setValue(const std::string& key, const std::string& value) {
        constexpr std::int64_t maxBytes = INT64_MAX / 2; // leaves room to grow
        Taccount& a = *current_;
        if (key == "password") {
            a.password = value;
            hasPassword_ = true;
        } else if (key == "plan") {
            a.plan = value;
        } else if (key == "product") {
            a.product = value;
        } else if (key == "offpeak_start") {
            a.offpeakStart = value;
        } else if (key == "offpeak_end") {
            a.offpeakEnd = value;
        } else if (key == "anniversary") {
            a.anniversary = static_cast<std::int32_t>(number(key, value, 1, 31));
        } else if (key == "speed") {
            a.speed = static_cast<std::int32_t>(number(key, value, 0, INT32_MAX));
        } else if (key == "peak_quota") {
            a.peakQuotaMB = number(key, value, 0, maxBytes / 1'000'000);
        } else if (key == "offpeak_quota") {
            a.offpeakQuotaMB = number(key, value, 0, maxBytes / 1'000'000);
        } else if (key == "peak_used") {
            a.peakUsed = number(key, value, 0, maxBytes);
        } else if (key == "offpeak_used") {
            a.offpeakUsed = number(key, value, 0, maxBytes);
        } else if (key == "freezone_used") {
            a.freezoneUsed = number(key, value, 0, maxBytes);
        } else if (key == "rate") {
            a.rate = number(key, value, 0, 1'000'000'000'000);
        } else {
            fail("unknown setting \"" + key + "\"");
        }
    }

    std::string path_;
    std::map<std::string, Taccount> accounts_;
    Taccount* current_ = nullptr;
    bool hasPassword_ = false;
    int lineNumber_ = 0;
    int sectionLine_ = 0;
};

} // namespace

TaccountBook::TaccountBook()
    : accounts_(builtInAccounts()) {}

TaccountBook::TaccountBook(std::map<std::string, Taccount> accounts)
    : accounts_(std::move(accounts)) {}

TaccountBook TaccountBook::fromFile(const std::string& path) {
    std::map<std::string, Taccount> accounts = FileReader(path).read();
    accounts["demo"] = demoAccount();
    return TaccountBook(std::move(accounts));
}

const Taccount* TaccountBook::find(const std::string& username) const {
    const auto found = accounts_.find(username);
    return found == accounts_.end() ? nullptr : &found->second;
}

const char* TaccountBook::formatHelp() {
    return R"(Accounts:
  Built in: "demo" (password "demo"), "john smith" (password "open sesame/42") and "shaped"
  (password "shaped", over its peak quota). Accounts do not depend on the account domain: the
  same URL serves iinet.net.au and westnet.com.au.

  --accounts FILE replaces the built-in set; "demo" stays. FILE holds one section per account:
    # a comment
    [john smith]            the user name, exactly as between the brackets
    password = open sesame  required; values are trimmed of surrounding blanks
    plan = Home 3           optional settings, with their defaults:
    product = Naked DSL
    offpeak_start = 02:00   written to the document as given
    offpeak_end = 08:00
    anniversary = 1         day of the month the quota resets (1-31)
    peak_quota = 25000      megabytes
    offpeak_quota = 25000
    peak_used = 0           bytes used at start
    offpeak_used = 0
    freezone_used = 0
    rate = 200000           bytes per second each type grows by (0 with --static)
    speed = 256             the is_shaped speed; a type is shaped once used reaches its quota
)";
}

} // namespace vantle::sim
