// The accounts the stand-in service knows: a built-in set, or one read from an accounts file,
// always with the demo account.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vantle::sim {

// One account and the usage its document shows at start; used bytes grow by rate per second.
struct Taccount {
    std::string password;
    std::string plan = "Home 3";
    std::string product = "Naked DSL";
    std::string offpeakStart = "02:00";
    std::string offpeakEnd = "08:00";
    std::int32_t anniversary = 1; // day of the month the quota resets
    std::int32_t speed = 256;     // shaped speed in kbit/s
    std::int64_t peakQuotaMB = 25000;
    std::int64_t offpeakQuotaMB = 25000;
    std::int64_t peakUsed = 0; // bytes
    std::int64_t offpeakUsed = 0;
    std::int64_t freezoneUsed = 0;
    std::int64_t rate = 200000; // bytes per second, added to each traffic type
};

// Accounts by user name. Accounts do not depend on the account domain: the endpoint is the same
// for both domains, so the request carries nothing that tells them apart.
class TaccountBook {
public:
    // The built-in set.
    TaccountBook();
    // The accounts of an accounts file, plus the demo account; raises Error naming the file and
    // line of the first fault.
    static TaccountBook fromFile(const std::string& path);

    // The account of that user name, or nullptr.
    const Taccount* find(const std::string& username) const;

    // The accounts file format, for the help text.
    static const char* formatHelp();

private:
    explicit TaccountBook(std::map<std::string, Taccount> accounts);

    std::map<std::string, Taccount> accounts_;
};

} // namespace vantle::sim
