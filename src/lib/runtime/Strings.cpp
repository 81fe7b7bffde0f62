#include "Strings.h"

#include "Error.h"

#include <charconv>
#include <limits>
#include <type_traits>

namespace vantle::runtime {
namespace {

template <typename Int> bool parseDecimal(std::string_view text, Int& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view digits = text.substr(i);
    if (digits.empty() || digits.front() < '0' || digits.front() > '9')
        return false;
    // Parse the magnitude as unsigned so that the most negative value fits.
    using Unsigned = std::make_unsigned_t<Int>;
    Unsigned magnitude = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return false;
    const auto limit = static_cast<Unsigned>(std::numeric_limits<Int>::max());
    if (negative) {
        if (magnitude > limit + 1)
            return false;
        value = static_cast<Int>(0 - magnitude);
    } else {
        if (magnitude > limit)
            return false;
        value = static_cast<Int>(magnitude);
    }
    return true;
}

} // namespace

bool tryStrToInt(std::string_view text, std::int32_t& value) {
    return parseDecimal(text, value);
}

bool tryStrToInt64(std::string_view text, std::int64_t& value) {
    return parseDecimal(text, value);
}

std::string Trim(std::string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return std::string(text.substr(first, last - first));
}

std::string asciiLowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string asciiUpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string replaceAll(std::string_view s, std::string_view old, std::string_view replacement) {
    if (old.empty() || old.size() > s.size())
        return std::string(s);
    std::size_t count = 0;
    for (std::size_t at = s.find(old); at != std::string_view::npos;
         at = s.find(old, at + old.size()))
        ++count;
    if (count == 0)
        return std::string(s);
    // The length check comes before any allocation, and is phrased so that it cannot overflow.
    const std::size_t kept = s.size() - count * old.size();
    if (kept > MaxReplacedLength ||
        (!replacement.empty() && (MaxReplacedLength - kept) / count < replacement.size()))
        throw Error("Out of memory");
    std::string out;
    out.reserve(kept + count * replacement.size());
    std::size_t from = 0;
    for (std::size_t at = s.find(old); at != std::string_view::npos; at = s.find(old, from)) {
        out.append(s, from, at - from);
        out.append(replacement);
        from = at + old.size();
    }
    out.append(s, from);
    return out;
}

} // namespace vantle::runtime
