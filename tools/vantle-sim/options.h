// The command line of vantle-sim.
#pragma once

#include "faults.h"

#include <string>
#include <vector>

namespace vantle::sim {

struct Toptions {
    int port = 0; // any free port
    bool https = false;
    std::string certFile;
    std::string keyFile;
    std::string certOut; // where a made certificate goes; empty: a temporary folder
    TfaultPlan faults;
    std::string accountsFile;
    bool fixedUsage = false; // --static
    std::string logFile;     // empty: standard error
    bool help = false;
};

// Reads the arguments after the program name; raises Error saying what is wrong.
Toptions parseOptions(const std::vector<std::string>& arguments);

std::string helpText();

} // namespace vantle::sim
