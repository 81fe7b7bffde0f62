// The last failed attempt in words, for the status window and the command line.
#pragma once

#include "lib/runtime/DateTime.h"

#include <string>

namespace vantle {

class Tconfiguration;
struct TlastFailure;

// "The last update failed at 14:05: " + the sentence; a failure of another day names it ("on
// 10th Dec at 14:05").
std::string failureText(const TlastFailure& failure, TDateTime now);
// The same for the configuration's record; empty when the last attempt succeeded.
std::string lastFailureText(const Tconfiguration& configuration, TDateTime now);

} // namespace vantle
