#include "config/notifySettings.h"

#include "config/xmlConf.h"
#include "lib/runtime/Strings.h"

#include <algorithm>
#include <charconv>

namespace vantle {

TnotifySettings TnotifySettings::read(const TxmlConf& conf) {
    TnotifySettings settings;
    const std::string enabled = conf.ReadValue(Section, "enabled", "");
    if (enabled == "no")
        settings.enabled = false;
    if (const auto thresholds = parseThresholds(conf.ReadValue(Section, "thresholds", "")))
        settings.thresholds = *thresholds;
    return settings;
}

void TnotifySettings::write(TxmlConf& conf) const {
    // A file that never had the section keeps its shape until the user changes something.
    if (*this == TnotifySettings{} && conf.ReadSection(Section).empty())
        return;
    conf.WriteValue(Section, "enabled", enabled ? "yes" : "no");
    conf.WriteValue(Section, "thresholds", thresholdsText(thresholds));
}

std::optional<std::vector<int>> TnotifySettings::parseThresholds(std::string_view text) {
    std::vector<int> thresholds;
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string item = runtime::Trim(std::string(text.substr(0, comma)));
        int value = 0;
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (item.empty() || error != std::errc() || end != item.data() + item.size() || value < 1 ||
            value > MaxThreshold)
            return std::nullopt;
        thresholds.push_back(value);
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (text.empty())
            return std::nullopt;
    }
    if (thresholds.empty())
        return std::nullopt;
    std::sort(thresholds.begin(), thresholds.end());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    return thresholds;
}

std::string TnotifySettings::thresholdsText(const std::vector<int>& thresholds) {
    std::string text;
    for (const int t : thresholds) {
        if (!text.empty())
            text += ',';
        text += std::to_string(t);
    }
    return text;
}

} // namespace vantle
