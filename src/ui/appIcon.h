// The program's icon for its windows: the "vantle" icon of the desktop's theme, else the same
// pictures built into the program.
#pragma once

#include <QIcon>

namespace vantle {

QIcon applicationIcon();

} // namespace vantle
