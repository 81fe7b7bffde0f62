// The commands of vantlectl; each returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace vantle::ctl {

using Arguments = std::vector<std::string>;

// usage [FILE]: the stored usage documents (or FILE) as read into the usage model.
int usageCommand(const Arguments& arguments);

// config: the settings file's account (never the password) and the start-at-login state.
int configCommand(const Arguments& arguments);

} // namespace vantle::ctl
