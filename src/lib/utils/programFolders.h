// The program's own folders among the user's folders, as every part of the program names them.
#pragma once

#include <string>

namespace vantle {

// The settings folder and the folder of the generated and downloaded files, each ending with
// "/", without creating them. Raise Error when the user's folders are unknown.
std::string programSettingsFolder();
std::string programDataFolder();

} // namespace vantle
