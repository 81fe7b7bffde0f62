#include "startProblems.h"

#include "config/configuration.h"
#include "platform/replacementFile.h"

#include <system_error>

namespace vantle {
namespace {

// About one block: a full disk refuses it, though it may still take an empty file.
constexpr std::size_t ProbeBytes = 4096;

} // namespace

std::string dataFolderProblem(const Tconfiguration& configuration) {
    std::string reason;
    try {
        // Written beside a file of the program's and dropped unfinished: nothing is replaced.
        platform::TreplacementFile probe(configuration.updatedFile);
        probe.write(std::string(ProbeBytes, '\0'));
    } catch (const std::system_error& e) {
        reason = e.code().message();
    }
    if (reason.empty())
        reason = configuration.installProblem();
    if (reason.empty())
        return "";
    return "vantle cannot update its files in \"" + configuration.dataFolder + "\": " + reason +
           ".\n\nIt shows what is there and tries again at every poll. Free some disk space or "
           "make the folder writable.";
}

} // namespace vantle
