#include "pollCycle.h"

#include "config/configuration.h"
#include "history/historyRecorder.h"
#include "lib/runtime/DateTime.h"
#include "lib/runtime/DebugOutput.h"
#include "outputs/alerts.h"
#include "outputs/generate_json.h"
#include "outputs/generate_pies.h"
#include "outputs/generate_tray.h"
#include "usage/iinet.h"

#include <exception>

namespace vantle {

bool runPollCycle(Tconfiguration& configuration, std::exception_ptr* failure,
                  const std::function<bool()>& wanted) {
    Tiinet usage(configuration);
    try {
        usage.fetch();
        if (wanted && !wanted()) {
            runtime::outputDebugString("The account changed during the poll; its usage is "
                                       "not shown");
            return false;
        }
        // Recorded as soon as the fetch succeeded, before any output is written.
        const TDateTime now = runtime::now();
        configuration.setUpdateTime(now);
        // Never fails the cycle: a history that cannot be kept only says so.
        recordHistory(configuration, usage, now);
        generateTray(configuration, usage);
        generatePies(configuration, usage);
        generateJson(configuration, usage);
        noteOutcome(configuration, &usage, nullptr, runtime::now());
        return true;
    } catch (const std::exception& e) {
        runtime::outputDebugString(e.what());
        noteOutcome(configuration, nullptr, std::current_exception(), runtime::now());
        if (failure != nullptr)
            *failure = std::current_exception();
        return false;
    }
}

} // namespace vantle
