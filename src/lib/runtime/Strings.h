// Byte-string helpers: strict decimal integers, trimming, ASCII case, replacement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantle::runtime {

// Decimal integers as the system reads them: leading spaces and one sign allowed, then digits
// only; trailing blanks, other characters, an empty text or an overflow make it not an integer.
bool tryStrToInt(std::string_view text, std::int32_t& value);
bool tryStrToInt64(std::string_view text, std::int64_t& value);

// Removes every control character and space (bytes up to 0x20) at both ends.
std::string Trim(std::string_view text);

std::string asciiLowerCase(std::string_view text);
std::string asciiUpperCase(std::string_view text);

// The longest result replaceAll builds.
inline constexpr std::size_t MaxReplacedLength = 2147467247;

// Every occurrence of old in s replaced by replacement, left to right without overlap; replaced
// text is not searched again. An empty old leaves s unchanged. Raises Error "Out of memory" when
// the result would be longer than MaxReplacedLength.
std::string replaceAll(std::string_view s, std::string_view old, std::string_view replacement);

} // namespace vantle::runtime
