// The version text of a program build: its build time as "yyyymmdd.hhnnss".
#pragma once

#include <string>

namespace vantle {

// Of the program file at path (see ProgramBuildTime); raises Error as ProgramBuildTime does.
// The running program's own file is read once per process, since the build that runs cannot
// change while it runs; any other file is read on every call.
std::string programVersionText(const std::string& path);

} // namespace vantle
