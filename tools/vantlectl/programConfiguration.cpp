#include "commands.h"

#include "config/configuration.h"
#include "platform/programFile.h"

#include <filesystem>

namespace vantle::ctl {

std::unique_ptr<Tconfiguration> programConfiguration() {
    // The program is installed beside this tool; its build is what the settings file records
    // and what the start-at-login entry starts.
    const std::filesystem::path self = platform::programPath();
    const std::filesystem::path program = self.parent_path() / "vantle";
    std::error_code ec;
    return std::make_unique<Tconfiguration>(std::filesystem::exists(program, ec) ? program.string()
                                                                                 : self.string());
}

} // namespace vantle::ctl
