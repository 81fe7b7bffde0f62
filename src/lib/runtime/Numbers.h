// Rounding and number texts. Rounding to an integer goes to the nearest with ties to even;
// number formats without decimals round ties away from zero.
#pragma once

#include <cstdint>
#include <string>

namespace vantle::runtime {

// Ties to even: 2.5 gives 2, 3.5 gives 4. The value must lie within the 64-bit range.
std::int64_t roundHalfEven(double value);
// Ties away from zero: 2.5 gives 3, -2.5 gives -3.
std::int64_t roundHalfAway(double value);

// "%.0f": no decimals, ties away from zero; "NAN", "INF" and "-INF" for the special values.
std::string formatFixed0(double value);
// "%.0n": as formatFixed0, with the digits grouped by the locale's thousands separator.
std::string formatNumber0(double value);
// Groups an integer's digits: the locale's separator and grouping, or "," every three digits
// where the locale groups nothing (as the C locale does).
std::string formatThousands(std::int64_t value);
// Groups a text of decimal digits with an optional leading minus.
std::string groupDigits(const std::string& digits);

} // namespace vantle::runtime
