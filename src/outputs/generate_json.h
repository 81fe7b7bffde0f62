// The status document: one line that the status page reads as an object literal, with the error
// text, the current type, the reset date, the off-peak window, the freezone usage, the time since
// the last update and one entry per traffic type with a quota; written here and read back here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantle {

class Tconfiguration;
class Tiinet;

// Replaces the configuration's status file (or statusFile) with statusDocument. A model without
// the current traffic record raises "Failed to find current traffic data" and the old file
// stays.
void generateJson(const Tconfiguration& configuration, const Tiinet& usage);
void generateJson(const Tconfiguration& configuration, const Tiinet& usage,
                  const std::string& statusFile, const std::string& htmlFolder);

// The document at the current clock; "img" points to htmlFolder + the pie picture's name
// (pieFileName), the update time is the configuration's.
std::string statusDocument(const Tconfiguration& configuration, const Tiinet& usage,
                           const std::string& htmlFolder);

// The number of elements of a status document's top-level "traffic" list (the types with a
// quota, one entry each); 0 when the document has none or is not readable as an object literal.
int trafficCount(std::string_view document);

// Backslash before backslashes, double quotes and apostrophes; TAB, backspace, line feed and
// carriage return as \t, \b, \n and \r. Other bytes pass unchanged.
std::string jsonEscape(std::string_view text);

// Minutes after midnight on the 12-hour clock: 0 "12am", 90 "1:30am", 720 "12pm", 1439
// "11:59pm". Values outside one day are taken modulo a day.
std::string timeOfDayText(std::int32_t minutes);

} // namespace vantle
