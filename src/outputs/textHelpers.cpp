// The text helpers of the status outputs: number grouping comes from the runtime, the rest is
// plain byte work.
#include "outputs/textHelpers.h"

#include "config/configuration.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/Error.h"
#include "lib/runtime/Numbers.h"
#include "lib/runtime/Strings.h"

#include <filesystem>
#include <system_error>

namespace vantle {
namespace {

// Update times up to this one (2000-01-02 00:00:00), NeverUpdated among them, mean no update.
constexpr TDateTime LatestUnsetUpdateTime = 36527.0;

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendPart(std::string& out, std::uint32_t count, const char* singular, const char* plural) {
    if (count == 0)
        return;
    out += std::to_string(count);
    out += ' ';
    out += chooseText(count == 1, singular, plural);
    out += ", ";
}

} // namespace

std::string formatMB(std::int32_t megabytes) {
    return runtime::formatThousands(megabytes);
}

std::string chooseText(bool flag, std::string_view a, std::string_view b) {
    return std::string(flag ? a : b);
}

std::string fileUrl(const std::string& path) {
    std::string absolute = path;
    if (absolute.empty() || absolute.front() != '/') {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::current_path(ec);
        if (ec)
            throw Error(ec.message());
        absolute = folder.string() + "/" + path;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    url.reserve(url.size() + absolute.size() * 3);
    for (const char ch : absolute) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || isUnreserved(c)) {
            url += ch;
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0x0F];
        }
    }
    return url;
}

std::string ordinalText(std::int32_t n) {
    // The magnitude as 64 bits, so that the most negative value has one.
    const std::int64_t wide = n;
    const std::int64_t magnitude = wide < 0 ? -wide : wide;
    const char* suffix = "th";
    const std::int64_t lastTwo = magnitude % 100;
    if (lastTwo < 11 || lastTwo > 13) {
        switch (magnitude % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return std::to_string(n) + suffix;
}

std::string durationText(std::uint32_t minutes) {
    // Counted in minutes, not seconds, so that no count wraps around.
    std::string out;
    appendPart(out, minutes / 1440, "day", "days");
    appendPart(out, minutes % 1440 / 60, "hour", "hours");
    appendPart(out, minutes % 60, "minute", "minutes");
    if (out.empty())
        return "Less than a minute";
    out.resize(out.size() - 2);
    return out;
}

std::string updatedText(const Tconfiguration& configuration) {
    const TDateTime updated = configuration.updateTime();
    if (!(updated > LatestUnsetUpdateTime))
        return "";
    const std::uint32_t minutes = runtime::wholeMinutesBetween(updated, runtime::now());
    return "Updated " + runtime::asciiLowerCase(durationText(minutes)) + " ago";
}

std::size_t posFrom(std::string_view sub, std::string_view s, std::size_t start) {
    if (sub.empty() || start == 0 || sub.size() > s.size() || start - 1 > s.size() - sub.size())
        return 0;
    const std::size_t found = s.find(sub, start - 1);
    return found == std::string_view::npos ? 0 : found + 1;
}

} // namespace vantle
