// Byte-string helpers: strict decimal integers, trimming, ASCII case.
#pragma once

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

} // namespace vantle::runtime
