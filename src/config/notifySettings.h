// Which usage levels the program tells the user about: a section of the settings file of its own
// ("notifications": "enabled" yes or no, "thresholds" as percentages "80,90,100").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class TxmlConf;

struct TnotifySettings {
    static constexpr const char* Section = "notifications";
    static constexpr int MaxThreshold = 999;

    bool enabled = true;
    std::vector<int> thresholds{80, 90, 100}; // ascending, each 1 to MaxThreshold, no repeats

    // The stored section; what is missing or unreadable keeps its default.
    static TnotifySettings read(const TxmlConf& conf);
    void write(TxmlConf& conf) const;

    // "80,90,100" (blanks allowed around the numbers); nothing when a number is out of range or
    // the text holds anything else. The numbers come back sorted, repeats dropped.
    static std::optional<std::vector<int>> parseThresholds(std::string_view text);
    static std::string thresholdsText(const std::vector<int>& thresholds);

    friend bool operator==(const TnotifySettings&, const TnotifySettings&) = default;
};

} // namespace vantle
