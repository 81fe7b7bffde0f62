// A vantle-sim process for tests: started on a free loopback port, killed at the end of the
// scope, so a failed test leaves none behind.
#pragma once

#include "support/TestSupport.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vantle::test {

// One process: standard output through a pipe, standard error into a file.
class SimProcess {
public:
    SimProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The next line of standard output without its line break; empty at the end of the output
    // or after five seconds.
    std::string nextLine();
    void signal(int number) const;
    // The exit status, or -1 when the process had to be killed after the limit.
    int wait(std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

    std::string errors() const;
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::string errorFile_;
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffered_;
};

inline const std::string ListeningPrefix = "vantle-sim listening on ";

// A started vantle-sim and the endpoint template it printed.
class RunningSim {
public:
    RunningSim(const std::string& program, const std::vector<std::string>& arguments);

    SimProcess process;
    std::string urlTemplate;
    std::string base;   // scheme, host and port
    std::string target; // path and query, with the placeholders
};

} // namespace vantle::test
