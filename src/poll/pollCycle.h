// One poll cycle: download the usage document, note the time, and write the outputs the rest
// of the program reads (tray icon and hint, pie pictures, status document).
#pragma once

#include <exception>
#include <functional>

namespace vantle {

class Tconfiguration;

// Runs the cycle once on the calling thread. The first failure ends it: its bare message goes
// to the diagnostic sink, the failure itself to failure when given (its kind by failureKind),
// and the files of the steps not reached stay as they were. True when every step succeeded.
// wanted, when given, is asked once the download is done: false (the account changed
// meanwhile) ends the cycle before it records or writes anything of it.
bool runPollCycle(Tconfiguration& configuration, std::exception_ptr* failure = nullptr,
                  const std::function<bool()>& wanted = {});

} // namespace vantle
