// Opening a web address with the desktop's handler, and starting a program that runs on its own,
// detached from this one.
#pragma once

#include <string>
#include <vector>

namespace vantle::platform {

// Hands the address, as one argument, to xdg-open, or to "gio open" when there is no xdg-open
// on PATH. Raises std::runtime_error when neither is there, or RunCommand's failure.
void OpenUrl(const std::string& url);

// Starts arguments[0] (looked up on PATH when it holds no "/") with the rest as its arguments,
// in a session of its own, and returns once it runs, without waiting for it to end. No shell is
// involved. Raises std::system_error naming the program when it cannot be started.
void RunCommand(const std::vector<std::string>& arguments);

// The executable file that name stands for on PATH; empty when there is none.
std::string findProgram(const std::string& name);

} // namespace vantle::platform
