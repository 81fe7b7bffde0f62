// The user's per-user folders, as the desktop's base-directory rules name them.
#pragma once

#include <string>

namespace vantle::platform {

// $XDG_CONFIG_HOME, else ~/.config; $XDG_DATA_HOME, else ~/.local/share. A relative value of
// the variable is ignored, as the rules require. No trailing separator. Raises
// std::runtime_error when the home folder is unknown.
std::string configHome();
std::string dataHome();
// $XDG_CACHE_HOME, else ~/.cache, under the same rules.
std::string cacheHome();

// $HOME, else the account's home from the password database.
std::string homeFolder();

} // namespace vantle::platform
